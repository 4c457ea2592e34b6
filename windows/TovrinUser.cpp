#include "TovrinUser.h"
#include "TovrinUserTexts.h"

#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/RunState.h"
#include "calibration/ui/MouseFinger.h"
#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/FullScreen.h"
#include "widgets/WindowKit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace tovrin::windows {

using calib::FourCalib_en;
using calib::runState;
using device::GetDeviceConfigThreadUser;
using shell::context;
using widgets::Button;

namespace {

namespace msg = usermsg;

bool frameConnected()
{
    return device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
}

const QString kCaptionStyle = QStringLiteral("color:rgb(0,38,102)");
} // namespace

TovrinUser::TovrinUser(QWidget* parent)
    // The workers learn the screen when the frame is found; the first
    // button is under the focus look from the start.
    : CalibrationDialog(parent, QSize(0, 0), 1)
{
    widgets::startLog();
    shell::CheckLanguage();

    setObjectName(QStringLiteral("TovrinUser"));
    setWindowTitle(QStringLiteral("Tovrin"));
    connect(m_quality, &calib::ui::QualityPage::changed, this, &TovrinUser::showQuality);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(context().skinPath() + QStringLiteral("Tovrin.png")));
    setMouseTracking(true);
    // The calibration targets are drawn on a plain white screen.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    calib::ui::markTouchSurface(this);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setStyleSheet(QStringLiteral("color:rgb(255,0,0)"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setFont(widgets::toQFont(context().buttonFont()));
    m_statusLabel->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_versionLabel = new QLabel(userVersionPrefix(), this);
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_versionLabel->setStyleSheet(QStringLiteral("color:rgb(150,150,150)"));
    m_versionLabel->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    m_versionLabel->setFont(widgets::toQFont(context().applicationFont()));

    Button* type = makeButton("calTypeButton");
    Button* reset = makeButton("resetBeforeButton");
    Button* exit = makeButton("exitButton");
    setButtons(type, reset, exit);
    m_typeButton->setCaption(context().text(msg::FourPoint));
    m_resetButton->setCaption(context().text(msg::ResetBefore));
    m_exitButton->setCaption(context().text(msg::Exit));
    connect(m_typeButton, &Button::clicked, this, &TovrinUser::CalTypeSlot);
    connect(m_resetButton, &Button::clicked, this, &TovrinUser::ResetSlot);
    connect(m_exitButton, &Button::clicked, this, &TovrinUser::ReturnSlot);
    for (calib::CalibrationThread* t : {static_cast<calib::CalibrationThread*>(m_thread16.get()),
                                        static_cast<calib::CalibrationThread*>(m_thread4.get())})
        connect(t, &calib::CalibrationThread::sendData, this, &TovrinUser::recvData, Qt::QueuedConnection);

    // It covers the screen the frame is on.
    const QScreen* screen = widgets::frameScreen();
    setGeometry(screen ? screen->geometry() : QRect(0, 0, 1920, 1080));

    setButtonsEnabled(false);
    showStatus(msg::Initializing);

    m_detection.start(new GetDeviceConfigThreadUser(this), this, &TovrinUser::recvShowData);
    m_detection.watchArrivals(this);
}

Button* TovrinUser::makeButton(const char* objectName)
{
    Button* button = widgets::makeSkinButton(this, objectName, QStringLiteral("button_Normal.png"),
                                    QStringLiteral("button_Focus.png"), QStringLiteral("button_Press.png"),
                                    QStringLiteral("button_Enabled.png"));
    button->setCaptionMode(Button::CaptionCentred);
    button->setCaptionFont(widgets::toQFont(context().buttonFont()));
    button->setStyleSheet(kCaptionStyle);
    button->installEventFilter(this);
    return button;
}

void TovrinUser::placeWidgets()
{
    // The calibration's own layout: texts between the second and third row
    // of targets, buttons between the third and fourth.
    const calib::ui::CalibrationLayout l = calib::ui::calibrationLayout(size(), m_painter.pictureSize());
    const int w = width();
    const int h = height();
    const int bw = m_exitButton->width();
    const int bh = m_exitButton->height();
    const int gap = bw / 4;
    int x = l.buttons.x() - (3 * bw + 2 * gap) / 2;
    for (Button* b : m_focus.buttons) {
        b->move(x, l.buttons.y() - bh / 2);
        x += bw + gap;
    }
    // The quality page has a target of its own in the middle of the screen.
    m_statusLabel->setGeometry(m_quality->active() ? calib::ui::QualityPage::statusArea(size()) : l.status);
    const int margin = std::max(8, w / 60);
    m_versionLabel->setGeometry(w / 2, h - h / 8 - margin, w / 2 - margin, h / 8);
}

