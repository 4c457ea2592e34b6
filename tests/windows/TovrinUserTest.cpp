// The end-user main window on the simulated frame: preparing a ready frame,
// refusing a frame that cannot be calibrated, a whole calibration in the
// window ending on its main page, and the exit handling that hands the frame
// back in work mode with the chosen calibration mode.

#include "WindowTestSupport.h"

#include "calibration/run/RunState.h"
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"
#include "shell/CommentIniWriter.h"
#include "sim/FaultPlan.h"
#include "sim/Fingers.h"
#include "widgets/Button.h"
#include "windows/TovrinUser.h"

#include <QDir>
#include <QtTest>

using tovrin::widgets::Button;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::TovrinUser;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;

namespace {

Button* button(TovrinUser& w, const char* name) { return w.findChild<Button*>(QString::fromLatin1(name)); }

// Byte 10 of the Slave's screen record: FourCalib_en.
uint8_t storedFourCalib(const sim::SimulatedFrame& frame)
{
    return frame.flashByte(sim::Unit::Slave, sim::kScreenRecordOffset + 10);
}

QSize screenSize(int screenClass) { return screenClass >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

constexpr int kRunTimeoutMs = 30000;
// What the frame takes for one request in the slow-frame tests: far above
// the longest pause of the event loop (kLongestPauseMs).
constexpr auto kSlowReport = std::chrono::milliseconds(300);

} // namespace

class TovrinUserTest : public WindowTest {
    Q_OBJECT
public:
    TovrinUserTest() : WindowTest(3) {}

private slots:
    void readyFramePreparedWhileTheWindowGoesOn();
    void frameNotReadyStartsNothing_data();
    void frameNotReadyStartsNothing();
    void exitNeverWaitsOnTheFrame();
    void unreadableScreenRecordStartsSixteenPointAndIsLeftAlone();
    void tabCyclesThreeButtons();
    void wholeCalibrationEndsOnTheMainPage_data();
    void wholeCalibrationEndsOnTheMainPage();
    void aFailedCheckOffersTheCalibrationAgain();
    void rejectedCalibrationKeepsThePriorData();
    void aRefusedHandBackIsNotOverwrittenByTheOutcome();
    void exitDuringTheSaveWaitsAndShowsWhatWasStored();
    void modeButtonRestartsTheRunInFourPoints();
    void anUnfinishedWriteIsRestoredBeforeTheRun();
};

void TovrinUserTest::readyFramePreparedWhileTheWindowGoesOn()
{
    // The frame found, the window switches it to calibration mode and reads
    // its screen record and firmware version: with a frame slow to answer it
    // goes on meanwhile.
    m_frame->setReportLatency(kSlowReport);
    tovrin::test::Heartbeat heartbeat;
    TovrinUser w;
    w.show();
    QVERIFY(QTest::qWaitFor([&] { return w.versionText().contains(QStringLiteral("FirmwareID")); }, kRunTimeoutMs));
    const qint64 pause = heartbeat.longestPauseMs();
    m_frame->setReportLatency(std::chrono::microseconds(0));
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(w.versionText(), QStringLiteral("Tovrin 3.1.30     FirmwareID: 1.2.5\n"));
    // The run starts at once: first "initializing", then the first target.
    QVERIFY(waitForStatus(w, 69));
    QCOMPARE(w.statusText(), QStringLiteral("Please touch the center of the cross on the screen to calibrate the system."));
    QVERIFY(w.sixteenPointThread().isRunning());
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    QVERIFY(button(w, "calTypeButton")->isButtonEnabled());
    QVERIFY(!button(w, "resetBeforeButton")->isButtonEnabled());  // no point taken yet
    QCOMPARE(button(w, "resetBeforeButton")->caption(), QStringLiteral("Reset Before"));
    QVERIFY(logText().contains(QStringLiteral("Open hid device success!PID:0x0055")));
    // The calibration type button switches between 16 and 4 points.
    QCOMPARE(w.fourCalibration(), 0);
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("4 point"));
    w.CalTypeSlot();
    QCOMPARE(w.fourCalibration(), 1);
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("16 point"));
    w.CalTypeSlot();
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("4 point"));
}

