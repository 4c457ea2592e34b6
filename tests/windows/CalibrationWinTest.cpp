// The calibration window on the simulated frame: the codes of its worker and
// their texts, the keys, the mode button, a whole run with the finger
// touching the targets by itself, the mouse as the finger under --simulate,
// closing with the chosen mode kept, the Calibrate entry of the engineering
// window, and pictures of it at a target, holding a touch and saving.

#include "WindowTestSupport.h"

#include "calibration/run/RunState.h"
#include "calibration/ui/CalibrationLauncher.h"
#include "calibration/ui/CalibrationWin.h"
#include "calibration/ui/MouseFinger.h"
#include "shell/Log.h"
#include "sim/FaultPlan.h"
#include "sim/Fingers.h"
#include "widgets/Button.h"
#include "tests/support/FrameLink.h"

#include <QApplication>
#include <QtTest>

#include <algorithm>
#include <memory>

using tovrin::calib::FourCalib_en;
using tovrin::calib::runState;
using tovrin::calib::ui::CalibrationWin;
using tovrin::widgets::Button;
using namespace tovrin::windows::test;
namespace calib = tovrin::calib;
namespace device = tovrin::device;
namespace sim = tovrin::sim;

namespace {

QSize screenSize(int screenClass) { return screenClass >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

Button* button(QWidget& w, const char* name) { return w.findChild<Button*>(QString::fromLatin1(name)); }

constexpr int kRunTimeoutMs = 30000;
// What the frame takes for one request while the window hands it back: far
// above the longest pause of the event loop (kLongestPauseMs).
constexpr auto kSlowReport = std::chrono::milliseconds(300);

} // namespace

class CalibrationWinTest : public WindowTest {
    Q_OBJECT
public:
    CalibrationWinTest() : WindowTest(1) {}

private:
    // The frame opened and in calibration mode, as the Calibrate entry leaves it.
    void openFrame(QSize screen = QSize(1920, 1080), bool autoTouch = false)
    {
        tovrin::shell::PrepareLogFolders();
        tovrin::shell::WriteLog("Tovrin log start!\n", true);
        useFinger(*m_frame, screen, autoTouch);
        QVERIFY(tovrin::test::openInCalibrationMode());
        FourCalib_en = 0;
    }

    // A shown window that deletes itself on closing, started; what it
    // reports to its opener goes to `shown`.
    CalibrationWin* startWindow(QList<int>& shown)
    {
        auto* w = new CalibrationWin(nullptr, QSize(1920, 1080));
        w->setAttribute(Qt::WA_DeleteOnClose);
        connect(w, &CalibrationWin::sendShowData, this, [&shown](int c) { shown << c; });
        w->show();
        w->start();
        return w;
    }

private slots:
    void codesShowTheirTexts();
    void aWholeRunShowsItsQualityThenClosesWithNineThenTwo();
    void backspaceAtPointZeroDoesNothingAndTheModeButtonRestartsInFourPoints();
    void aFramePulledOutShows61AndClosesWithThree();
    void twoFingersAreAskedToTouchWithOne();
    void aFingerThatStaysIsAskedToLift();
    void closingDuringTheSaveWaitsAndTellsWhatWasStored();
    void leavingNeverWaitsOnTheFrame_data();
    void leavingNeverWaitsOnTheFrame();
    void aStoredRunNotHandedBackIsNotCompleted_data();
    void aStoredRunNotHandedBackIsNotCompleted();
    void mousePressInSimulationCapturesAPoint_data();
    void mousePressInSimulationCapturesAPoint();
    void entryRefusesWithoutCommunication();
    void entryWritesAMissingScreenRecord();
};

void CalibrationWinTest::codesShowTheirTexts()
{
    openFrame();
    CalibrationWin w(nullptr, QSize(1920, 1080));
    QCOMPARE(w.statusMessageId(), 65);
    w.recvData(calib::code::InitFailed);
    QCOMPARE(w.statusMessageId(), 70);
    w.recvData(calib::code::ProcessFailed);
    QCOMPARE(w.statusMessageId(), 71);
    runState().progress = 60;
    w.recvData(calib::code::Progress);
    QCOMPARE(w.statusText(), QStringLiteral("Is save calibration information, please wait... 60%."));
    QVERIFY(!button(w, "calTypeButton")->isButtonEnabled());
    QVERIFY(!button(w, "resetBeforeButton")->isButtonEnabled());
    w.recvData(99);  // unknown codes change nothing
    QCOMPARE(w.statusMessageId(), 72);
    device::g_bDevExist = 0;
    w.recvData(calib::code::PointReady);
    QCOMPARE(w.statusText(), QStringLiteral("Device has been pulled out, please exit."));
}

void CalibrationWinTest::aWholeRunShowsItsQualityThenClosesWithNineThenTwo()
{
    openFrame(QSize(1920, 1080), true);
    QList<int> shown;
    CalibrationWin* w = startWindow(shown);
    QPointer<CalibrationWin> alive(w);
    // Stored: the window shows the quality; the opener hears of it when the
    // frame has been handed back.
    QVERIFY(QTest::qWaitFor([&] { return w->qualityPage().active(); }, kRunTimeoutMs));
    QVERIFY(shown.isEmpty());
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Master));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Slave));
    QVERIFY2(w->statusText().startsWith(QStringLiteral("Calibrate completed!\ncalibration points: mean ")),
             qPrintable(w->statusText()));
    QCOMPARE(button(*w, "calTypeButton")->caption(), QStringLiteral("Test"));
    QCOMPARE(button(*w, "resetBeforeButton")->caption(), QStringLiteral("Calibrate"));
    saveShot(w->grab().toImage(), QStringLiteral("calibration-quality"));

    // The short check, the finger touching each of its targets.
    QTest::mouseClick(button(*w, "calTypeButton"), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(QTest::qWaitFor([&] { return w->qualityPage().checked(); }, kRunTimeoutMs));
    const auto& check = w->qualityPage().checkReport();
    QCOMPARE(static_cast<int>(check.points.size()), 5);
    QVERIFY(check.passed());
    QVERIFY2(w->statusText().contains(QStringLiteral("\ncheck: 5 touches, worst ")), qPrintable(w->statusText()));
    QVERIFY(w->statusText().endsWith(QStringLiteral("bound 12 px: passed")));
    QCOMPARE(marksUnderWidgets(*w), QStringList());
    saveShot(w->grab().toImage(), QStringLiteral("calibration-check"));

    w->ReturnSlot();
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull(); }, kDeviceTimeoutMs));
    QCOMPARE(shown, (QList<int>{9, 2}));
    QVERIFY(logText().contains(QStringLiteral("CalInfo_L.SENSORInfoFlag=0x46574946")));
    QVERIFY(logText().contains(QStringLiteral("Calibration points: mean")));
    QVERIFY(logText().contains(QStringLiteral("Calibration quality: 16 calibration points, mean ")));
    QVERIFY(logText().contains(QStringLiteral("Calibration check: 5 touches, worst ")));
}