void TovrinUser::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeWidgets();
}

QString TovrinUser::statusText() const { return m_statusLabel->text(); }
QString TovrinUser::versionText() const { return m_versionLabel->text(); }
bool TovrinUser::isConnected() const { return m_connected && device::g_bDevExist.load() != 0; }

int TovrinUser::fourCalibration() const
{
    return FourCalib_en.load();
}

void TovrinUser::showStatus(int messageId, const QString& text)
{
    m_statusId = messageId;
    m_statusLabel->setText(text.isNull() ? device::statusMessageText(messageId) : text);
    Q_EMIT statusShown(messageId);
}

void TovrinUser::setButtonsEnabled(bool enabled)
{
    m_typeButton->setButtonEnabled(enabled);
    m_resetButton->setButtonEnabled(enabled && m_calibrating && runState().pointIndex.load() > 0);
    // The exit button stays usable: on a touch screen it is the only way out.
    m_exitButton->setButtonEnabled(true);
    m_focus.refresh();
}

// ---- Detection ------------------------------------------------------------

void TovrinUser::recvShowData(int code)
{
    if (m_detection.isClosed())
        return;
    switch (code) {
    case device::detection::kAppeared:
        showStatus(msg::Initializing);
        break;
    case device::detection::kApplicationOpened: {
        const int result = device::g_getStatusError.load();
        m_connected = result != device::kStatusNoLink;
        switch (result) {
        case device::kStatusReady:
        case device::kStatusHardwareFault:
        case device::kStatusNotCalibrated:
            m_offerRestore = result == device::kStatusNotCalibrated;
            startWithFrame();
            return;
        case device::kStatusNoLink:
            showStatus(msg::CommunicateFailed);
            break;
        case device::kStatusFirmwareNotReady:
            showStatus(msg::NotReady);
            break;
        case device::kStatusTimedOut:
            showStatus(msg::FirmwareMismatch);
            break;
        default:
            device::markSwitchFailure();
            showStatus(msg::EquipmentAnomalies);
            break;
        }
        setButtonsEnabled(false);
        break;
    }
    case device::detection::kBootLoaderOpened:
        // A boot loader takes no mode switch: there is nothing to hand back.
        m_connected = false;
        showStatus(msg::NotReady);
        setButtonsEnabled(false);
        break;
    case device::detection::kNoFrame:
        noFrame();
        break;
    default:
        break;
    }
}

void TovrinUser::noFrame()
{
    m_connected = false;
    device::g_bDevExist = 0;
    showStatus(msg::NotDetected);
    setButtonsEnabled(false);
    shell::WriteLog("Open hid device failed!\n");
}

void TovrinUser::startCalibrationRun()
{
    // The run first sends the stored start lines and image settings to the
    // frame (the environment configuration).
    calib::g_CalibEnvironment = 1;
    m_finished = false;
    m_handedBack = false;
    startRunOfMode();
}

void TovrinUser::startRunOfMode()
{
    const bool four = FourCalib_en.load() != 0;
    m_typeButton->setCaption(context().text(four ? msg::SixteenPoint : msg::FourPoint));
    m_saving = false;
    m_calibrating = true;
    calib::loadRunSettings();
    // The run calibrates this window's screen (it covers the desktop).
    runState().startRun(four ? 4 : 16, width(), height());
    for (calib::CalibrationThread* t : {static_cast<calib::CalibrationThread*>(m_thread16.get()),
                                        static_cast<calib::CalibrationThread*>(m_thread4.get())})
        t->setScreen(width(), height());
    if (four) {
        m_thread16->stopAndWait();
        m_thread4->startWork();
    } else {
        m_thread4->stopAndWait();
        m_thread16->startWork();
    }
    setButtonsEnabled(true);
    update();
}

