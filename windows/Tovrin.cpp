#include "Tovrin.h"

#include "WindowSupport.h"

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/Transport.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/CommentIniWriter.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "shell/Settings.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/MyMessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tovrin::windows {

using device::GetDeviceConfigThread;
using shell::context;
using widgets::Button;
using widgets::MyMessageBox;

namespace {

// Message ids of the status texts and captions used here.
namespace msg {
constexpr int Checking = 0;
constexpr int Set = 1;
constexpr int Leveling = 2;
constexpr int Versions = 3;
constexpr int Calibrate = 4;
constexpr int Update = 5;
constexpr int Shortcuts = 6;
constexpr int KeyTest = 7;
constexpr int Test = 8;
constexpr int Updating = 10;
constexpr int Exit = 11;
constexpr int ExitQuestion = 12;
constexpr int Cancel = 13;
constexpr int CommunicateFailed = 14;
constexpr int CheckCompleted = 15;
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int ReadFlashFailed = 18;
constexpr int CalibrationInvalid = 19;
constexpr int Testing = 24;
constexpr int LeftSensorBad = 26;
constexpr int LeftFpgaBad = 27;
constexpr int RightSensorBad = 29;
constexpr int RightFpgaBad = 30;
constexpr int TestSucceeded = 31;
constexpr int ResetFailed = 32;
constexpr int ResetSucceeded = 33;
constexpr int ToolId = 41;
constexpr int BootloaderId = 43;
constexpr int NoSetting = 45;
constexpr int ParameterReset = 101;
constexpr int LevelingCompleted = 106;
constexpr int CalibrateCompleted = 107;
constexpr int EraseFlash = 120;
constexpr int ReadFlash = 121;
constexpr int WriteFlash = 122;
constexpr int FpgaDownload = 124;
constexpr int Script = 125;
constexpr int Download = 126;
constexpr int RunScript = 127;
constexpr int Preview = 128;
constexpr int CompressImage = 129;
constexpr int Clear = 130;
constexpr int StepDebug = 131;
constexpr int Write = 132;
constexpr int Read = 133;
constexpr int FirmwareMismatch = 137;
constexpr int EquipmentAnomalies = 142;
constexpr int LevelFirst = 143;
} // namespace msg

const QString kVersionCaption = QStringLiteral("V") + kToolVersion;

} // namespace

