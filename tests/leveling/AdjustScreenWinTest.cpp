// The leveling window on the simulated frame, offscreen: a whole leveling
// with exposure and the countdown save, the refusals, leaving, the keyboard,
// a failed save, a missing frame buffer, the image-debug panel; and the
// screenshots of its states at 1920 and 1024 (build/screenshots/).
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "leveling/core/FrameBuffers.h"
#include "leveling/core/LevelingState.h"
#include "leveling/ui/AdjustScreenWin.h"
#include "leveling/ui/ImageDebugPanel.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "sim/OpticalScene.h"
#include "sim/SceneItems.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/WireRecord.h"
#include "tests/windows/WindowTestSupport.h"
#include "widgets/MyMessageBox.h"
#include "widgets/MySlider.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"
#include "tests/support/Heartbeat.h"

#include <QCheckBox>
#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace tovrin;
using namespace tovrin::leveling;
using widgets::MyMessageBox;
using tovrin::test::Heartbeat;
using windows::test::useScreen;

namespace {

constexpr int kLimitMs = 30000;  // only guards a broken run

void writeIni(const QString& text)
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), text.toUtf8()));
}

QSize screenOf(int screenClass) { return screenClass >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

} // namespace

class AdjustScreenWinTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void levelsExposesAndSavesByCountdown();
    void refusedStartLineStaysOpenWithRedMark();
    void escapeLeavesWithoutSaving();
    void escapeWithoutFrameReportsDeviceLost();
    void tabTenTimesComesBack();
    void stepButtonAtTheWindowEndDoesNothing();
    void failedSaveIsNotLevelingCompleted();
    void missingFrameBufferIsShown();
    void unplugShowsPulledOut();
    void sensorTestWarnsAndGoesOn();
    void debugPanelServesRequests();
    void readjustDuringExposureExposesTheNewLine();
    void readjustThenAFailedExposureOffersReadjusting();
    void startLineChangeAfterExposureRefusesSave();
    void silentFrameNeverFreezesTheWindow();
    void readjustAfterAFailedSearchSearchesAgain();
    void slowLinkStartLineChangeIsServed();
    void unservedStartLineChangeShowsTheFramesLineAgain();
    void screenshots_data();
    void screenshots();

private:
    void newFrame(const char* faults = nullptr, bool extended = false);
    AdjustScreenWin* open(int screenClass = 1920);
    bool waitText(AdjustScreenWin* w, int messageId);
    int outcome();

    std::unique_ptr<windows::test::AppFolder> m_folder;
    std::shared_ptr<sim::SimulatedFrame> m_frame;
    std::unique_ptr<AdjustScreenWin> m_window;
    std::unique_ptr<QSignalSpy> m_outcome;  // of the window open(), sendShowData
};

void AdjustScreenWinTest::initTestCase()
{
    m_folder = std::make_unique<windows::test::AppFolder>();
    QVERIFY2(m_folder->isValid(), "the generated skin is missing");
    setSleeper([](int ms) { QThread::msleep(static_cast<unsigned long>(std::max(1, ms / 50))); });
    AdjustScreenWin::setPauseScale(0.02);
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
}

void AdjustScreenWinTest::newFrame(const char* faults, bool extended)
{
    m_frame = std::make_shared<sim::SimulatedFrame>();
    m_frame->setExtendedFrame(extended);
    sim::writeFactoryContents(*m_frame);
    if (faults)
        QVERIFY(sim::applySceneFault(*m_frame, faults));
    // A little time per report keeps the workers from spinning.
    m_frame->setReportLatency(std::chrono::microseconds(20));
    device::setTransport(sim::makeSimTransport(m_frame));
    QVERIFY(tovrin::test::openFrameLink());
    device::ExtendedFrameDevice = extended ? 1 : 0;
}

void AdjustScreenWinTest::init()
{
    QFile::remove(QStringLiteral("Tovrin.ini"));
    useScreen(1920);
    resetLevelingState();
    MyMessageBox::clearShownBoxes();
    newFrame();
}

void AdjustScreenWinTest::cleanup()
{
    m_outcome.reset();
    m_window.reset();
    device::setTransport(nullptr);
    m_frame.reset();
}

AdjustScreenWin* AdjustScreenWinTest::open(int screenClass)
{
    m_window = std::make_unique<AdjustScreenWin>();
    m_window->setWindowState(Qt::WindowNoState);
    m_window->resize(screenOf(screenClass));
    m_window->show();
    m_outcome = std::make_unique<QSignalSpy>(m_window.get(), &AdjustScreenWin::sendShowData);
    return m_window.get();
}

