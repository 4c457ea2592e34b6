#include "Tovrin.h"

#include "PreviewPage.h"
#include "TovrinDebugPage.h"

#include "device/HidLink.h"
#include "device/DeviceStatus.h"
#include "device/Transport.h"
#include "device/UnitOps.h"
#include "maintenance/update/Versions.h"
#include "shell/CommentIniWriter.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "shell/Settings.h"
#include "widgets/Fonts.h"
#include "widgets/MyMessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

namespace tovrin::windows {

using device::GetDeviceConfigThread;
using shell::context;
using widgets::Button;
using widgets::MyMessageBox;
using Id = DebugPage::ButtonId;

namespace {

// Message ids of the status texts used here.
namespace msg {
constexpr int Checking = 0, Updating = 10, Exit = 11, ExitQuestion = 12, Cancel = 13;
constexpr int Preview = 128, ClosePreview = 134;
} // namespace msg

} // namespace

Tovrin::Tovrin(QWidget* parent)
    : QDialog(parent)
    , m_flavour(std::clamp(context().toolFlavour.load(), 0, 2))
    , m_jobs(JobLauncher::Hooks{[this] { return isConnected(); }, [this](int id) { showStatus(id); },
                                [this] { handleFrameLost(); }, [this] { m_connected = false; }},
             this)
{
    widgets::startLog();
    const QStringList languages = shell::CheckLanguage();
    m_shortcuts = m_flavour != 2 && shell::settings::Shortcuts_en.read() == 1;

    setObjectName(QStringLiteral("Tovrin"));
    setWindowTitle(QStringLiteral("Tovrin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(context().skinPath() + QStringLiteral("Tovrin.png")));
    setMouseTracking(true);

    m_background = widgets::skinPixmap(QStringLiteral("back_pixmap.png"));
    const QSize backSize = m_background.isNull() ? QSize(1000, 600) : m_background.size();
    resize(backSize);

    // Title band: the minimise and quit buttons and the language choice.
    m_minimizeButton = makeTitleButton(QStringLiteral("min1.png"), QStringLiteral("min2.png"), "minimizeButton");
    m_quitButton = makeTitleButton(QStringLiteral("quit1.png"), QStringLiteral("quit2.png"), "quitButton");
    connect(m_minimizeButton, &Button::clicked, this, &Tovrin::MinimizeButSlot);
    connect(m_quitButton, &Button::clicked, this, &Tovrin::QuitButSlot);
    const int titleButtonHeight = m_minimizeButton->height() > 0 ? m_minimizeButton->height() : backSize.height() / 17;
    m_bandHeight = titleButtonHeight * 5 / 3;

    m_languageBox = new QComboBox(this);
    m_languageBox->setObjectName(QStringLiteral("languageBox"));
    m_languageBox->setFocusPolicy(Qt::NoFocus);  // the window's own keys must reach the window
    m_languageBox->addItems(languages.isEmpty() ? QStringList{QStringLiteral("English")} : languages);
    m_languageBox->setCurrentIndex(std::clamp(shell::settings::Language.read(), 0, m_languageBox->count() - 1));
    connect(m_languageBox, &QComboBox::activated, this, &Tovrin::LanguageCBoxSlot);

    m_versionLabel = new QLabel(QStringLiteral("V") + update::kToolVersion, this);
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_versionLabel->setStyleSheet(QStringLiteral("color:rgb(255,255,255)"));

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_statusLabel->setStyleSheet(QStringLiteral("color:rgb(0,38,102)"));

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(true);
    m_progress->hide();

    if (m_flavour == 2) {
        buildDebugPage();
    } else {
        m_tiles = buildSkinnedTiles(this, m_flavour, m_shortcuts, m_captions, this);
        if (m_tiles.leveling)
            connect(m_tiles.leveling, &Button::clicked, this, &Tovrin::AdjustScreenButSlot);
        connect(m_tiles.calibrate, &Button::clicked, this, &Tovrin::AlignmentButSlot);
        connect(m_tiles.set, &Button::clicked, this, &Tovrin::SetButSlot);
        connect(m_tiles.about, &Button::clicked, this, &Tovrin::AboutButSlot);
        if (m_tiles.shortcuts)
            connect(m_tiles.shortcuts, &Button::clicked, this, &Tovrin::KeyCalibrationButSlot);
        if (m_tiles.update)
            connect(m_tiles.update, &Button::clicked, this, &Tovrin::FirmwareUpdateButSlot);
        placeSkinnedTiles(m_tiles, this, m_bandHeight, m_statusLabel, m_progress);
    }
    placeTitleBand();
    connectUpdateFlow();
    connect(&m_deviceTest, &check::DeviceTestThread::showTesting, this, &Tovrin::showStatus, Qt::QueuedConnection);
    connect(&m_deviceTest, &check::DeviceTestThread::testDone, this, &Tovrin::deviceTestDone, Qt::QueuedConnection);
    // Closing (or another job) stops the test between two of its groups.
    m_jobs.addWorker({QStringLiteral("Device test"), [this] { return !m_deviceTest.hasEnded(); },
                      [this](std::function<void()> whenEnded) { m_deviceTest.stopThen(this, std::move(whenEnded)); }});
    retranslate();

    // Until the frame has been checked every device function waits.
    setDeviceFunctionsEnabled(false);
    showStatus(msg::Checking);

    m_detection.start(new GetDeviceConfigThread(this), this, &Tovrin::recvShowData);
    m_detection.watchArrivals(this);
}

Tovrin::~Tovrin() = default;

// ---- Building -------------------------------------------------------------

Button* Tovrin::makeTitleButton(const QString& normal, const QString& pressed, const char* objectName)
{
    Button* button = widgets::makeSkinButton(this, objectName, normal, normal, pressed, normal);
    button->setCaptionMode(-1);
    return button;
}

void Tovrin::buildDebugPage()
{
    m_debug = new DebugPage(this, m_captions);
    const std::pair<Id, void (Tovrin::*)()> wiring[] = {
        {Id::Leveling, &Tovrin::AdjustScreenButSlot}, {Id::Calibrate, &Tovrin::AlignmentButSlot},
        {Id::Set, &Tovrin::SetButSlot},               {Id::Versions, &Tovrin::AboutButSlot},
        {Id::Shortcuts, &Tovrin::KeyCalibrationButSlot}, {Id::KeyTest, &Tovrin::KeyTestButSlot},
        {Id::Test, &Tovrin::TestButSlot},             {Id::Reset, &Tovrin::ResetButSlot},
        {Id::EraseFlash, &Tovrin::EraseFlashSlot},    {Id::ReadFlash, &Tovrin::ReadFlashSlot},
        {Id::WriteFlash, &Tovrin::WriteFlashSlot},    {Id::Update, &Tovrin::FirmwareUpdateButSlot},
        {Id::FingerInto, &Tovrin::FingerIntoButSlot}, {Id::Quit, &Tovrin::QuitButSlot},
        {Id::FpgaBrowse, &Tovrin::FPGAbrowseButSlot}, {Id::Download, &Tovrin::DownloadButSlot},
        {Id::ScriptBrowse, &Tovrin::ScriptBrowseButSlot}, {Id::RunScript, &Tovrin::RunScriptButSlot},
        {Id::Write, &Tovrin::WriteButSlot},           {Id::Read, &Tovrin::ReadButSlot},
        {Id::Preview, &Tovrin::PreviewButSlot},       {Id::Clear, &Tovrin::ClearButSlot},
        {Id::DeviceInfo, &Tovrin::DeviceInfoButSlot},
    };
    for (const auto& [id, slot] : wiring)
        connect(m_debug->button(id), &QPushButton::clicked, this, slot);
    connect(m_debug->compressBox(), &QCheckBox::clicked, this, &Tovrin::CompressCButSlot);
    connect(m_debug->slaveBox(), &QCheckBox::clicked, this, &Tovrin::SlaveCButSlot);

    // The Preview page and its worker, stopped first by every other job.
    PreviewPage* preview = m_debug->preview();
    preview->setSource(makePreviewSource(this));
    if (PreviewSource* source = preview->source())
        connect(source, &PreviewSource::sendData, this, &Tovrin::recvData, Qt::QueuedConnection);
    connect(preview, &PreviewPage::runningChanged, this, [this](bool running) {
        m_captions.change(m_debug->button(Id::Preview), running ? msg::ClosePreview : msg::Preview);
    });
    m_jobs.addWorker({QStringLiteral("Preview"), [preview] { return preview->isRunning() || preview->isStopping(); },
                      [this, preview](std::function<void()> whenEnded) {
                          preview->stop(m_jobs, false, std::move(whenEnded));
                      },
                      "closeEvent :Switch to work mode failed!\n g_isSwitchMode=%d\n"});
    m_debug->placeIn(this, m_bandHeight, m_statusLabel, m_progress);
}

void Tovrin::connectUpdateFlow()
{
    using update::FirmwareUpdateFlow;
    connect(&m_update, &FirmwareUpdateFlow::statusChanged, this, &Tovrin::showStatus);
    connect(&m_update, &FirmwareUpdateFlow::progressChanged, m_progress, &QProgressBar::setValue);
    connect(&m_update, &FirmwareUpdateFlow::progressVisible, m_progress, &QProgressBar::setVisible);
    connect(&m_update, &FirmwareUpdateFlow::functionsLocked, this, [this](bool locked) {
        if (locked)
            setDeviceFunctionsEnabled(false);
        else if (m_update.prepared())
            setOnlyUpdateEnabled();
        else
            setDeviceFunctionsEnabled(true);
    });
    connect(&m_update, &FirmwareUpdateFlow::waitForFrame, this, [this](uint8_t state) {
        m_reported = false;
        m_detection.restartIn(state);
    });
    connect(&m_update, &FirmwareUpdateFlow::frameLost, this, [this] {
        m_reported = false;
        device::g_bDevExist = 0;
        m_connected = false;
        setOnlyUpdateEnabled();
        m_detection.restart();
    });
}

void Tovrin::placeTitleBand()
{
    const int w = width();
    const int inset = m_bandHeight / 4;
    m_quitButton->move(w - m_quitButton->width() - inset, (m_bandHeight - m_quitButton->height()) / 2);
    m_minimizeButton->move(m_quitButton->x() - m_minimizeButton->width() - 4, m_quitButton->y());

    m_languageBox->setFont(widgets::toQFont(context().applicationFont()));
    const int boxH = std::max(m_quitButton->height() * 3 / 4, m_languageBox->sizeHint().height());
    const int boxW = std::max(m_languageBox->sizeHint().width(), w * 14 / 100);
    m_languageBox->setGeometry(m_minimizeButton->x() - boxW - inset, (m_bandHeight - boxH) / 2, boxW, boxH);

    // The background draws the frame mark at the left of the band.
    m_versionLabel->setFont(widgets::toQFont(context().titleFont()));
    m_versionLabel->setGeometry(m_bandHeight * 23 / 20, 0, w / 3, m_bandHeight);
}

void Tovrin::retranslate()
{
    m_captions.retranslate();
    if (m_statusIds.isEmpty() && !m_fixedStatus.isEmpty())
        showStatusText(m_fixedStatus);
    else
        showStatusList(m_statusIds);
}

// ---- Status line and button states ------------------------------------------

QString Tovrin::statusText() const { return m_statusLabel->text(); }

void Tovrin::showStatus(int messageId) { showStatusList({messageId}); }

void Tovrin::showStatusText(const QString& text)
{
    m_statusIds.clear();
    m_fixedStatus = text;
    m_statusLabel->setText(text);
}

void Tovrin::showStatusList(const QList<int>& messageIds)
{
    m_statusIds = messageIds;
    m_fixedStatus.clear();
    QString text;
    for (int id : messageIds)
        text += device::statusMessageText(id);
    m_statusLabel->setText(text);
    if (!messageIds.isEmpty())
        Q_EMIT statusShown(messageIds.last());
}

void Tovrin::setDeviceFunctionsEnabled(bool enabled)
{
    for (Button* tile : m_tiles.focus.buttons)
        tile->setButtonEnabled(enabled);
    if (m_debug)
        m_debug->setDeviceButtonsEnabled(enabled);
    m_tiles.focus.refresh();
}

void Tovrin::setOnlyUpdateEnabled()
{
    setDeviceFunctionsEnabled(false);
    if (m_tiles.update)
        m_tiles.update->setButtonEnabled(true);
    if (m_debug)
        m_debug->setDeviceButtonsEnabled(false, true);
    m_tiles.focus.refresh();
}

bool Tovrin::isConnected() const { return m_connected && device::g_bDevExist.load() != 0; }

void Tovrin::QuitButSlot() { close(); }

void Tovrin::MinimizeButSlot() { showMinimized(); }

void Tovrin::LanguageCBoxSlot(int index)
{
    if (!shell::SetLanguage(index))
        return;
    retranslate();
}

// ---- Close ----------------------------------------------------------------

void Tovrin::closeEvent(QCloseEvent* event)
{
    if (m_detection.isClosed()) {
        QDialog::closeEvent(event);
        return;
    }
    if (!m_closing) {
        const bool connected = isConnected();
        if (connected && m_update.running()) {
            showStatus(msg::Updating);
            event->ignore();
            return;
        }
        if (connected) {
            MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
            MyMessageBox box(this, context().text(msg::Exit), context().text(msg::ExitQuestion), 1, 2,
                             context().text(msg::Exit), context().text(msg::Cancel));
            if (MyMessageBox::answer() != MyMessageBox::AnswerOk) {
                event->ignore();
                return;
            }
        }
        m_closing = true;
        m_closingConnected = connected;
    }
    // Each worker stopped goes back to work mode behind it. The window never
    // waits for one (it may sit in a 20 s request): it closes again, without
    // asking, once the last has ended.
    if (!m_jobs.stopWorkers([this] { close(); }, true)) {
        event->ignore();
        return;
    }
    m_detection.close();
    m_update.abort();
    device::CloseHidDevice();
    if (m_closingConnected)
        shell::writeSetting(shell::kSettingsFile, QStringLiteral("ImagePath/imagePath"), QStringLiteral("0"));
    widgets::endLog();
    QDialog::closeEvent(event);
}

// ---- Keyboard and mouse ---------------------------------------------------

bool Tovrin::event(QEvent* event)
{
    // The debug page has no tiles: there Tab moves the keyboard focus.
    if (QKeyEvent* key = m_flavour != 2 ? widgets::tabKeyPress(event) : nullptr) {
        keyPressEvent(key);
        return true;
    }
    return QDialog::event(event);
}

void Tovrin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Tab:
        m_tiles.focus.next();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        m_tiles.focus.press(m_tiles.focus.place);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool Tovrin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (const int place = m_tiles.focus.placeOf(watched)) {
            if (place != m_tiles.focus.place || !m_tiles.focus.at(place)->isPressed())
                m_tiles.focus.show(place);
            return event->type() == QEvent::MouseMove;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tovrin::mousePressEvent(QMouseEvent* event)
{
    // Frameless: the window is dragged by any free spot of it (the debug
    // page only by its title band and margins, the rest are controls).
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void Tovrin::mouseMoveEvent(QMouseEvent* event)
{
    if (m_tiles.focus.place != 0)
        m_tiles.focus.show(0);
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void Tovrin::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragOffset.reset();
    QDialog::mouseReleaseEvent(event);
}

void Tovrin::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), QColor(230, 236, 246));
    else if (size() == m_background.size())
        painter.drawPixmap(0, 0, m_background);
    else {
        // A window taller or wider than its picture (the debug page) keeps
        // the title band and the footer at their own height and stretches
        // only the body between them.
        const int bw = m_background.width();
        const int bh = m_background.height();
        const int band = std::min(m_bandHeight, bh / 3);
        const int footer = std::min(m_bandHeight * 9 / 10, bh / 3);
        const int w = width();
        const int h = height();
        painter.drawPixmap(QRect(0, 0, w, band), m_background, QRect(0, 0, bw, band));
        painter.drawPixmap(QRect(0, band, w, h - band - footer), m_background, QRect(0, band, bw, bh - band - footer));
        painter.drawPixmap(QRect(0, h - footer, w, footer), m_background, QRect(0, bh - footer, bw, footer));
    }
}

} // namespace tovrin::windows