Tovrin::Tovrin(QWidget* parent)
    : QDialog(parent)
    , m_flavour(std::clamp(context().toolFlavour.load(), 0, 2))
{
    startLog();
    const QStringList languages = shell::CheckLanguage();
    m_shortcuts = m_flavour != 2 && shell::settings::Shortcuts_en.read() == 1;

    setObjectName(QStringLiteral("Tovrin"));
    setWindowTitle(QStringLiteral("Tovrin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(context().skinPath() + QStringLiteral("Tovrin.png")));
    setMouseTracking(true);

    m_background = skinPixmap(QStringLiteral("back_pixmap.png"));
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

    m_versionLabel = new QLabel(kVersionCaption, this);
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
    m_progress->setTextVisible(false);
    m_progress->hide();

    if (m_flavour == 2)
        buildDebugPage();
    else
        buildSkinnedPage();
    placeTitleBand();
    retranslate();

    // Until the frame has been checked every device function waits.
    setDeviceFunctionsEnabled(false);
    showStatus(msg::Checking);

    m_detection.start(new GetDeviceConfigThread(this), this, &Tovrin::recvShowData);
    m_detection.watchArrivals(this);
}

// ---- Building -------------------------------------------------------------

Button* Tovrin::makeTitleButton(const QString& normal, const QString& pressed, const char* objectName)
{
    Button* button = makeSkinButton(this, objectName, normal, normal, pressed, normal);
    button->setCaptionMode(-1);
    return button;
}

Button* Tovrin::makeTile(const QString& baseName, int captionId, const char* objectName)
{
    Button* button = makeSkinButton(this, objectName, baseName + QStringLiteral(".png"),
                                    baseName + QStringLiteral("1.png"), baseName + QStringLiteral("2.png"),
                                    baseName + QStringLiteral("3.png"));
    button->setCaptionMode(Button::CaptionBand);
    button->setCaptionFont(widgets::toQFont(context().buttonFont()));
    button->installEventFilter(this);
    m_captions.emplace_back(button, captionId);
    return button;
}

void Tovrin::buildSkinnedPage()
{
    // Tool flavour 0 is the user-like page, 1 the full one; the Tab order is
    // the order of the tiles on the page.
    if (m_flavour == 0) {
        m_calibrateButton = makeTile(m_shortcuts ? QStringLiteral("User2_calibration") : QStringLiteral("User1_calibration"),
                                     msg::Calibrate, "calibrateButton");
        if (m_shortcuts)
            m_shortcutsButton = makeTile(QStringLiteral("keyCalibration"), msg::Shortcuts, "shortcutsButton");
        m_setButton = makeTile(QStringLiteral("User_set"), msg::Set, "setButton");
        m_aboutButton = makeTile(QStringLiteral("about"), msg::Versions, "aboutButton");
        m_focus.buttons = {m_calibrateButton};
        if (m_shortcutsButton)
            m_focus.buttons.push_back(m_shortcutsButton);
        m_focus.buttons.push_back(m_setButton);
        m_focus.buttons.push_back(m_aboutButton);
    } else {
        m_levelingButton = makeTile(QStringLiteral("MP_adjustScreen"), msg::Leveling, "levelingButton");
        m_calibrateButton = makeTile(QStringLiteral("User2_calibration"), msg::Calibrate, "calibrateButton");
        m_setButton = makeTile(m_shortcuts ? QStringLiteral("User_set") : QStringLiteral("MP1_set"), msg::Set, "setButton");
        if (m_shortcuts)
            m_shortcutsButton = makeTile(QStringLiteral("keyCalibration"), msg::Shortcuts, "shortcutsButton");
        m_updateButton = makeTile(QStringLiteral("update"), msg::Update, "updateButton");
        m_aboutButton = makeTile(QStringLiteral("about"), msg::Versions, "aboutButton");
        if (m_shortcuts)
            m_focus.buttons = {m_levelingButton, m_calibrateButton, m_setButton, m_shortcutsButton, m_updateButton,
                               m_aboutButton};
        else
            m_focus.buttons = {m_levelingButton, m_setButton, m_calibrateButton, m_updateButton, m_aboutButton};
    }

    if (m_levelingButton)
        connect(m_levelingButton, &Button::clicked, this, &Tovrin::AdjustScreenButSlot);
    connect(m_calibrateButton, &Button::clicked, this, &Tovrin::AlignmentButSlot);
    connect(m_setButton, &Button::clicked, this, &Tovrin::SetButSlot);
    connect(m_aboutButton, &Button::clicked, this, &Tovrin::AboutButSlot);
    if (m_shortcutsButton)
        connect(m_shortcutsButton, &Button::clicked, this, &Tovrin::KeyCalibrationButSlot);
    if (m_updateButton)
        connect(m_updateButton, &Button::clicked, this, &Tovrin::FirmwareUpdateButSlot);

    // One row of tiles, centred in the body between the title band and the
    // footer line of the background.
    const int w = width();
    const int h = height();
    const int footerTop = h - m_bandHeight * 9 / 10;
    const std::vector<Button*>& tiles = m_focus.buttons;
    const int tileW = tiles.front()->width();
    const int tileH = tiles.front()->height();
    const int count = static_cast<int>(tiles.size());
    const int gap = std::min(w / 25, count > 1 ? (w * 9 / 10 - count * tileW) / (count - 1) : 0);
    const int rowWidth = count * tileW + (count - 1) * gap;
    int x = (w - rowWidth) / 2;
    const int y = m_bandHeight + (footerTop - m_bandHeight - tileH) / 2;
    for (Button* tile : tiles) {
        tile->move(x, y);
        x += tileW + gap;
    }

    const int margin = w * 3 / 100;
    m_statusLabel->setGeometry(margin, footerTop + 2, w - 2 * margin, h - footerTop - 4);
    m_statusLabel->setFont(widgets::toQFont(context().applicationFont()));
    m_progress->setGeometry(margin, footerTop - m_bandHeight / 2 - 4, w - 2 * margin, m_bandHeight / 3);
}

QPushButton* Tovrin::makePushButton(int captionId, const char* objectName)
{
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    // Return in a line edit of the page must not press a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    if (captionId >= 0)
        m_captions.emplace_back(button, captionId);
    return button;
}

void Tovrin::buildDebugPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("debugPage"));
    page->setFont(widgets::toQFont(context().applicationFont()));
    QPalette pagePalette = page->palette();
    pagePalette.setColor(QPalette::WindowText, QColor(0, 38, 102));
    page->setPalette(pagePalette);

    struct Entry {
        int caption;
        const char* name;
        void (Tovrin::*slot)();
    };
    const Entry entries[] = {
        {msg::Leveling, "levelingButton", &Tovrin::AdjustScreenButSlot},
        {msg::Calibrate, "calibrateButton", &Tovrin::AlignmentButSlot},
        {msg::Set, "setButton", &Tovrin::SetButSlot},
        {msg::Versions, "aboutButton", &Tovrin::AboutButSlot},
        {msg::Shortcuts, "shortcutsButton", &Tovrin::KeyCalibrationButSlot},
        {msg::KeyTest, "keyTestButton", &Tovrin::KeyTestButSlot},
        {msg::Test, "testButton", &Tovrin::TestButSlot},
        {msg::ParameterReset, "resetButton", &Tovrin::ResetButSlot},
        {msg::EraseFlash, "eraseFlashButton", &Tovrin::EraseFlashSlot},
        {msg::ReadFlash, "readFlashButton", &Tovrin::ReadFlashSlot},
        {msg::WriteFlash, "writeFlashButton", &Tovrin::WriteFlashSlot},
        {msg::Update, "updateButton", &Tovrin::FirmwareUpdateButSlot},
    };
    auto* buttons = new QGridLayout;
    int index = 0;
    for (const Entry& e : entries) {
        QPushButton* b = makePushButton(e.caption, e.name);
        connect(b, &QPushButton::clicked, this, e.slot);
        buttons->addWidget(b, index / 7, index % 7);
        if (e.slot == &Tovrin::FirmwareUpdateButSlot)
            m_debugUpdateButton = b;
        m_debugDeviceButtons.push_back(b);
        ++index;
    }
    QPushButton* fingerButton = makePushButton(-1, "fingerIntoButton");
    fingerButton->setText(QStringLiteral("K274_3 Debug"));
    connect(fingerButton, &QPushButton::clicked, this, &Tovrin::FingerIntoButSlot);
    m_debugDeviceButtons.push_back(fingerButton);
    buttons->addWidget(fingerButton, index / 7, index % 7);
    ++index;
    QPushButton* quitButton = makePushButton(msg::Exit, "quitPushButton");
    connect(quitButton, &QPushButton::clicked, this, &Tovrin::QuitButSlot);
    buttons->addWidget(quitButton, index / 7, index % 7);

    // File rows: FPGA code and register script.
    auto* files = new QGridLayout;
    auto addFileRow = [&](int row, int labelId, QLineEdit*& edit, const char* editName, const char* browseName,
                          void (Tovrin::*browse)(), int actionId, const char* actionName, void (Tovrin::*action)()) {
        auto* label = new QLabel(page);
        m_captions.emplace_back(label, labelId);
        edit = new QLineEdit(page);
        edit->setObjectName(QString::fromLatin1(editName));
        QPushButton* browseButton = makePushButton(-1, browseName);
        browseButton->setText(QStringLiteral("..."));
        browseButton->setFixedWidth(browseButton->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        connect(browseButton, &QPushButton::clicked, this, browse);
        QPushButton* actionButton = makePushButton(actionId, actionName);
        connect(actionButton, &QPushButton::clicked, this, action);
        m_debugDeviceButtons.push_back(actionButton);
        files->addWidget(label, row, 0);
        files->addWidget(edit, row, 1);
        files->addWidget(browseButton, row, 2);
        files->addWidget(actionButton, row, 3);
    };
    addFileRow(0, msg::FpgaDownload, m_fpgaPathEdit, "fpgaPathEdit", "fpgaBrowseButton", &Tovrin::FPGAbrowseButSlot,
               msg::Download, "downloadButton", &Tovrin::DownloadButSlot);
    addFileRow(1, msg::Script, m_scriptPathEdit, "scriptPathEdit", "scriptBrowseButton", &Tovrin::ScriptBrowseButSlot,
               msg::RunScript, "runScriptButton", &Tovrin::RunScriptButSlot);
    files->setColumnStretch(1, 1);

    // Register step debugging.
    auto* stepGroup = new QGroupBox(page);
    stepGroup->setObjectName(QStringLiteral("stepDebugGroup"));
    m_captions.emplace_back(stepGroup, msg::StepDebug);
    auto* step = new QHBoxLayout(stepGroup);
    const auto* hexValidator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Fa-fXx_0-9]+")), this);
    m_regAddrEdit = new QLineEdit(stepGroup);
    m_regAddrEdit->setObjectName(QStringLiteral("regAddrEdit"));
    m_regAddrEdit->setValidator(hexValidator);
    m_regValueEdit = new QLineEdit(stepGroup);
    m_regValueEdit->setObjectName(QStringLiteral("regValueEdit"));
    m_regValueEdit->setValidator(hexValidator);
    m_sensorBox = new QCheckBox(QStringLiteral("Sensor"), stepGroup);
    m_sensorBox->setObjectName(QStringLiteral("sensorBox"));
    m_slaveBox = new QCheckBox(QStringLiteral("Slave"), stepGroup);
    m_slaveBox->setObjectName(QStringLiteral("slaveBox"));
    connect(m_slaveBox, &QCheckBox::clicked, this, &Tovrin::SlaveCButSlot);
    QPushButton* writeButton = makePushButton(msg::Write, "writeButton");
    QPushButton* readButton = makePushButton(msg::Read, "readButton");
    connect(writeButton, &QPushButton::clicked, this, &Tovrin::WriteButSlot);
    connect(readButton, &QPushButton::clicked, this, &Tovrin::ReadButSlot);
    m_debugDeviceButtons.push_back(writeButton);
    m_debugDeviceButtons.push_back(readButton);
    step->addWidget(new QLabel(QStringLiteral("Reg Addr(HEX)"), stepGroup));
    step->addWidget(m_regAddrEdit, 2);
    step->addWidget(new QLabel(QStringLiteral("Value"), stepGroup));
    step->addWidget(m_regValueEdit, 1);
    step->addWidget(m_sensorBox);
    step->addWidget(m_slaveBox);
    step->addWidget(writeButton);
    step->addWidget(readButton);

    // Preview and the text output.
    m_compressBox = new QCheckBox(page);
    m_compressBox->setObjectName(QStringLiteral("compressBox"));
    m_captions.emplace_back(m_compressBox, msg::CompressImage);
    connect(m_compressBox, &QCheckBox::clicked, this, &Tovrin::CompressCButSlot);
    m_previewButton = makePushButton(msg::Preview, "previewButton");
    connect(m_previewButton, &QPushButton::clicked, this, &Tovrin::PreviewButSlot);
    m_debugDeviceButtons.push_back(m_previewButton);
    m_outputBox = new QTextEdit(page);
    m_outputBox->setObjectName(QStringLiteral("outputBox"));
    m_outputBox->setReadOnly(true);
    QPushButton* clearButton = makePushButton(msg::Clear, "clearButton");
    connect(clearButton, &QPushButton::clicked, this, &Tovrin::ClearButSlot);
    auto* side = new QVBoxLayout;
    side->addWidget(m_compressBox);
    side->addWidget(m_previewButton);
    side->addStretch(1);
    side->addWidget(clearButton);
    auto* output = new QHBoxLayout;
    output->addWidget(m_outputBox, 1);
    output->addLayout(side);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addLayout(files);
    layout->addWidget(stepGroup);
    layout->addLayout(output, 1);

    // The page may need more room than the background offers: then the
    // window grows and the background is stretched to it.
    const int margin = std::max(8, width() / 50);
    const int footer = m_bandHeight * 9 / 10;
    const QSize need = page->sizeHint();
    const int w = std::max(width(), need.width() + 2 * margin);
    const int h = std::max(height(), m_bandHeight + need.height() + footer + 2 * margin + m_bandHeight / 3);
    resize(w, h);
    page->setGeometry(margin, m_bandHeight + margin, w - 2 * margin, h - m_bandHeight - footer - 2 * margin);
    m_statusLabel->setGeometry(w * 3 / 100, h - footer + 2, w * 94 / 100, footer - 4);
    m_statusLabel->setFont(widgets::toQFont(context().applicationFont()));
    m_progress->setGeometry(margin, h - footer - m_bandHeight / 3 - 2, w - 2 * margin, m_bandHeight / 4);
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
    for (auto& [widget, id] : m_captions) {
        const QString text = context().text(id);
        if (auto* button = qobject_cast<Button*>(widget))
            button->setCaption(text);
        else if (auto* push = qobject_cast<QPushButton*>(widget))
            push->setText(text);
        else if (auto* check = qobject_cast<QCheckBox*>(widget))
            check->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
    }
    if (m_previewButton)
        m_previewButton->setText(context().text(msg::Preview));
    showStatusList(m_statusIds);
}