// Waits for the window's one outcome: 1 saved, 2 left, 3 the frame lost (-1: none came).
int AdjustScreenWinTest::outcome()
{
    return QTest::qWaitFor([&] { return m_outcome->count() == 1; }, kLimitMs) ? m_outcome->first().first().toInt() : -1;
}

bool AdjustScreenWinTest::waitText(AdjustScreenWin* w, int messageId)
{
    const QString text = shell::context().text(messageId);
    const QString head = text.left(text.indexOf(QLatin1Char('%')) < 0 ? text.size() : text.indexOf(QLatin1Char('%')));
    return QTest::qWaitFor([&] { return w->leftText().startsWith(head) && w->rightText().startsWith(head); }, kLimitMs);
}

void AdjustScreenWinTest::levelsExposesAndSavesByCountdown()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n[os_check]\nTouchType=1\n"));
    AdjustScreenWin* w = open();
    QVERIFY(waitText(w, 55));  // both exposures complete
    QVERIFY(QTest::qWaitFor([&] { return w->countdownRunning(); }, kLimitMs));
    QVERIFY(w->saveCaption().startsWith(QStringLiteral("Save&Exit(")));
    QCOMPARE(outcome(), 1);
    QVERIFY(!w->levelingThreadRunning());
    const auto slave = m_frame->readFlash(sim::Unit::Slave, 0x18000, 26);
    QCOMPARE(int(slave[16]), 1);  // the INI's touch type was stored
    QCOMPARE(g_StartLineM.load(), 236);
}

void AdjustScreenWinTest::refusedStartLineStaysOpenWithRedMark()
{
    sim::applySceneItems(*m_frame, "master.row=300");
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    AdjustScreenWin* w = open();
    QVERIFY(waitText(w, 55));
    // The countdown's Save&Exit refuses the Master's line 300.
    QVERIFY(QTest::qWaitFor([&] { return w->leftText() == shell::context().text(83); }, kLimitMs));
    QVERIFY(w->rightText() != shell::context().text(83));
    QCOMPARE(g_ExposureMarkM.load(), 1);
    QCOMPARE(g_ExposureMarkS.load(), 0);
    QCOMPARE(m_outcome->count(), 0);
    QVERIFY(w->isVisible());
    QVERIFY(w->saveEnabled());
    QTest::qWait(60);
    tovrin::test::saveShot(w->grab().toImage(), QStringLiteral("leveling-refused-1920"));
}

void AdjustScreenWinTest::escapeLeavesWithoutSaving()
{
    const auto before = m_frame->readFlash(sim::Unit::Slave, 0x18000, 4096);
    AdjustScreenWin* w = open();
    QTest::keyClick(w, Qt::Key_Escape);
    QCOMPARE(outcome(), 2);
    QVERIFY(!w->levelingThreadRunning());
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, 0x18000, 4096), before);
}

void AdjustScreenWinTest::escapeWithoutFrameReportsDeviceLost()
{
    AdjustScreenWin* w = open();
    device::g_bDevExist = 0;
    QTest::keyClick(w, Qt::Key_Escape);
    QCOMPARE(outcome(), 3);
}

void AdjustScreenWinTest::tabTenTimesComesBack()
{
    AdjustScreenWin* w = open();
    const int start = w->focusIndex();
    QList<int> seen;
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(w, Qt::Key_Tab);
        seen << w->focusIndex();
    }
    QCOMPARE(w->focusIndex(), start);
    QCOMPARE(seen.first(), start % 10 + 1);
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

void AdjustScreenWinTest::stepButtonAtTheWindowEndDoesNothing()
{
    AdjustScreenWin* w = open();  // preview only: the stored leveling
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    {
        const QSignalBlocker block(w->leftSlider());
        w->leftSlider()->setValue(g_SearchUpper.load());
    }
    g_StartLineM = 300;
    w->LeftAddSlot();
    QCOMPARE(g_StartLineM.load(), 300);
    QCOMPARE(g_StartLineChangeRequest.load(), 0);
    QVERIFY(w->controlsEnabled());
}