void TovrinUserTest::frameNotReadyStartsNothing_data()
{
    QTest::addColumn<int>("fault");  // 0: boot loader, 1: no frame, 2: broken link
    QTest::addColumn<int>("status");
    QTest::newRow("boot loader") << 0 << 16;
    QTest::newRow("no frame") << 1 << 17;
    QTest::newRow("device state 2 twice") << 2 << 14;  // asked again, then given up without a timeout
}

void TovrinUserTest::frameNotReadyStartsNothing()
{
    QFETCH(int, fault);
    QFETCH(int, status);
    if (fault == 0)
        m_frame->reenumerate(true);
    else if (fault == 1)
        m_frame->unplug();
    else
        m_frame->queueStatusAnswers({sim::StatusAnswer{2}, sim::StatusAnswer{2}});
    TovrinUser w;
    QVERIFY(waitForStatus(w, status));
    QVERIFY(!button(w, "calTypeButton")->isButtonEnabled());
    QVERIFY(!button(w, "resetBeforeButton")->isButtonEnabled());
    QVERIFY(button(w, "exitButton")->isButtonEnabled());  // the way out stays open
    QCOMPARE(w.versionText(), QStringLiteral("Tovrin 3.1.30"));
    if (fault != 1)
        return;
    // Without a frame the window logs the failure and waits for one.
    QVERIFY(logText().contains(QStringLiteral("Open hid device failed!\n")));
    m_frame->plug();
    QVERIFY(waitForFirmware(w));
    QVERIFY(button(w, "calTypeButton")->isButtonEnabled());
}

void TovrinUserTest::exitNeverWaitsOnTheFrame()
{
    // Exit (Escape) stops the run, keeps the chosen mode and switches the
    // frame back to work: with a frame slow to answer the window goes on
    // meanwhile.
    QCOMPARE(storedFourCalib(*m_frame), 0);
    TovrinUser w;
    w.show();
    QVERIFY(waitForStatus(w, 69));
    w.CalTypeSlot();
    QVERIFY(QTest::qWaitFor([&] { return w.fourPointThread().isRunning(); }, kDeviceTimeoutMs));
    const qint64 pause = pauseWhileSlow(*m_frame, kSlowReport, [&] { QTest::keyClick(&w, Qt::Key_Escape); },
                                        [&] { return !w.isVisible(); }, kRunTimeoutMs);
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(m_frame->mode(), sim::kModeWork);
    QCOMPARE(storedFourCalib(*m_frame), 1);
    QVERIFY(m_frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, 4)
            == (std::vector<uint8_t>{0x46, 0x49, 0x43, 0x41}));
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());  // the user tool does not ask
}

void TovrinUserTest::unreadableScreenRecordStartsSixteenPointAndIsLeftAlone()
{
    m_frame->eraseSector(sim::Unit::Slave, sim::kScreenRecordOffset);
    TovrinUser w;
    w.show();
    QVERIFY(waitForFirmware(w));
    QCOMPARE(w.fourCalibration(), 0);
    w.CalTypeSlot();
    w.ReturnSlot();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kDeviceTimeoutMs);
    // An erased record is not turned into a valid one of made-up settings.
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, 4), (std::vector<uint8_t>(4, 0xFF)));
    QCOMPARE(m_frame->mode(), sim::kModeWork);
}

void TovrinUserTest::tabCyclesThreeButtons()
{
    TovrinUser w;
    w.show();
    QVERIFY(waitForFirmware(w));
    Button* order[] = {button(w, "calTypeButton"), button(w, "resetBeforeButton"), button(w, "exitButton")};
    QCOMPARE(order[0]->currentLook(), Button::Look::Focus);
    QTest::keyClick(&w, Qt::Key_Tab);
    QCOMPARE(order[1]->currentLook(), Button::Look::Disabled);  // disabled keeps its look
    QTest::keyClick(&w, Qt::Key_Tab);
    QCOMPARE(order[2]->currentLook(), Button::Look::Focus);
    QCOMPARE(order[0]->currentLook(), Button::Look::Normal);
    QTest::keyClick(&w, Qt::Key_Tab);
    QCOMPARE(order[0]->currentLook(), Button::Look::Focus);
    // Return on the first button switches the calibration type.
    QTest::keyClick(&w, Qt::Key_Return);
    QCOMPARE(w.fourCalibration(), 1);
    // Return on the disabled "Reset Before" does nothing; Backspace neither
    // while no point can be taken back.
    QTest::keyClick(&w, Qt::Key_Tab);
    QTest::keyClick(&w, Qt::Key_Return);
    QTest::keyClick(&w, Qt::Key_Backspace);
    QVERIFY(!order[1]->isButtonEnabled());
    QVERIFY(w.isVisible());
}