// ---- Status line ----------------------------------------------------------

QString Tovrin::statusText() const { return m_statusLabel->text(); }

void Tovrin::showStatus(int messageId) { showStatusList({messageId}); }

void Tovrin::showStatusList(const QList<int>& messageIds)
{
    m_statusIds = messageIds;
    QString text;
    for (int id : messageIds)
        text += statusMessageText(id);
    m_statusLabel->setText(text);
    if (!messageIds.isEmpty())
        Q_EMIT statusShown(messageIds.last());
}

// ---- Button states --------------------------------------------------------

void Tovrin::setDeviceFunctionsEnabled(bool enabled)
{
    for (Button* tile : m_focus.buttons)
        tile->setButtonEnabled(enabled);
    for (QPushButton* b : m_debugDeviceButtons)
        b->setEnabled(enabled);
    m_focus.refresh();
}

void Tovrin::setOnlyUpdateEnabled()
{
    setDeviceFunctionsEnabled(false);
    if (m_updateButton)
        m_updateButton->setButtonEnabled(true);
    if (m_debugUpdateButton)
        m_debugUpdateButton->setEnabled(true);
    m_focus.refresh();
}

bool Tovrin::isConnected() const { return m_connected && device::g_bDevExist.load() != 0; }

// ---- Detection ------------------------------------------------------------