void AdjustScreenWinTest::failedSaveIsNotLevelingCompleted()
{
    AdjustScreenWin* w = open();  // preview only: Save&Exit takes the stored leveling
    QVERIFY(QTest::qWaitFor([&] { return w->saveEnabled(); }, kLimitMs));
    const auto master = m_frame->readFlash(sim::Unit::Master, 0x18000, 4096);
    const auto slave = m_frame->readFlash(sim::Unit::Slave, 0x18000, 4096);
    m_frame->answerNextWithStatus(0xFF, 1, 9);  // the Master screen record's write
    w->ReturnSlot();
    QCOMPARE(outcome(), 2);
    const auto boxes = MyMessageBox::shownBoxes();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.last().message, shell::context().text(118));
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x18000, 4096), master);
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, 0x18000, 4096), slave);
}

void AdjustScreenWinTest::missingFrameBufferIsShown()
{
    FrameBuffers::failNextOpen();
    AdjustScreenWin* w = open();
    QVERIFY(!w->framesAvailable());
    QCOMPARE(w->leftText(), shell::context().text(63));
    QTest::qWait(50);
    QVERIFY(!w->levelingThreadRunning());
    QCOMPARE(m_frame->commandsSeen(0), uint64_t{0});
    QVERIFY(!w->controlsEnabled());
}

void AdjustScreenWinTest::unplugShowsPulledOut()
{
    AdjustScreenWin* w = open();
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    m_frame->unplug();
    QVERIFY(waitText(w, 61));
    QVERIFY(!w->controlsEnabled());
    QVERIFY(!w->saveEnabled());
    w->ReturnSlot();
    QCOMPARE(outcome(), 3);
}

void AdjustScreenWinTest::sensorTestWarnsAndGoesOn()
{
    newFrame("broken-bit=master:2");
    writeIni(QStringLiteral("[Tovrin_Config]\nTestSensor=1\n"));
    AdjustScreenWin* w = open();
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    const auto boxes = MyMessageBox::shownBoxes();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.first().message, QStringLiteral("The left sensor (2 bit) data cable connection anomaly!"));
    QCOMPARE(boxes.first().title, shell::context().text(117));
}

void AdjustScreenWinTest::debugPanelServesRequests()
{
    newFrame(nullptr, true);
    writeIni(QStringLiteral("[Tovrin_Debug]\nAdjustDebug=1\n"));
    AdjustScreenWin* w = open();
    QVERIFY(w->hasDebugPanel());
    QCOMPARE(w->config().lineNum, 11);
    QVERIFY(QTest::qWaitFor([&] { return g_FrameReady.load() == 0 && w->controlsEnabled(); }, kLimitMs));
    m_frame->eraseSector(sim::Unit::Master, 0x1A000);  // a unit without its settings record
    w->FlashReadButSlot();
    QVERIFY(QTest::qWaitFor([&] { return !MyMessageBox::shownBoxes().isEmpty(); }, kLimitMs));
    QCOMPARE(MyMessageBox::shownBoxes().last().message, QStringLiteral("No Valid Test Para!"));
    QCOMPARE(debugRequest(kFlashRead).load(), 0);
    m_frame->setFpgaRegister(sim::Unit::Master, 0x35, 0x00);
    w->debugPanel()->whiteZone->setChecked(true);
    w->UpdateBKButSlot();
    QVERIFY(QTest::qWaitFor([&] { return m_frame->fpgaRegister(sim::Unit::Master, 0x35) == 0x40; }, kLimitMs));
    // Close Preview stops the thread; unchecking starts it again.
    w->debugPanel()->closePreview->setChecked(true);
    w->ClosePreviewSlot();
    QVERIFY(QTest::qWaitFor([&] { return !w->levelingThreadRunning(); }, kLimitMs));
    w->debugPanel()->closePreview->setChecked(false);
    w->ClosePreviewSlot();
    QVERIFY(w->levelingThreadRunning());
}

// ---- Start-line changes, exposure and a frame that stops answering ---------------------

namespace {

// Position of the last n in v (-1 when none); of the first n after `from`.
int lastOf(const std::vector<int>& v, int n)
{
    const auto it = std::find(v.rbegin(), v.rend(), n);
    return it == v.rend() ? -1 : static_cast<int>(v.rend() - it) - 1;
}
int firstAfter(const std::vector<int>& v, int from, int n)
{
    const auto it = std::find(v.begin() + std::max(0, from + 1), v.end(), n);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

} // namespace

// Space while the exposure of the first leveling is on its way: that
// exposure does not complete the new search; the lines found again are
// exposed before the countdown saves them.
void AdjustScreenWinTest::readjustDuringExposureExposesTheNewLine()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    const tovrin::test::WireRecord log(*m_frame);
    AdjustScreenWin* w = open();
    QVERIFY(waitText(w, 54));
    QTest::keyClick(w, Qt::Key_Space);
    QCOMPARE(g_ExposureDone.load(), 0);
    QVERIFY(!w->countdownRunning());
    QCOMPARE(outcome(), 1);
    std::vector<int> seen;
    for (const tovrin::test::WireCommand& c : log.commands())
        seen.push_back(c.number());
    const int search = lastOf(seen, 36);       // the Slave's SearchLine of the search Space started
    QVERIFY(std::count(seen.begin(), seen.end(), 36) >= 2);
    const int master = firstAfter(seen, search, 42);  // ReadExposure, Master then Slave
    const int slave = firstAfter(seen, master, 43);
    const int save = firstAfter(seen, search, 32);    // the Slave screen record's erase
    QVERIFY2(master > search && slave > master, "the new lines were exposed");
    QVERIFY2(save > slave, "and saved only then");
}

