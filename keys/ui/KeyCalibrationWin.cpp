#include "keys/ui/KeyCalibrationWin.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/ui/KeyPainting.h"
#include "keys/ui/KeyWindowParts.h"
#include "keys/ui/FingerKeys.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/Button.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

#include <memory>

namespace tovrin::keys::ui {

using shell::context;
using widgets::Button;

namespace {
namespace msg {
constexpr int Shortcuts = 6;
constexpr int KeyTest = 7;
constexpr int Exit = 11;
constexpr int CommunicateFailed = 14;
constexpr int Initializing = 65;
constexpr int ResetBefore = 66;
constexpr int InitFailed = 70;
constexpr int ProcessFailed = 71;
constexpr int Saving = 72;
constexpr int ProjectionArea = 77;
constexpr int TouchTheKey = 79;
constexpr int TestInstruction = 80;
constexpr int ReadKeyFailed = 81;
constexpr int Testing = 82;
} // namespace msg
} // namespace

KeyCalibrationWin::KeyCalibrationWin(QWidget* parent, QSize size)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("KeyCalibrationWin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    resize(keyWindowSize(size));
    m_capturedMark = widgets::skinPixmap(QStringLiteral("keyCalibration/calibration.png"));

    m_statusLabel = makeKeyLabel(this, "statusLabel");
    m_testLabel = makeKeyLabel(this, "testLabel");
    m_resetButton = makeKeyButton(this, msg::ResetBefore, "resetButton");
    m_calibrateButton = makeKeyButton(this, msg::Shortcuts, "calibrateButton");
    m_testButton = makeKeyButton(this, msg::KeyTest, "testButton");
    m_exitButton = makeKeyButton(this, msg::Exit, "exitButton");
    connect(m_resetButton, &Button::clicked, this, &KeyCalibrationWin::ResetButSlot);
    connect(m_calibrateButton, &Button::clicked, this, &KeyCalibrationWin::CalibrationButSlot);
    connect(m_testButton, &Button::clicked, this, &KeyCalibrationWin::restartTest);
    connect(m_exitButton, &Button::clicked, this, &KeyCalibrationWin::ReturnButSlot);
    for (Button* b : {m_resetButton, m_calibrateButton, m_testButton, m_exitButton})
        b->installEventFilter(this);

    m_calibration = new KeyCalibrationThread(this);
    m_test = new KeyTestThread(this);
    connect(m_calibration, &KeyCalibrationThread::sendData, this, &KeyCalibrationWin::recvData, Qt::QueuedConnection);
    connect(m_test, &KeyTestThread::sendData, this, &KeyCalibrationWin::recvData, Qt::QueuedConnection);

    m_configuration = readKeyConfiguration();
    m_depiction = layOutKeys(m_configuration, width(), height());
    useButtons(Mode::Calibration);
    layOut();
    showStatus(msg::Initializing);
    QTimer::singleShot(0, this, &KeyCalibrationWin::CalibrationButSlot);
}

KeyCalibrationWin::~KeyCalibrationWin()
{
    m_calibration->stopAndWait();
    m_test->stopAndWait();
}

QString KeyCalibrationWin::statusText() const { return m_statusLabel->text(); }

PressedKey KeyCalibrationWin::shownKey() const
{
    if (m_mode != Mode::Test)
        return {};
    const PressedKey k = m_test->state().pressed();
    return m_depiction.key(k.edge, k.number) ? k : PressedKey{};
}

void KeyCalibrationWin::showStatus(int messageId, const QString& argument)
{
    m_statusId = messageId;
    m_statusArgument = argument;
    QString text = context().text(messageId);
    if (messageId == device::kEquipmentAnomaliesMessage)
        text = device::errorWordsText(text);
    m_statusLabel->setText(argument.isEmpty() ? text : text.arg(argument));
}

void KeyCalibrationWin::showTest(int messageId)
{
    m_testId = messageId;
    m_testLabel->setText(messageId < 0 ? QString() : context().text(messageId));
}

void KeyCalibrationWin::useButtons(Mode mode)
{
    const bool calibration = mode == Mode::Calibration;
    m_resetButton->setVisible(calibration);
    m_testButton->setVisible(!calibration);
    m_testLabel->setVisible(!calibration);
    // Tab moves between the mode's own two buttons.
    m_focus.buttons = calibration ? std::vector<Button*>{m_resetButton, m_calibrateButton}
                                  : std::vector<Button*>{m_testButton, m_calibrateButton};
    m_focus.show(0);
    for (Button* b : {m_resetButton, m_calibrateButton, m_testButton, m_exitButton})
        b->setFocusLook(false);
    refreshButtons();
    layOut();
}

void KeyCalibrationWin::refreshButtons()
{
    const int index = m_calibration->state().pointIndex.load();
    m_resetButton->setButtonEnabled(m_mode == Mode::Calibration && !m_saving && index > 0 &&
                                    index < static_cast<int>(m_depiction.targets.size()));
    m_calibrateButton->setButtonEnabled(!m_saving);
    m_focus.refresh();
}

void KeyCalibrationWin::layOut()
{
    if (!m_statusLabel)
        return;
    m_depiction = layOutKeys(m_configuration, width(), height());
    placeKeyLabels(m_depiction, m_statusLabel, m_testLabel);
    placeKeyButtons(this, {m_resetButton, m_testButton, m_calibrateButton, m_exitButton});
}

void KeyCalibrationWin::refuse(int messageId, const char* logLine)
{
    shell::WriteLog(logLine);
    showStatus(messageId);
    Q_EMIT sendShowData(6);
    update();
}

void KeyCalibrationWin::CalibrationButSlot()
{
    if (m_closing || m_saving || m_restarting)
        return;
    // A calibration under way starts again from its first target, a key
    // test ends first: the window goes on while the workers end (one may
    // wait for the frame's answer to a request) and starts once both have.
    if (!m_calibration->hasEnded() || !m_test->hasEnded()) {
        m_restarting = true;
        auto left = std::make_shared<int>(2);
        auto oneEnded = [this, left] {
            if (--*left > 0)
                return;
            m_restarting = false;
            CalibrationButSlot();
        };
        m_calibration->stopThen(this, oneEnded);
        m_test->stopThen(this, oneEnded);
        return;
    }
    m_mode = Mode::Calibration;
    Q_EMIT sendShowData(5);
    m_saving = false;
    m_calibration->state().startRun(0, width(), height());
    showTest(-1);
    useButtons(Mode::Calibration);

    // What to calibrate: a layout the record can hold, and codes the block can.
    m_configuration = readKeyConfiguration();
    layOut();
    const LayoutCheck check = checkConfiguration(m_configuration);
    if (check != LayoutCheck::Ok) {
        refuse(kNoKeyMessage, check == LayoutCheck::NoKeys ? "Key calibration: no shortcut key configured\n"
                              : check == LayoutCheck::OverCapacity
                                  ? "Key calibration: more keys on an edge than the record holds\n"
                                  : "Key calibration: the key groups in Tovrin.ini cannot be laid out\n");
        return;
    }
    const KeyCodes codes = readKeyCodes();
    if (!codes.ok) {
        shell::LogF("Key calibration: Tovrin_Key.ini: %s\n", codes.problem.toUtf8().constData());
        refuse(kNoKeyMessage, "Key calibration: the key codes cannot be stored\n");
        return;
    }
    printKeysForFinger(m_configuration);

    // The run puts the frame in calibration mode first (code 7 when it
    // does not take it).
    showStatus(msg::Initializing);
    m_calibration->prepare(m_depiction, width(), height(), codes);
    m_calibration->switchModeOnNextRun();
    m_calibration->startWork();
    update();
}

void KeyCalibrationWin::modeRefused()
{
    // Shown once the run has ended, with what the switch said.
    m_calibration->whenEnded(this, [this] {
        const std::optional<device::ModeSwitchOutcome> modeSwitch = m_calibration->modeRefusal();
        if (!modeSwitch || m_closing || m_restarting)
            return;
        shell::LogF("Key Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
        showStatus(modeSwitch->messageId >= 0 && !modeSwitch->frameLost ? modeSwitch->messageId
                                                                          : msg::CommunicateFailed);
    });
}

void KeyCalibrationWin::enterTestMode()
{
    m_mode = Mode::Test;
    m_saving = false;
    Q_EMIT sendShowData(6);
    useButtons(Mode::Test);
    showStatus(msg::TestInstruction);
    showTest(msg::Testing);
    m_test->state().edge = 0;
    m_test->state().number = 0;
    // The key test starts once the calibration's run (it sent its last
    // code) has ended, and puts the frame in work mode first: the frame
    // reports keys only there.
    m_test->switchModeOnNextRun();
    m_calibration->stopThen(this, [this] {
        if (m_closing || m_restarting || m_mode != Mode::Test || !m_test->hasEnded())
            return;
        m_test->startWork();
        update();
    });
    update();
}

void KeyCalibrationWin::restartTest()
{
    // Start the test afresh once the running one has ended: nothing lit
    // until the frame reports a key.
    if (m_mode != Mode::Test || m_closing || m_restarting)
        return;
    m_test->stopThen(this, [this] {
        if (m_mode != Mode::Test || m_closing || m_restarting || !m_test->hasEnded())
            return;
        m_test->state().edge = 0;
        m_test->state().number = 0;
        m_test->startWork();
        update();
    });
}

void KeyCalibrationWin::recvData(int code)
{
    // While the workers end for a new calibration their codes are stale.
    if (m_closing || m_restarting)
        return;
    if (code == keycode::kModeRefused) {
        modeRefused();
        return;
    }
    if (!frameConnected()) {
        showStatus(kDevicePulledOutMessage);
        update();
        return;
    }
    KeyRunState& run = m_calibration->state();
    switch (code) {
    case keycode::kTargetReady:
        if (m_mode == Mode::Calibration) {
            run.repaint = 0;
            if (calib::g_CalDataInitSuc.load() && !m_saving)
                showStatus(msg::TouchTheKey);
            refreshButtons();
        }
        update();
        break;
    case keycode::kInitFailed:
        shell::LogF("Calibration init failed! g_CalDataInitSuc=%d\n", calib::g_CalDataInitSuc.load());
        showStatus(msg::InitFailed);
        break;
    case keycode::kProcessFailed:
        shell::LogF("Calibration Process failed! g_CalibrationProcessSuc=%d", 0);
        m_saving = false;
        showStatus(msg::ProcessFailed);
        refreshButtons();
        update();
        break;
    case keycode::kProgress:
        m_saving = true;
        showStatus(msg::Saving, QString::number(run.progress.load()));
        refreshButtons();
        update();
        break;
    case keycode::kStored:
        enterTestMode();
        break;
    case testcode::kReadFailed:
        showTest(msg::ReadKeyFailed);
        break;
    case testcode::kTesting:
        showTest(msg::Testing);
        break;
    default:
        break;
    }
}

void KeyCalibrationWin::ResetButSlot()
{
    if (m_mode != Mode::Calibration || m_saving)
        return;
    m_calibration->state().takeBack();
    refreshButtons();
    update();
}

void KeyCalibrationWin::ReturnButSlot()
{
    if (m_closing)
        return;
    m_closing = true;
    const bool calibrating = m_mode == Mode::Calibration;
    // The window goes on while its workers end (a store under way runs to
    // its end, behind requests the frame may take seconds to answer) and
    // closes once both have.
    auto left = std::make_shared<int>(2);
    auto oneEnded = [this, left, calibrating] {
        if (--*left > 0)
            return;
        m_closed = true;
        Q_EMIT sendShowData(calibrating && frameConnected() ? 2 : 3);
        QDialog::done(QDialog::Rejected);
    };
    m_calibration->stopThen(this, oneEnded);
    m_test->stopThen(this, oneEnded);
}

void KeyCalibrationWin::done(int result)
{
    if (!m_closed) {
        ReturnButSlot();
        return;
    }
    QDialog::done(result);
}

void KeyCalibrationWin::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        event->ignore();
        ReturnButSlot();
        return;
    }
    QDialog::closeEvent(event);
}