void CalibrationWinTest::backspaceAtPointZeroDoesNothingAndTheModeButtonRestartsInFourPoints()
{
    openFrame();
    CalibrationWin w(nullptr, QSize(1920, 1080));
    w.show();
    w.start();
    QVERIFY(waitForStatus(w, 69));
    QTest::keyClick(&w, Qt::Key_Backspace);
    QCOMPARE(runState().pointIndex.load(), 0);
    QVERIFY(!button(w, "resetBeforeButton")->isButtonEnabled());
    QVERIFY(button(w, "calTypeButton")->isButtonEnabled());
    QCOMPARE(w.statusText(), QStringLiteral("Please touch the center of the cross on the screen to calibrate the system."));
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("4 point"));
    QTest::mouseClick(button(w, "calTypeButton"), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(FourCalib_en.load(), 1);
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("16 point"));
    QVERIFY(QTest::qWaitFor([&] { return w.fourPointThread().isRunning() && !w.sixteenPointThread().isRunning(); },
                            kDeviceTimeoutMs));
    QCOMPARE(runState().points.load(), 4);
    QVERIFY(waitForStatus(w, 69));
}

void CalibrationWinTest::aFramePulledOutShows61AndClosesWithThree()
{
    openFrame();
    QList<int> shown;
    CalibrationWin* w = startWindow(shown);
    QVERIFY(waitForStatus(*w, 69));
    m_frame->unplug();
    QVERIFY(waitForStatus(*w, 61));
    w->ReturnSlot();
    QTRY_COMPARE_WITH_TIMEOUT(shown, QList<int>{3}, kDeviceTimeoutMs);
}

void CalibrationWinTest::twoFingersAreAskedToTouchWithOne()
{
    openFrame(QSize(1920, 1080), true);
    sim::FingerSettings s = m_frame->fingers().settings();
    s.secondFinger = true;
    m_frame->fingers().configure(s);
    CalibrationWin w(nullptr, QSize(1920, 1080));
    w.show();
    w.start();
    QVERIFY(waitForStatus(w, 152));
    QCOMPARE(w.statusText(), QStringLiteral("Please touch the center of the cross with one finger only."));
    QCOMPARE(runState().pointIndex.load(), 0);  // nothing taken
    saveShot(w.grab().toImage(), QStringLiteral("calibration-one-finger"));
    // One finger: the point is taken and the usual text is back.
    s.secondFinger = false;
    m_frame->fingers().configure(s);
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() >= 1; }, kRunTimeoutMs));
    QVERIFY(waitForStatus(w, 69));
}