void TovrinUser::recvData(int code)
{
    if (m_detection.isClosed() || !m_calibrating)
        return;
    if (!frameConnected()) {
        showStatus(msg::PulledOut);
        return;
    }
    switch (code) {
    case calib::code::PointReady:
        if (calib::g_CalDataInitSuc.load()) {
            if (const int prompt = calib::touchPromptMessage(runState()); prompt != m_statusId)
                showStatus(prompt);
        }
        setButtonsEnabled(!m_saving);
        update();
        break;
    case calib::code::InitFailed:
        showStatus(msg::InitFailed);
        shell::LogF("Calibration init failed! g_CalDataInitSuc=%d", calib::g_CalDataInitSuc.load());
        break;
    case calib::code::ProcessFailed:
        showStatus(device::g_bDevExist.load() ? msg::ProcessFailed : msg::CommunicateFailed);
        shell::LogF("Calibration Process failed! g_CalibrationProcessSuc=%d", calib::g_CalibrationProcessSuc.load());
        break;
    case calib::code::Progress:
        m_saving = true;
        showStatus(msg::Saving, context().text(msg::Saving).arg(runState().progress.load()));
        m_typeButton->setButtonEnabled(false);
        m_resetButton->setButtonEnabled(false);
        m_focus.refresh();
        update();
        break;
    case calib::code::Stored: {
        // The records are stored: the window shows how well, and offers the
        // short check and another calibration; the frame stays in
        // calibration mode until the window is left.
        const calib::RunReport report = FourCalib_en.load() ? m_thread4->report() : m_thread16->report();
        shell::LogF("Calibration points: %s\n", calib::residualText(report.accuracy).toUtf8().constData());
        m_saving = false;
        m_calibrating = false;
        m_finished = true;
        m_quality->begin(report, size());
        break;
    }
    case calib::code::Rejected:
        finishRun(msg::CalibrationInvalid);
        break;
    case calib::code::ModeSwitched:
        showStatus(msg::Initializing);
        startRunOfMode();
        break;
    default:
        break;
    }
}

void TovrinUser::finishRun(int messageId, const QString& text)
{
    // Back to the main page: no targets, the outcome in the status line, the
    // frame handed back; only the way out stays.
    m_calibrating = false;
    m_saving = false;
    m_finished = true;
    m_finishing = true;
    m_typeButton->setButtonEnabled(false);
    m_resetButton->setButtonEnabled(false);
    m_focus.show(3);
    update();
    stopRunsThen([this, messageId, text] {
        handFrameBack([this, messageId, text](bool handedBack) {
            m_finishing = false;
            // A frame that would not go back to work mode is what the page
            // says (message 142, shown by the hand-back): not a completed
            // calibration.
            if (handedBack)
                showStatus(messageId, text);
        });
    });
}

void TovrinUser::showQuality()
{
    if (!m_quality->active())
        return;
    placeWidgets();
    const bool checking = m_quality->checking();
    m_statusId = msg::Completed;
    m_statusLabel->setStyleSheet(m_quality->warning() ? QStringLiteral("color:rgb(255,0,0)") : kCaptionStyle);
    m_statusLabel->setText(checking ? context().text(msg::TouchTheCross) : m_quality->statusText());
    m_typeButton->setCaption(context().text(msg::Test));
    m_resetButton->setCaption(context().text(msg::Calibrate));
    m_typeButton->setButtonEnabled(!checking);
    m_resetButton->setButtonEnabled(!checking);
    if (m_quality->warning())
        m_focus.show(2);
    else
        m_focus.refresh();
    update();
}

void TovrinUser::calibrateAgain()
{
    m_quality->end();
    placeWidgets();
    m_finished = false;
    m_resetButton->setCaption(context().text(msg::ResetBefore));
    showStatus(msg::Initializing);
    startRunOfMode();
}

void TovrinUser::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_quality->active()) {
        QPainter p(this);
        m_quality->paint(p);
        return;
    }
    if (!m_calibrating)
        return;
    QPainter p(this);
    m_painter.paint(p, rect(), calib::ui::calibrationLayout(size(), m_painter.pictureSize()), false);
}

// ---- Buttons --------------------------------------------------------------

void TovrinUser::CalTypeSlot()
{
    if (m_exiting)
        return;
    if (m_quality->active()) {
        m_quality->startCheck();
        return;
    }
    if (m_finished || m_saving)
        return;
    FourCalib_en = FourCalib_en.load() ? 0 : 1;
    m_typeButton->setCaption(context().text(FourCalib_en.load() ? msg::SixteenPoint : msg::FourPoint));
    // A running worker notices and ends with code 6; a run that has not
    // started (or failed) starts in the new mode here.
    if (m_calibrating && !running()) {
        showStatus(msg::Initializing);
        startRunOfMode();
    }
}

void TovrinUser::ResetSlot()
{
    if (m_exiting)
        return;
    if (m_quality->active()) {
        if (!m_quality->checking())
            calibrateAgain();
        return;
    }
    if (m_calibrating && !m_saving)
        runState().takeBack();
    m_resetButton->setButtonEnabled(m_calibrating && !m_saving && runState().pointIndex.load() > 0);
    m_focus.refresh();
    update();
}

void TovrinUser::ReturnSlot() { close(); }

} // namespace tovrin::windows
