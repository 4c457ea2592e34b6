#include "TovrinUser.h"

#include "WindowSupport.h"

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>

namespace tovrin::windows {

using device::GetDeviceConfigThreadUser;
using shell::context;
using widgets::Button;

namespace {
namespace msg {
constexpr int Exit = 11;
constexpr int CommunicateFailed = 14;
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int Initializing = 65;
constexpr int ResetBefore = 66;
constexpr int SixteenPoint = 114;
constexpr int FourPoint = 115;
constexpr int FirmwareMismatch = 137;
constexpr int EquipmentAnomalies = 142;
} // namespace msg

const QString kCaptionStyle = QStringLiteral("color:rgb(0,38,102)");
const QString kVersionPrefix = QStringLiteral("Tovrin ") + kToolVersion;
} // namespace

TovrinUser::TovrinUser(QWidget* parent)
    : QDialog(parent)
{
    startLog();
    shell::CheckLanguage();

    setObjectName(QStringLiteral("TovrinUser"));
    setWindowTitle(QStringLiteral("Tovrin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(context().skinPath() + QStringLiteral("Tovrin.png")));
    setMouseTracking(true);
    // The calibration targets are drawn on a plain white screen.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setStyleSheet(QStringLiteral("color:rgb(255,0,0)"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setFont(widgets::toQFont(context().buttonFont()));

    m_versionLabel = new QLabel(kVersionPrefix, this);
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_versionLabel->setStyleSheet(QStringLiteral("color:rgb(150,150,150)"));
    m_versionLabel->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    m_versionLabel->setFont(widgets::toQFont(context().applicationFont()));

    m_calTypeButton = makeButton("calTypeButton");
    m_resetButton = makeButton("resetBeforeButton");
    m_exitButton = makeButton("exitButton");
    m_focus.buttons = {m_calTypeButton, m_resetButton, m_exitButton};
    m_calTypeButton->setCaption(context().text(msg::FourPoint));
    m_resetButton->setCaption(context().text(msg::ResetBefore));
    m_exitButton->setCaption(context().text(msg::Exit));
    connect(m_calTypeButton, &Button::clicked, this, &TovrinUser::CalTypeSlot);
    connect(m_resetButton, &Button::clicked, this, &TovrinUser::ResetSlot);
    connect(m_exitButton, &Button::clicked, this, &TovrinUser::ReturnSlot);

    const QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? screen->geometry() : QRect(0, 0, 1920, 1080));

    setButtonsEnabled(false);
    showStatus(msg::Initializing);

    m_detection.start(new GetDeviceConfigThreadUser(this), this, &TovrinUser::recvShowData);
    m_detection.watchArrivals(this);
}

Button* TovrinUser::makeButton(const char* objectName)
{
    Button* button = makeSkinButton(this, objectName, QStringLiteral("button_Normal.png"),
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
    const int w = width();
    const int h = height();
    const int bw = m_exitButton->width();
    const int bh = m_exitButton->height();
    const int gap = bw / 4;
    int x = (w - (3 * bw + 2 * gap)) / 2;
    const int y = h * 62 / 100;
    for (Button* b : m_focus.buttons) {
        b->move(x, y);
        x += bw + gap;
    }
    m_statusLabel->setGeometry(w / 10, y - bh * 4, w * 8 / 10, bh * 3);
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

void TovrinUser::showStatus(int messageId)
{
    m_statusId = messageId;
    m_statusLabel->setText(statusMessageText(messageId));
    Q_EMIT statusShown(messageId);
}

void TovrinUser::setButtonsEnabled(bool enabled)
{
    m_calTypeButton->setButtonEnabled(enabled);
    m_resetButton->setButtonEnabled(enabled && m_pointsBack > 0);
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
            markSwitchFailure();
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

void TovrinUser::startWithFrame()
{
    showStatus(msg::Initializing);
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Calibration);
    if (!outcome.ok) {
        shell::LogF("Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        if (outcome.deviceAbsent) {
            noFrame();
            return;
        }
        if (outcome.frameLost) {
            m_connected = false;
            showStatus(msg::CommunicateFailed);
            setButtonsEnabled(false);
            return;
        }
    }

    // The 16/4-point choice is kept in the Slave's screen record.
    records::ScreenRecord record;
    if (records::readScreenRecord(record) && record.isValid()) {
        m_screenRecord = record;
        m_fourCalib = record.FourCalib_en == 1 ? 1 : 0;
    } else {
        m_screenRecord.reset();
        m_fourCalib = 0;
    }

    if (records::readVersionRecord(records::UnitId::Slave))
        m_versionLabel->setText(kVersionPrefix + QStringLiteral("     ") + firmwareIdText(records::g_ImageVersion[1].load()));
    else
        m_versionLabel->setText(kVersionPrefix);

    startCalibrationRun();
}

void TovrinUser::startCalibrationRun()
{
    m_pointsBack = 0;
    m_calTypeButton->setCaption(context().text(m_fourCalib ? msg::SixteenPoint : msg::FourPoint));
    setButtonsEnabled(true);
    // The calibration threads (16-point and 4-point) are started here once
    // they exist; until then the frame waits in calibration mode and the
    // status keeps "Device initializing".
}

void TovrinUser::recvData(int code)
{
    // Codes of the calibration threads; they do not run yet.
    Q_UNUSED(code);
}

// ---- Buttons --------------------------------------------------------------

void TovrinUser::CalTypeSlot()
{
    m_fourCalib = m_fourCalib ? 0 : 1;
    m_calTypeButton->setCaption(context().text(m_fourCalib ? msg::SixteenPoint : msg::FourPoint));
}

void TovrinUser::ResetSlot()
{
    if (m_pointsBack > 0)
        --m_pointsBack;
    m_resetButton->setButtonEnabled(m_pointsBack > 0);
    m_focus.refresh();
}

void TovrinUser::ReturnSlot() { close(); }

void TovrinUser::closeEvent(QCloseEvent* event)
{
    if (!m_detection.isClosed())
        exitHandling();
    QDialog::closeEvent(event);
}

void TovrinUser::exitHandling()
{
    m_detection.close();

    if (isConnected()) {
        // Keep the chosen calibration mode for the next start. Only a record
        // that was read valid is rewritten: an erased or unreadable one
        // would be turned into a valid record of made-up settings.
        if (m_screenRecord && m_screenRecord->FourCalib_en != m_fourCalib) {
            records::ScreenRecord record = *m_screenRecord;
            record.flag = records::kScreenInfoFlag;
            record.FourCalib_en = static_cast<uint8_t>(m_fourCalib);
            if (records::eraseScreenRecord(records::UnitId::Slave))
                records::writeScreenRecord(records::UnitId::Slave, record);
        }
        if (!device::SwitchModeChecked(device::mode::Work).ok) {
            markSwitchFailure();
            showStatus(msg::EquipmentAnomalies);
            shell::LogF("Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        }
    }
    device::CloseHidDevice();
    endLog();
}

// ---- Keyboard and mouse ---------------------------------------------------

bool TovrinUser::event(QEvent* event)
{
    if (QKeyEvent* key = tabKeyPress(event)) {
        keyPressEvent(key);
        return true;
    }
    return QDialog::event(event);
}

void TovrinUser::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ReturnSlot();
        return;
    case Qt::Key_Backspace:
        ResetSlot();
        return;
    case Qt::Key_Tab:
        m_focus.next();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Away from the buttons the keys still press the last one under the look.
        m_focus.press(std::clamp(m_focus.place, 1, 3));
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool TovrinUser::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (const int place = m_focus.placeOf(watched)) {
            if (place != m_focus.place)
                m_focus.show(place);
            return event->type() == QEvent::MouseMove;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TovrinUser::mouseMoveEvent(QMouseEvent* event)
{
    // Away from the buttons no button keeps the focus look.
    for (Button* b : m_focus.buttons)
        b->setFocusLook(false);
    QDialog::mouseMoveEvent(event);
}

} // namespace tovrin::windows