void CalibrationWinTest::aFingerThatStaysIsAskedToLift()
{
    openFrame(QSize(1920, 1080), true);
    m_frame->changeFaults([](sim::FaultPlan& f) { f.fingers.stuck = true; });
    CalibrationWin w(nullptr, QSize(1920, 1080));
    w.show();
    w.start();
    QVERIFY(waitForStatus(w, 151));
    QCOMPARE(w.statusText(), QStringLiteral("Please lift your finger from the screen."));
    QCOMPARE(runState().pointIndex.load(), 1);
    saveShot(w.grab().toImage(), QStringLiteral("calibration-lift-finger"));
    m_frame->changeFaults([](sim::FaultPlan& f) { f.fingers.stuck = false; });
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() >= 2; }, kRunTimeoutMs));
}

void CalibrationWinTest::closingDuringTheSaveWaitsAndTellsWhatWasStored()
{
    openFrame(QSize(1920, 1080), true);
    QList<int> shown;
    CalibrationWin* w = startWindow(shown);
    QPointer<CalibrationWin> alive(w);
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() >= 16; }, kRunTimeoutMs));
    m_frame->setReportLatency(std::chrono::milliseconds(2));  // a save that takes a while
    QVERIFY(waitForStatus(*w, 72));
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(!alive.isNull());
    QVERIFY(w->isVisible());  // still saving
    QVERIFY(QTest::qWaitFor([&] { return w->qualityPage().active(); }, kRunTimeoutMs));  // stored
    m_frame->setReportLatency(std::chrono::milliseconds(0));
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull(); }, kRunTimeoutMs));
    QCOMPARE(shown, (QList<int>{9, 2}));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Master));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Slave));
    QVERIFY(logText().contains(QStringLiteral("Calibration: closing waits for the save to end")));
}

void CalibrationWinTest::leavingNeverWaitsOnTheFrame_data()
{
    QTest::addColumn<bool>("stored");
    QTest::newRow("stored") << true;
    QTest::newRow("during the run, the mode changed") << false;
}

void CalibrationWinTest::leavingNeverWaitsOnTheFrame()
{
    // Leaving (Escape) stops the run, keeps the chosen mode in the screen
    // record and, after a stored run, switches the frame back to work: with
    // a frame slow to answer the window goes on meanwhile and closes when it
    // is done.
    QFETCH(bool, stored);
    openFrame(QSize(1920, 1080), stored);
    QList<int> shown;
    CalibrationWin* w = startWindow(shown);
    QPointer<CalibrationWin> alive(w);
    if (stored) {
        QVERIFY(QTest::qWaitFor([&] { return w->qualityPage().active(); }, kRunTimeoutMs));
    } else {
        QVERIFY(waitForStatus(*w, 69));
        w->CalTypeSlot();
        QVERIFY(QTest::qWaitFor([&] { return w->fourPointThread().isRunning(); }, kDeviceTimeoutMs));
    }
    m_frame->setReportLatency(kSlowReport);
    auto heartbeat = std::make_unique<tovrin::test::Heartbeat>();
    QTest::keyClick(w, Qt::Key_Escape);
    qint64 pause = 0;
    if (stored) {
        QTest::qWait(150);  // the frame is being handed back
        pause = heartbeat->longestPauseMs();
        saveShot(w->grab().toImage(), QStringLiteral("calibration-handing-back"));
        heartbeat = std::make_unique<tovrin::test::Heartbeat>();  // the picture's time is the test's
    }
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull(); }, kRunTimeoutMs));
    pause = std::max(pause, heartbeat->longestPauseMs());
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY2(pause < kLongestPauseMs, qPrintable(QString::number(pause)));
    QCOMPARE(shown, stored ? (QList<int>{9, 2}) : QList<int>{2});
    QCOMPARE(m_frame->flashByte(sim::Unit::Slave, sim::kScreenRecordOffset + 10), stored ? 0 : 1);
    if (stored)
        QCOMPARE(m_frame->mode(), sim::kModeWork);
}

void CalibrationWinTest::aStoredRunNotHandedBackIsNotCompleted_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("messageId");
    QTest::newRow("screen record unreadable") << QStringLiteral("refuse=3@29") << 71;
    QTest::newRow("work mode refused") << QStringLiteral("refuse-work-mode") << 142;
}