// The same, but the new lines' exposure fails: the window says so and
// offers Re-adjusting again; nothing is saved.
void AdjustScreenWinTest::readjustThenAFailedExposureOffersReadjusting()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    AdjustScreenWin* w = open();
    QVERIFY(waitText(w, 54));
    QVERIFY(sim::applySceneFault(*m_frame, "fail-exposure"));
    QTest::keyClick(w, Qt::Key_Space);
    QVERIFY2(waitText(w, 56), qPrintable(w->leftText() + QStringLiteral(" | ") + w->rightText() + QStringLiteral(" | ") + QString::number(m_outcome->count())));
    QVERIFY(QTest::qWaitFor([&] { return w->readjustEnabled(); }, kLimitMs));
    QCOMPARE(g_ExposureDone.load(), 0);
    QVERIFY(!w->countdownRunning());
    QTest::qWait(50);
    QCOMPARE(m_outcome->count(), 0);
}

// The screenshot of the refusal: exposed, then a start line moved by a
// step: Save&Exit asks for exposure again.
void AdjustScreenWinTest::startLineChangeAfterExposureRefusesSave()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    AdjustScreenWin* w = open();
    QVERIFY(QTest::qWaitFor([&] { return w->countdownRunning(); }, kLimitMs));
    const int line = g_StartLineS.load();
    w->RightAddSlot();
    QVERIFY(!w->countdownRunning());
    QCOMPARE(g_ExposureDone.load(), 0);
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    QCOMPARE(int(m_frame->startLine(sim::Unit::Slave)), line + 1);
    w->ReturnSlot();
    QCOMPARE(w->leftText(), shell::context().text(64));
    QCOMPARE(w->rightText(), shell::context().text(64));
    QTest::qWait(60);
    QCOMPARE(m_outcome->count(), 0);
    QVERIFY(w->isVisible());
    tovrin::test::saveShot(w->grab().toImage(), QStringLiteral("leveling-refused-after-change-1920"));
}

// A frame that stops answering: the workers end only when their
// transaction's wait has run out, and the window keeps answering meanwhile;
// it says the frame no longer communicates (it is still plugged in).
void AdjustScreenWinTest::silentFrameNeverFreezesTheWindow()
{
    AdjustScreenWin* w = open();  // preview only: frames flow
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    m_frame->setRealTimeouts(true);
    m_frame->dropNextReplies(1 << 30);
    Heartbeat heartbeat;
    QTest::qWait(100);  // the leveling thread now waits for a reply that never comes
    w->ExposureButSlot();
    QVERIFY2(waitText(w, 14), qPrintable(w->leftText() + QStringLiteral(" | ") + QString::number(heartbeat.longestPauseMs())));
    QCOMPARE(device::g_isDeviceCommunicate.load(), 0);
    QVERIFY(!w->controlsEnabled());
    w->ExitSlot();
    QCOMPARE(outcome(), 3);
    QVERIFY2(heartbeat.longestPauseMs() < 200, qPrintable(QString::number(heartbeat.longestPauseMs())));
}

// The hint asks for Re-adjusting when line selection fails: it searches
// again, although the leveling thread ended with the failure.
void AdjustScreenWinTest::readjustAfterAFailedSearchSearchesAgain()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    const sim::SceneConfig straight = m_frame->scene();
    QVERIFY(sim::applySceneFault(*m_frame, "no-line=master"));
    AdjustScreenWin* w = open();
    QVERIFY(QTest::qWaitFor([&] { return w->leftText() == shell::context().text(58); }, kLimitMs));
    QVERIFY(QTest::qWaitFor([&] { return !w->levelingThreadRunning(); }, kLimitMs));
    QVERIFY(w->readjustEnabled());
    m_frame->setScene(straight);  // the operator adjusted the optics
    QTest::keyClick(w, Qt::Key_Space);
    QVERIFY(waitText(w, 55));
    QCOMPARE(g_StartLineM.load(), 236);
}

