#include "calibration/ui/CalibrationWin.h"

#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/RunState.h"
#include "calibration/ui/CalibrationMessages.h"
#include "calibration/ui/MouseFinger.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/FullScreen.h"
#include "widgets/MyMessageBox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace tovrin::calib::ui {

using widgets::Button;

namespace {

const QString kCaptionStyle = QStringLiteral("color:rgb(0,38,102)");

bool frameConnected()
{
    return device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
}

// The screen the frame is on (Tovrin.ini names it; the primary one without).
QRect frameScreenGeometry()
{
    const QScreen* screen = widgets::frameScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
}

} // namespace

CalibrationWin::CalibrationWin(QWidget* parent, QSize screen)
    : CalibrationDialog(parent, screen.isEmpty() ? frameScreenGeometry().size() : screen, 0)
    , m_screen(screen.isEmpty() ? frameScreenGeometry().size() : screen)
{
    setObjectName(QStringLiteral("CalibrationWin"));
    setWindowTitle(QStringLiteral("Tovrin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    markTouchSurface(this);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    m_status->setFont(widgets::toQFont(shell::context().buttonFont()));
    m_status->setAttribute(Qt::WA_TransparentForMouseEvents);

    Button* type = makeButton("calTypeButton", FourCalib_en.load() ? msg::SixteenPoint : msg::FourPoint);
    Button* reset = makeButton("resetBeforeButton", msg::ResetBefore);
    Button* exit = makeButton("exitButton", msg::Exit);
    setButtons(type, reset, exit);
    connect(m_typeButton, &Button::clicked, this, &CalibrationWin::CalTypeSlot);
    connect(m_resetButton, &Button::clicked, this, &CalibrationWin::ResetSlot);
    connect(m_exitButton, &Button::clicked, this, &CalibrationWin::ReturnSlot);

    connect(m_quality, &QualityPage::changed, this, &CalibrationWin::showQuality);

    for (CalibrationThread* t : {static_cast<CalibrationThread*>(m_thread16.get()),
                                 static_cast<CalibrationThread*>(m_thread4.get())})
        connect(t, &CalibrationThread::sendData, this, &CalibrationWin::recvData, Qt::QueuedConnection);

    setGeometry(QRect(screen.isEmpty() ? frameScreenGeometry().topLeft() : QPoint(0, 0), m_screen));
    showStatus(msg::Initializing);
    m_typeButton->setButtonEnabled(false);
    m_resetButton->setButtonEnabled(false);
}

CalibrationWin::~CalibrationWin()
{
    m_thread16->stopAndWait();
    m_thread4->stopAndWait();
}

Button* CalibrationWin::makeButton(const char* objectName, int captionId)
{
    auto* b = new Button(this);
    b->setObjectName(QString::fromLatin1(objectName));
    const QString folder = shell::context().skinPath() + QStringLiteral("calibration/");
    const QPixmap normal(folder + QStringLiteral("button_Normal.png"));
    b->setNormalPixmap(normal);
    b->setFocusPixmap(QPixmap(folder + QStringLiteral("button_Focus.png")));
    b->setPressPixmap(QPixmap(folder + QStringLiteral("button_Press.png")));
    b->setDisabledPixmap(QPixmap(folder + QStringLiteral("button_Enabled.png")));
    if (!normal.isNull())
        b->resize(normal.size());
    b->setCaptionMode(Button::CaptionCentred);
    b->setCaptionFont(widgets::toQFont(shell::context().buttonFont()));
    b->setStyleSheet(kCaptionStyle);
    b->setCaption(shell::context().text(captionId));
    b->installEventFilter(this);
    return b;
}

void CalibrationWin::placeWidgets()
{
    const CalibrationLayout l = calibrationLayout(size(), m_painter.pictureSize());
    // The quality page has a target of its own in the middle of the screen.
    m_status->setGeometry(m_quality->active() ? QualityPage::statusArea(size()) : l.status);
    const int bw = m_exitButton->width(), bh = m_exitButton->height();
    const int gap = bw / 4;
    int x = l.buttons.x() - (3 * bw + 2 * gap) / 2;
    for (Button* b : {m_typeButton, m_resetButton, m_exitButton}) {
        b->move(x, l.buttons.y() - bh / 2);
        x += bw + gap;
    }
}

void CalibrationWin::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeWidgets();
}

QString CalibrationWin::statusText() const
{
    return m_status->text();
}

void CalibrationWin::showStatus(int messageId, const QString& text)
{
    m_statusId = messageId;
    // Failures stand out in red; instructions and progress are in the skin's blue.
    const bool failure = messageId == msg::CommunicateFailed || messageId == msg::PulledOut ||
                         messageId == msg::InitFailed || messageId == msg::ProcessFailed || messageId == 19 ||
                         messageId == msg::EquipmentAnomalies;
    m_status->setStyleSheet(failure ? QStringLiteral("color:rgb(255,0,0)") : kCaptionStyle);
    m_status->setText(text.isNull() ? shell::context().text(messageId) : text);
}

void CalibrationWin::start()
{
    m_typeButton->setCaption(shell::context().text(FourCalib_en.load() ? msg::SixteenPoint : msg::FourPoint));
    // This window configures no environment: that is the end-user tool's step.
    g_CalibEnvironment = 0;
    startRunOfMode();
}

void CalibrationWin::startRunOfMode()
{
    m_saving = false;
    m_stored = false;
    loadRunSettings();
    const bool four = FourCalib_en.load() != 0;
    runState().startRun(four ? 4 : 16, m_screen.width(), m_screen.height());
    if (four) {
        m_thread16->stopAndWait();
        m_thread4->startWork();
    } else {
        m_thread4->stopAndWait();
        m_thread16->startWork();
    }
    refreshButtons();
    update();
}

void CalibrationWin::refreshButtons()
{
    m_resetButton->setButtonEnabled(!m_saving && runState().pointIndex.load() > 0);
    m_focus.refresh();
}

void CalibrationWin::recvData(int code)
{
    if (m_closing || m_leaving)
        return;
    if (!frameConnected()) {
        showStatus(msg::PulledOut);
        return;
    }
    switch (code) {
    case code::PointReady:
        if (g_CalDataInitSuc.load()) {
            if (const int prompt = touchPromptMessage(runState()); prompt != m_statusId)
                showStatus(prompt);
            m_typeButton->setButtonEnabled(true);
        }
        refreshButtons();
        update();
        break;
    case code::InitFailed:
        showStatus(msg::InitFailed);
        shell::LogF("Calibration init failed! g_CalDataInitSuc=%d", g_CalDataInitSuc.load());
        break;
    case code::ProcessFailed:
        showStatus(device::g_bDevExist.load() ? msg::ProcessFailed : msg::CommunicateFailed);
        shell::LogF("Calibration Process failed! g_CalibrationProcessSuc=%d", g_CalibrationProcessSuc.load());
        break;
    case code::Progress:
    case code::Stored: {
        const int percent = code == code::Stored ? 100 : runState().progress.load();
        showStatus(msg::Saving, shell::context().text(msg::Saving).arg(percent));
        m_saving = true;
        m_typeButton->setButtonEnabled(false);
        m_resetButton->setButtonEnabled(false);
        m_focus.refresh();
        update();
        if (code != code::Stored)
            break;
        // The records are stored: the window stays with the calibration's
        // quality and the short check; the opener hears of it when the frame
        // has been handed back.
        m_stored = true;
        const RunReport report = FourCalib_en.load() ? m_thread4->report() : m_thread16->report();
        shell::LogF("Calibration points: %s\n", residualText(report.accuracy).toUtf8().constData());
        m_quality->begin(report, m_screen);
        break;
    }
    case code::Rejected:
        m_saving = false;
        Q_EMIT sendShowData(8);
        close();
        break;
    case code::ModeSwitched:
        showStatus(msg::Initializing);
        startRunOfMode();
        break;
    default:
        break;
    }
}

void CalibrationWin::showQuality()
{
    if (!m_quality->active())
        return;
    placeWidgets();
    const bool checking = m_quality->checking();
    m_status->setStyleSheet(m_quality->warning() ? QStringLiteral("color:rgb(255,0,0)") : kCaptionStyle);
    m_statusId = msg::Completed;
    m_status->setText(checking ? shell::context().text(msg::TouchTheCross) : m_quality->statusText());
    m_typeButton->setCaption(shell::context().text(msg::Test));
    m_resetButton->setCaption(shell::context().text(msg::Calibrate));
    m_typeButton->setButtonEnabled(!checking);
    m_resetButton->setButtonEnabled(!checking);
    // A failed check puts the focus look on "Calibrate".
    if (m_quality->warning())
        m_focus.show(2);
    else
        m_focus.refresh();
    update();
}

void CalibrationWin::calibrateAgain()
{
    m_quality->end();
    placeWidgets();
    m_typeButton->setCaption(shell::context().text(FourCalib_en.load() ? msg::SixteenPoint : msg::FourPoint));
    m_resetButton->setCaption(shell::context().text(msg::ResetBefore));
    showStatus(msg::Initializing);
    startRunOfMode();
}

void CalibrationWin::CalTypeSlot()
{
    if (m_leaving)
        return;
    if (m_quality->active()) {
        m_quality->startCheck();
        return;
    }
    FourCalib_en = FourCalib_en.load() ? 0 : 1;
    m_typeButton->setCaption(shell::context().text(FourCalib_en.load() ? msg::SixteenPoint : msg::FourPoint));
    // A running worker notices and ends with code 6; without one the run of
    // the new mode starts here.
    if (!running() && !m_saving) {
        showStatus(msg::Initializing);
        startRunOfMode();
    }
}

void CalibrationWin::ResetSlot()
{
    if (m_leaving)
        return;
    if (m_quality->active()) {
        if (!m_quality->checking())
            calibrateAgain();
        return;
    }
    if (!m_saving)
        runState().takeBack();
    refreshButtons();
    update();
}

void CalibrationWin::ReturnSlot()
{
    close();
}

void CalibrationWin::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_saving && running()) {
        // The save goes on to its end (stopping it half way could leave the
        // frame without calibration); what it stored is told then, by the
        // codes that end it.
        if (!m_closeAfterSave)
            shell::LogF("Calibration: closing waits for the save to end\n");
        m_closeAfterSave = true;
        return;
    }
    if (m_handingBack)
        return;  // the hand-back under way closes the window or says why not
    if (m_leaving) {
        // Why the stored run is not completed stays on the window until this
        // next close.
        leave();
        return;
    }
    handBack();
}