void Tovrin::handleStatusResult(int result)
{
    showStatus(device::statusMessageId(result));
    switch (result) {
    case device::kStatusNoLink:
        m_connected = false;
        setDeviceFunctionsEnabled(false);
        break;
    case device::kStatusFirmwareNotReady:
    case device::kStatusTimedOut:
        // The firmware must be replaced before anything else can work.
        m_connected = true;
        setOnlyUpdateEnabled();
        break;
    default:
        // Ready, not leveled/calibrated (the jobs that fix it must be
        // reachable) and faulty (the device test and versions help).
        m_connected = true;
        setDeviceFunctionsEnabled(true);
        break;
    }
}

void Tovrin::handleFrameLost()
{
    device::g_bDevExist = 0;
    m_connected = false;
    m_updateRunning = false;
    m_prepared = false;
    m_progress->hide();
    showStatus(msg::NotDetected);
    setDeviceFunctionsEnabled(false);
    shell::WriteLog("Open hid device failed!\n");
}

void Tovrin::recvShowData(int code)
{
    if (m_detection.isClosed())
        return;
    switch (code) {
    case 1:
        showStatus(msg::LevelingCompleted);
        switchMode(device::mode::Work);
        break;
    case 2:
    case 5:
    case 6:
        switchMode(device::mode::Work);
        break;
    case device::detection::kLostDuringUpdate:
        // A child window closing with the frame still there changes nothing.
        if (device::g_bDevExist.load())
            break;
        QTimer::singleShot(200, this, [this] {
            if (m_detection.isClosed() || device::g_bDevExist.load())
                return;
            device::UpdateExpected = 0;
            m_detection.restart();
            m_connected = false;
            m_updateRunning = false;
            m_prepared = false;
            m_progress->hide();
            showStatus(msg::NotDetected);
            setOnlyUpdateEnabled();
        });
        break;
    case 4:
        ResetButSlot();
        break;
    case device::detection::kAppeared:
        showStatus(msg::Checking);
        break;
    case 8:
        m_updateRunning = false;
        showStatus(msg::CalibrationInvalid);
        break;
    case 9:
        m_updateRunning = false;
        showStatus(msg::CalibrateCompleted);
        break;
    case device::detection::kApplicationOpened:
        // During an update the update flow takes the frame back itself.
        if (!m_updateRunning)
            handleStatusResult(device::g_getStatusError.load());
        break;
    case device::detection::kBootLoaderOpened:
        if (m_updateRunning && m_prepared) {
            // The firmware update goes on with the boot loader here.
            break;
        }
        m_connected = true;
        showStatus(msg::NotReady);
        setOnlyUpdateEnabled();
        break;
    case device::detection::kNoFrame:
        if (!device::UpdateExpected.load())
            handleFrameLost();
        break;
    default:
        break;
    }
}