// A step button moves the start line. On a slow link a frame takes
// seconds: the change waits for the worker and reaches the frame; the
// window never shows a line the frame lacks. A Compress_en other than 1
// reads plain lines.
void AdjustScreenWinTest::slowLinkStartLineChangeIsServed()
{
    writeIni(QStringLiteral("[Tovrin_Config]\nCompress_en=2\n"));
    AdjustScreenWin* w = open();
    QVERIFY(!w->config().compress);
    QCOMPARE(g_CompressEnable.load(), 0);
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    m_frame->setReportLatency(std::chrono::microseconds(14000));
    const int line = g_StartLineS.load();
    w->RightAddSlot();
    QVERIFY(!w->controlsEnabled());
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    QCOMPARE(int(m_frame->startLine(sim::Unit::Slave)), line + 1);
    QCOMPARE(g_StartLineS.load(), line + 1);
    QVERIFY(w->rightText().contains(QString::number(line + 1)));
    QCOMPARE(g_PreviewOnly.load(), 0);
    QCOMPARE(g_ExposureDone.load(), 0);
    m_frame->setReportLatency(std::chrono::microseconds(20));
}

// The worker ends (the frame pulled out) while a change waits for it: the
// window goes back to the line the frame holds.
void AdjustScreenWinTest::unservedStartLineChangeShowsTheFramesLineAgain()
{
    AdjustScreenWin* w = open();
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    m_frame->setRealTimeouts(true);
    m_frame->dropRepliesTo(0);  // line data: the worker waits for a line that never comes
    QTest::qWait(100);
    const int line = g_StartLineS.load();
    w->RightAddSlot();
    QTest::qWait(50);
    QCOMPARE(g_StartLineChangeRequest.load(), 1);
    m_frame->unplug();
    QVERIFY(waitText(w, 61));
    QVERIFY(QTest::qWaitFor([&] { return g_StartLineChangeRequest.load() == 0; }, kLimitMs));
    QCOMPARE(g_StartLineS.load(), line);
    QCOMPARE(w->rightSlider()->value(), line);
}

// ---- Screenshots ------------------------------------------------------------------

void AdjustScreenWinTest::screenshots_data()
{
    tovrin::windows::test::addScreenRows("%d");
}

void AdjustScreenWinTest::screenshots()
{
    QFETCH(int, screen);
    useScreen(screen);
    const QString n = QString::number(screen);
    auto shot = [&](AdjustScreenWin* w, const char* state, bool settle = true) {
        if (settle)
            QTest::qWait(30);
        tovrin::test::saveShot(w->grab().toImage(), QStringLiteral("leveling-%1-%2").arg(QLatin1String(state), n));
    };

    // A fresh search with a dim Slave camera; then exposure, the red mark.
    sim::applySceneItems(*m_frame, "slave.reflect=38");
    writeIni(QStringLiteral("[Tovrin_Config]\nPreviewOnly_en=0\n"));
    AdjustScreenWin* w = open(screen);
    QCOMPARE(w->leftText(), shell::context().text(48));
    shot(w, "searching", false);
    QVERIFY(waitText(w, 54));
    shot(w, "exposing");
    QVERIFY(waitText(w, 55));
    QVERIFY(QTest::qWaitFor([&] { return g_FrameReady.load() == 0 && w->countdownRunning(); }, kLimitMs));
    QTest::qWait(60);
    QVERIFY(w->rightMarkedRed());
    shot(w, "exposed");
    m_window.reset();

    // The stored leveling: leveled, then the frame pulled out.
    resetLevelingState();
    newFrame();
    QFile::remove(QStringLiteral("Tovrin.ini"));
    w = open(screen);
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    QTest::qWait(80);
    shot(w, "leveled");
    m_frame->unplug();
    QVERIFY(waitText(w, 61));
    shot(w, "device-lost");
    m_window.reset();

    // The debug view of an extended-frame device.
    resetLevelingState();
    newFrame(nullptr, true);
    writeIni(QStringLiteral("[Tovrin_Debug]\nAdjustDebug=1\n"));
    w = open(screen);
    QVERIFY(QTest::qWaitFor([&] { return w->controlsEnabled(); }, kLimitMs));
    QTest::qWait(80);
    shot(w, "debug");
}

QTEST_MAIN(AdjustScreenWinTest)
#include "AdjustScreenWinTest.moc"