void CalibrationWinTest::aStoredRunNotHandedBackIsNotCompleted()
{
    // The records are stored, then the frame will not take the screen record
    // back or go back to work: the window says so and stays until it is left
    // again; the opener never hears "completed" (9).
    QFETCH(QString, fault);
    QFETCH(int, messageId);
    openFrame(QSize(1920, 1080), true);
    QList<int> shown;
    CalibrationWin* w = startWindow(shown);
    QPointer<CalibrationWin> alive(w);
    QVERIFY(QTest::qWaitFor([&] { return w->qualityPage().active(); }, kRunTimeoutMs));
    m_frame->changeFaults([&](sim::FaultPlan& f) { QVERIFY(sim::parseFaultItem(f, fault.toStdString())); });
    w->ReturnSlot();
    QVERIFY(waitForStatus(*w, messageId));
    QTest::qWait(200);  // nothing that comes later paints over it
    QVERIFY(!alive.isNull() && w->isVisible());
    QCOMPARE(w->statusMessageId(), messageId);
    QVERIFY2(!w->statusText().contains(QStringLiteral("completed")), qPrintable(w->statusText()));
    QVERIFY(shown.isEmpty());
    w->ReturnSlot();
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull(); }, kDeviceTimeoutMs));
    QCOMPARE(shown, QList<int>{2});
}

void CalibrationWinTest::mousePressInSimulationCapturesAPoint_data()
{
    addScreenRows("calibration-%d");
}

void CalibrationWinTest::mousePressInSimulationCapturesAPoint()
{
    QFETCH(int, screen);
    useScreen(screen);
    const QSize size = screenSize(screen);
    openFrame(size);
    // The hook of --simulate: the mouse on the calibration surface is the finger.
    calib::ui::MouseFinger::Hands hands;
    auto frame = m_frame;
    hands.down = [frame](QPointF p) { frame->fingers().press(p.x(), p.y()); };
    hands.move = [frame](QPointF p) { frame->fingers().move(p.x(), p.y()); };
    hands.up = [frame] { frame->fingers().lift(); };
    calib::ui::MouseFinger hook(std::move(hands));
    qApp->installEventFilter(&hook);
    m_frame->setReportLatency(std::chrono::milliseconds(1));  // a hold takes a moment

    CalibrationWin w(nullptr, size);
    w.show();
    w.start();
    QVERIFY(waitForStatus(w, 69));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name + QStringLiteral("-target"));

    const QPoint first(size.width() / 16, size.height() / 32);
    QTest::mousePress(&w, Qt::LeftButton, {}, first);
    QVERIFY(QTest::qWaitFor([] { return runState().heldFrames.load() >= 15; }, kDeviceTimeoutMs));
    saveShot(w.grab().toImage(), name + QStringLiteral("-held"));
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() == 1; }, kDeviceTimeoutMs));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, first);
    QVERIFY(button(w, "resetBeforeButton")->isButtonEnabled() ||
            QTest::qWaitFor([&] { return button(w, "resetBeforeButton")->isButtonEnabled(); }, kDeviceTimeoutMs));
    // Pressing a button is no touch.
    QTest::mouseClick(button(w, "resetBeforeButton"), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!m_frame->fingers().position());
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() == 0; }, kDeviceTimeoutMs));
    qApp->removeEventFilter(&hook);

    // Saving, as the worker reports it.
    w.sixteenPointThread().stopAndWait();
    runState().pointIndex = 16;
    runState().target = -1;
    runState().progress = 60;
    w.recvData(calib::code::Progress);
    saveShot(w.grab().toImage(), name + QStringLiteral("-saving"));
    m_frame->setReportLatency(std::chrono::milliseconds(0));
}

void CalibrationWinTest::entryRefusesWithoutCommunication()
{
    device::g_isDeviceCommunicate = 0;
    QList<int> status;
    bool lost = false;
    calib::ui::CalibrationEntryHooks hooks;
    hooks.showStatus = [&](int id) { status << id; };
    hooks.deviceLost = [&] { lost = true; };
    QVERIFY(!calib::ui::prepareCalibration(nullptr, hooks));
    QCOMPARE(status, QList<int>{14});
    device::g_isDeviceCommunicate = 1;
    device::g_bDevExist = 0;
    QVERIFY(!calib::ui::prepareCalibration(nullptr, hooks));
    QVERIFY(lost);
}

void CalibrationWinTest::entryWritesAMissingScreenRecord()
{
    openFrame();
    QVERIFY(device::SwitchModeChecked(device::mode::Work).ok);
    m_frame->eraseSector(sim::Unit::Slave, sim::kScreenRecordOffset);
    m_frame->eraseSector(sim::Unit::Master, sim::kScreenRecordOffset);
    QList<int> status;
    calib::ui::CalibrationEntryHooks hooks;
    hooks.showStatus = [&](int id) { status << id; };
    CalibrationWin* w = calib::ui::prepareCalibration(nullptr, hooks);
    QVERIFY(w);
    QCOMPARE(status, QList<int>{15});
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave})
        QVERIFY(m_frame->readFlash(unit, sim::kScreenRecordOffset, 4) == (std::vector<uint8_t>{0x46, 0x49, 0x43, 0x41}));
    delete w;
}

QTEST_MAIN(CalibrationWinTest)
#include "CalibrationWinTest.moc"