void Tovrin::recvData(int code)
{
    // Codes of the update, FPGA, script and preview workers; none of them
    // runs yet.
    Q_UNUSED(code);
}

int Tovrin::FindHidDevice()
{
    // The detection thread does the searching; nothing is requested here.
    return 1;
}

bool Tovrin::MacGetDeviceConfig()
{
    // One open attempt in the window thread. While the detection thread runs
    // it owns the device, so its last report stands.
    if (m_detection.isRunning())
        return isConnected();
    uint16_t productId = 0xFF;
    const bool opened = device::OpenHidDevice(productId);
    shell::WriteLog(opened ? "Open hid device succeed!(FIRST_OPEN_TOOL)\n" : "No hid device!(FIRST_OPEN_TOOL)\n");
    if (opened && device::isApplicationProductId(productId)) {
        shell::LogF("Open hid device success!PID:0x%04x\n", productId);
        device::g_bDevExist = 1;
        m_connected = true;
        showStatus(msg::CheckCompleted);
        setDeviceFunctionsEnabled(true);
        return true;
    }
    if (opened && productId == device::kBootLoaderProductId) {
        shell::LogF("Open hid device success!PID:0x%04x\n", productId);
        device::g_bDevExist = 1;
        m_connected = true;
        showStatus(msg::NotReady);
        setOnlyUpdateEnabled();
        return true;
    }
    handleFrameLost();
    return false;
}