void KeyCalibrationWin::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(m_statusLabel->font());
    KeyScene scene;
    scene.depiction = &m_depiction;
    scene.title = context().text(m_mode == Mode::Calibration ? msg::Shortcuts : msg::KeyTest);
    if (m_mode == Mode::Calibration) {
        scene.projectionText = context().text(msg::ProjectionArea);
        const KeyRunState& run = m_calibration->state();
        const int index = run.pointIndex.load();
        const int count = static_cast<int>(m_depiction.targets.size());
        for (int i = 0; i < std::min(index, count); ++i)
            scene.captured.push_back(m_depiction.targets[static_cast<size_t>(i)].depiction);
        scene.capturedMark = m_capturedMark;
        if (run.target.load() >= 0 && !m_saving && index >= 0 && index < count && !m_calibration->hasEnded())
            scene.target = m_depiction.targets[static_cast<size_t>(index)].depiction;
    } else {
        scene.pressed = shownKey();
    }
    paintKeyScene(painter, scene);
}

bool KeyCalibrationWin::event(QEvent* event)
{
    if (QKeyEvent* tab = widgets::tabKeyPress(event)) {
        keyPressEvent(tab);
        return true;
    }
    return QDialog::event(event);
}

void KeyCalibrationWin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ReturnButSlot();
        return;
    case Qt::Key_Backspace:
        ResetButSlot();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        m_focus.next();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_focus.press(m_focus.place);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

bool KeyCalibrationWin::eventFilter(QObject* watched, QEvent* event)
{
    // The pointer over a button of the mode gives it the focus look.
    if (event->type() == QEvent::MouseMove) {
        if (const int place = m_focus.placeOf(watched); place > 0 && place != m_focus.place)
            m_focus.show(place);
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<QPointF> KeyCalibrationWin::touchPoint(const QPointF& local) const
{
    return fingerKeyTouch(m_depiction, local);
}

void KeyCalibrationWin::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    layOut();
}

} // namespace tovrin::keys::ui