void TovrinUserTest::wholeCalibrationEndsOnTheMainPage_data()
{
    addScreenRows("tovrinuser-calibration-%d");
}

void TovrinUserTest::wholeCalibrationEndsOnTheMainPage()
{
    QFETCH(int, screen);
    useScreen(screen);
    const QSize size = screenSize(screen);
    useFinger(*m_frame, size, true);
    m_frame->setReportLatency(std::chrono::microseconds(200));  // time to take a picture at a target
    TovrinUser w;
    w.resize(size);
    w.show();
    QVERIFY(waitForStatus(w, 69));
    QVERIFY(QTest::qWaitFor([] { return tovrin::calib::runState().pointIndex.load() >= 5; }, kRunTimeoutMs));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name);
    m_frame->setReportLatency(std::chrono::microseconds(0));

    QVERIFY(QTest::qWaitFor([&] { return w.calibrationFinished(); }, kRunTimeoutMs));
    QCOMPARE(w.statusMessageId(), 107);
    QVERIFY2(w.statusText().startsWith(QStringLiteral("Calibrate completed!\ncalibration points: mean ")),
             qPrintable(w.statusText()));
    QVERIFY(w.statusText().contains(QStringLiteral(" px")));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Master));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Slave));
    QVERIFY(w.isVisible());  // the outcome stays on the page, with its quality
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("Test"));
    QCOMPARE(button(w, "resetBeforeButton")->caption(), QStringLiteral("Calibrate"));
    QVERIFY(button(w, "exitButton")->isButtonEnabled());
    saveShot(w.grab().toImage(), name + QStringLiteral("-completed"));

    // The short check: the finger touches each check target; every touch
    // shows its error, the status line the check's figures.
    QTest::mouseClick(button(w, "calTypeButton"), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(QTest::qWaitFor([&] { return w.qualityPage().checked(); }, kRunTimeoutMs));
    QCOMPARE(static_cast<int>(w.qualityPage().checkReport().points.size()), 5);
    for (const auto& p : w.qualityPage().checkReport().points)
        QVERIFY(p.seen);
    QVERIFY2(w.statusText().contains(QStringLiteral("\ncheck: 5 touches, worst ")), qPrintable(w.statusText()));
    QCOMPARE(marksUnderWidgets(w), QStringList());
    saveShot(w.grab().toImage(), name + QStringLiteral("-check"));
    QVERIFY(logText().contains(QStringLiteral("Calibration quality: 16 calibration points, mean ")));
    QVERIFY(logText().contains(QStringLiteral("Calibration check: 5 touches, worst ")));

    QTest::keyClick(&w, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kDeviceTimeoutMs);
    QCOMPARE(m_frame->mode(), sim::kModeWork);  // handed back on the way out
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
}

void TovrinUserTest::aFailedCheckOffersTheCalibrationAgain()
{
    // A bound of one pixel no check passes: the status warns and the focus
    // look sits on "Calibrate"; pressing it starts a new run.
    QVERIFY(tovrin::shell::writeSetting(QStringLiteral("Tovrin_Config/CheckBound"), 1));
    useFinger(*m_frame, QSize(1920, 1080), true);
    TovrinUser w;
    w.resize(1920, 1080);
    w.show();
    QVERIFY(QTest::qWaitFor([&] { return w.calibrationFinished(); }, kRunTimeoutMs));
    w.CalTypeSlot();
    QVERIFY(QTest::qWaitFor([&] { return w.qualityPage().checked(); }, kRunTimeoutMs));
    QVERIFY(w.qualityPage().warning());
    QVERIFY2(w.statusText().startsWith(QStringLiteral("warning: Calibrate completed!")), qPrintable(w.statusText()));
    QVERIFY(w.statusText().endsWith(QStringLiteral("bound 1 px: failed")));
    QCOMPARE(button(w, "resetBeforeButton")->currentLook(), tovrin::widgets::Button::Look::Focus);
    saveShot(w.grab().toImage(), QStringLiteral("user-check-failed"));
    w.ResetSlot();
    QVERIFY(!w.qualityPage().active());
    QVERIFY(waitForStatus(w, 69));
    QCOMPARE(button(w, "resetBeforeButton")->caption(), QStringLiteral("Reset Before"));
}