void Tovrin::GetDeviceConfig() { MacGetDeviceConfig(); }

// ---- Jobs -----------------------------------------------------------------

bool Tovrin::guardConnected()
{
    if (isConnected())
        return true;
    showStatus(msg::CommunicateFailed);
    return false;
}

bool Tovrin::switchMode(uint8_t modeCode)
{
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(modeCode);
    if (outcome.ok)
        return true;
    if (outcome.deviceAbsent) {
        handleFrameLost();
        return false;
    }
    if (outcome.messageId >= 0)
        showStatus(outcome.messageId);
    if (outcome.frameLost)
        m_connected = false;
    return false;
}

void Tovrin::notYetAvailable()
{
    // Jobs of later building steps: the guard already tells about a missing
    // frame; with a frame there is nothing to do yet.
    guardConnected();
}

void Tovrin::AdjustScreenButSlot() { notYetAvailable(); }
void Tovrin::FirmwareUpdateButSlot() { notYetAvailable(); }
void Tovrin::AlignmentButSlot() { notYetAvailable(); }
void Tovrin::KeyCalibrationButSlot() { notYetAvailable(); }
void Tovrin::KeyTestButSlot() { notYetAvailable(); }
void Tovrin::FPGAbrowseButSlot() {}
void Tovrin::DownloadButSlot() { notYetAvailable(); }
void Tovrin::ScriptBrowseButSlot() {}
void Tovrin::RunScriptButSlot() { notYetAvailable(); }
void Tovrin::PreviewButSlot() { notYetAvailable(); }
void Tovrin::WriteButSlot() { notYetAvailable(); }
void Tovrin::ReadButSlot() { notYetAvailable(); }
void Tovrin::EraseFlashSlot() { notYetAvailable(); }
void Tovrin::ReadFlashSlot() { notYetAvailable(); }
void Tovrin::WriteFlashSlot() { notYetAvailable(); }
void Tovrin::FingerIntoButSlot() { notYetAvailable(); }