void CalibrationWin::handBack()
{
    m_leaving = true;
    m_handingBack = true;
    m_typeButton->setButtonEnabled(false);
    m_resetButton->setButtonEnabled(false);
    m_focus.show(3);
    // A run that has not begun configures no environment; one under way
    // finishes it before it looks at the stop request.
    g_CalibEnvironment = 0;
    stopRunsThen([this] {
        m_quality->end();
        placeWidgets();
        update();
        if (!frameConnected()) {
            if (m_stored)
                shell::LogF("Calibration: stored, but the frame was gone before it was handed back\n");
            m_handingBack = false;
            leave();
            return;
        }
        // Without a stored calibration the opener switches the frame back (2);
        // a stored one is completed only once the frame holds the mode and
        // works again: this window switches it back itself to know.
        handBackThen(m_stored ? WorkModeAfter::WhenKept : WorkModeAfter::Never,
                     [this](const HandBackResult& result) { handedBack(result); });
    });
}

void CalibrationWin::handedBack(const HandBackResult& result)
{
    m_handingBack = false;
    if (!m_stored) {
        leave();
        return;
    }
    if (!result.kept) {
        shell::LogF("Calibration: stored, but the screen record could not be written back\n");
        showStatus(device::g_bDevExist.load() ? msg::ProcessFailed : msg::PulledOut);
        return;
    }
    if (!result.work.ok) {
        shell::LogF("Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        if (result.work.messageId == msg::EquipmentAnomalies)
            showStatus(result.work.messageId, device::errorWordsText(shell::context().text(result.work.messageId)));
        else
            showStatus(device::g_bDevExist.load() ? msg::CommunicateFailed : msg::PulledOut);
        return;
    }
    m_completed = true;
    leave();
}

void CalibrationWin::leave()
{
    m_closing = true;
    if (m_completed)
        Q_EMIT sendShowData(9);
    Q_EMIT sendShowData(frameConnected() ? 2 : 3);
    // Closed from the event loop: this may run inside a close event, where
    // another close() does nothing.
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void CalibrationWin::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    if (m_quality->active()) {
        m_quality->paint(p);
        return;
    }
    m_painter.paint(p, rect(), calibrationLayout(size(), m_painter.pictureSize()),
                    shell::context().toolFlavour.load() == 2);
}

} // namespace tovrin::calib::ui