void TovrinUserTest::rejectedCalibrationKeepsThePriorData()
{
    // The window covers only a quarter of the screen the frame sits on: the
    // result fails the acceptance test.
    useFinger(*m_frame, QSize(1920, 1080), true);
    const auto before = m_frame->readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset, 1354);
    TovrinUser w;
    w.resize(960, 540);
    w.show();
    QVERIFY(QTest::qWaitFor([&] { return w.calibrationFinished(); }, kRunTimeoutMs));
    QCOMPARE(w.statusMessageId(), 19);
    QCOMPARE(w.statusText(), QStringLiteral("The current calibration data is invalid, restored prior calibration data!"));
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset, 1354), before);
    QCOMPARE(m_frame->mode(), sim::kModeWork);
}

void TovrinUserTest::aRefusedHandBackIsNotOverwrittenByTheOutcome()
{
    useFinger(*m_frame, QSize(1920, 1080), true);
    TovrinUser w;
    w.resize(1920, 1080);
    w.show();
    QVERIFY(QTest::qWaitFor([&] { return w.calibrationFinished(); }, kRunTimeoutMs));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Slave));
    // Stored; then the frame will not go back to work. Leaving says so, and
    // the page stays until it is left again.
    m_frame->changeFaults([](sim::FaultPlan& f) { f.firmware.workMode = sim::WorkModeFault::Refuse; });
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(waitForStatus(w, 142));
    QTest::qWait(200);  // nothing that comes later paints over it
    QVERIFY(w.isVisible());
    QCOMPARE(w.statusMessageId(), 142);
    QVERIFY2(w.statusText().startsWith(QStringLiteral("Equipment anomalies. Error code: 0x")), qPrintable(w.statusText()));
    QVERIFY(logText().contains(QStringLiteral("Switch to work mode failed! g_isSwitchMode=")));
    QTest::keyClick(&w, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kDeviceTimeoutMs);
}

void TovrinUserTest::exitDuringTheSaveWaitsAndShowsWhatWasStored()
{
    useFinger(*m_frame, QSize(1920, 1080), true);
    TovrinUser w;
    w.resize(1920, 1080);
    w.show();
    QVERIFY(waitForStatus(w, 69));
    QVERIFY(QTest::qWaitFor([] { return tovrin::calib::runState().pointIndex.load() >= 16; }, kRunTimeoutMs));
    m_frame->setReportLatency(std::chrono::milliseconds(2));  // a save that takes a while
    QVERIFY(waitForStatus(w, 72));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());  // still saving
    QVERIFY(QTest::qWaitFor([&] { return w.calibrationFinished(); }, kRunTimeoutMs));
    m_frame->setReportLatency(std::chrono::milliseconds(0));
    QVERIFY(w.isVisible());
    QCOMPARE(w.statusMessageId(), 107);
    QVERIFY(logText().contains(QStringLiteral("Calibration: closing waits for the save to end")));
    QTest::keyClick(&w, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kDeviceTimeoutMs);
}

void TovrinUserTest::modeButtonRestartsTheRunInFourPoints()
{
    TovrinUser w;
    w.show();
    QVERIFY(waitForStatus(w, 69));
    QTest::mouseClick(button(w, "calTypeButton"), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(QTest::qWaitFor([&] { return w.fourPointThread().isRunning() && !w.sixteenPointThread().isRunning(); },
                            kDeviceTimeoutMs));
    QCOMPARE(tovrin::calib::runState().points.load(), 4);
    QCOMPARE(button(w, "calTypeButton")->caption(), QStringLiteral("16 point"));
}

void TovrinUserTest::anUnfinishedWriteIsRestoredBeforeTheRun()
{
    namespace records = tovrin::records;
    std::vector<uint8_t> before;
    cutOffSlaveSave(*m_frame, before);
    if (QTest::currentTestFailed())
        return;

    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    TovrinUser w;
    QVERIFY(waitForStatus(w, 69));  // the run starts after the restore
    QCOMPARE(MyMessageBox::shownBoxes().size(), 1);
    QCOMPARE(MyMessageBox::shownBoxes().first().labels, (QStringList{"Restore", "Keep"}));
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset, records::kCalInfoSize), before);
    QVERIFY(!records::journalHasOpenEntries());
}

QTEST_MAIN(TovrinUserTest)
#include "TovrinUserTest.moc"