void Tovrin::CompressCButSlot() { m_compressImages = m_compressBox && m_compressBox->isChecked(); }

void Tovrin::SlaveCButSlot()
{
    if (m_slaveBox)
        device::SelectedUnitIsSlave = m_slaveBox->isChecked() ? 1 : 0;
}

void Tovrin::ClearButSlot()
{
    if (m_outputBox)
        m_outputBox->clear();
}

void Tovrin::SetButSlot()
{
    if (!guardConnected())
        return;
    showStatus(msg::CheckCompleted);
    if (!switchMode(device::mode::Calibration))
        return;
    const int match = device::FirmwareMatches();
    if (match == 1 || match == 2) {
        showStatus(match == 1 ? msg::NoSetting : msg::ReadFlashFailed);
        switchMode(device::mode::Work);
        return;
    }
    // The settings window comes with its own building step; until then the
    // frame goes straight back to work.
    switchMode(device::mode::Work);
}

void Tovrin::AboutButSlot()
{
    if (!guardConnected())
        return;
    if (!switchMode(device::mode::Calibration))
        return;
    using records::UnitId;
    QString text = context().text(msg::ToolId) + kToolVersion + QStringLiteral("\n");
    bool ok = true;
    if (m_flavour == 0) {
        ok = records::readVersionRecord(UnitId::Slave);
        switchMode(device::mode::Work);
        if (ok)
            text += firmwareIdText(records::g_ImageVersion[1].load());
    } else {
        ok = records::readVersionRecord(UnitId::Master);
        if (ok) {
            text += QStringLiteral("(M)") + firmwareIdText(records::g_ImageVersion[0].load());
            ok = records::readVersionRecord(UnitId::Slave);
        }
        if (ok) {
            text += QStringLiteral("(S)") + firmwareIdText(records::g_ImageVersion[1].load());
            const uint32_t stored = records::g_BootloaderVersion[1].load();
            const records::Version boot{shownBootLoaderWord(stored)};
            text += context().text(msg::BootloaderId).arg(boot.major()).arg(boot.minor()).arg(boot.build());
            if (stored == kErasedVersionWord)
                shell::WriteLog("BootloaderID: V1.0.7\n");
            else
                shell::LogF("BootloaderID: V%d.%d.%d\n", boot.major(), boot.minor(), boot.build());
        }
        switchMode(device::mode::Work);
    }
    // A version that could not be read is not shown as a made-up number.
    if (!ok) {
        showStatus(msg::ReadFlashFailed);
        return;
    }
    MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
    MyMessageBox box(this, context().text(msg::Versions), text, 0, 1);
}

void Tovrin::TestButSlot()
{
    if (!guardConnected())
        return;
    if (!switchMode(device::mode::Calibration)) {
        markSwitchFailure();
        if (isConnected())
            showStatus(msg::EquipmentAnomalies);
        return;
    }
    showStatus(msg::Testing);
    repaint();

    using device::Unit;
    // Only the success of each request counts; every request is made.
    auto sensorGroup = [](Unit unit) {
        const int previous = device::SelectedUnitIsSlave.load();
        device::SelectedUnitIsSlave = unit == Unit::Slave ? 1 : 0;
        uint8_t value = 0;
        bool ok = device::I2cRead(0x0A, 1, value);
        ok = device::I2cWrite(0x19, 1, 0x3A) && ok;
        ok = device::I2cRead(0x19, 1, value) && ok;
        device::SelectedUnitIsSlave = previous;
        return ok;
    };
    auto fpgaGroup = [](Unit unit) {
        const uint32_t reg = device::unitBits(unit) | 53u;
        uint8_t value = 0;
        bool ok = device::RegisterRead(reg, true, value);
        ok = device::PortWrite(reg, 0x1F, 1, true) && ok;
        ok = device::RegisterRead(reg, true, value) && ok;
        ok = device::PortWrite(reg, 0x0F, 1, true) && ok;
        return ok;
    };
    QList<int> failed;
    if (!sensorGroup(Unit::Master))
        failed << msg::LeftSensorBad;
    if (!fpgaGroup(Unit::Master))
        failed << msg::LeftFpgaBad;
    if (!sensorGroup(Unit::Slave))
        failed << msg::RightSensorBad;
    if (!fpgaGroup(Unit::Slave))
        failed << msg::RightFpgaBad;
    if (!failed.isEmpty()) {
        // The frame stays in calibration mode for the engineer to look into it.
        showStatusList(failed);
        return;
    }
    showStatus(msg::TestSucceeded);
    const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
    if (!back.ok) {
        showStatus(msg::CalibrationInvalid);
        m_connected = false;
    }
}

void Tovrin::ResetButSlot()
{
    if (!guardConnected())
        return;
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Reset);
    if (outcome.deviceAbsent) {
        handleFrameLost();
        return;
    }
    showStatus(outcome.ok ? msg::ResetSucceeded : msg::ResetFailed);
}

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
    const bool connected = isConnected();
    if (connected && m_updateRunning) {
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
    m_detection.close();
    device::CloseHidDevice();
    if (connected)
        shell::writeSetting(shell::kSettingsFile, QStringLiteral("ImagePath/imagePath"), QStringLiteral("0"));
    endLog();
    QDialog::closeEvent(event);
}

// ---- Keyboard and mouse ---------------------------------------------------

bool Tovrin::event(QEvent* event)
{
    // The debug page has no tiles: there Tab moves the keyboard focus.
    if (QKeyEvent* key = m_flavour != 2 ? tabKeyPress(event) : nullptr) {
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
        m_focus.next();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        m_focus.press(m_focus.place);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool Tovrin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (const int place = m_focus.placeOf(watched)) {
            if (place != m_focus.place || !m_focus.at(place)->isPressed())
                m_focus.show(place);
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
    if (m_focus.place != 0)
        m_focus.show(0);
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
