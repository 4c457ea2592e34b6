// The debug page of the engineering window (tool flavour 2) on the
// simulated frame: the Preview page with a stand-in for PreviewThread (its
// modes, red markers and the register request put off until a frame), the
// job launcher's rules around the other jobs, the entries other libraries
// plug in, the device test, and closing with workers running; a job that
// stops on a frame slow to answer never holds the window.

#include "WindowTestSupport.h"

#include "tests/support/Files.h"
#include "tests/support/WireRecord.h"

#include "maintenance/serviceui/DebugPageServices.h"
#include "maintenance/serviceui/FlashController.h"
#include "jobs/TaskWorker.h"
#include "windows/JobLauncher.h"
#include "windows/PreviewImage.h"
#include "windows/PreviewPage.h"
#include "windows/PreviewSource.h"
#include "windows/Tovrin.h"
#include "windows/TovrinDebugPage.h"
#include "windows/TovrinEntries.h"

#include <QPushButton>
#include <QCheckBox>
#include <QTextEdit>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <chrono>

using tovrin::test::Heartbeat;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;
namespace shell = tovrin::shell;
namespace windows = tovrin::windows;
using Id = windows::DebugPage::ButtonId;

namespace {

// Frames of a leveled camera: line 4 bright inside the window, the others dim.
class FakePreviewSource : public windows::PreviewSource {
public:
    explicit FakePreviewSource(QObject* parent) : PreviewSource(parent)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            // Requests go out in the gap before the next frame.
            if (!holdGaps)
                for (Request& r : std::exchange(m_gap, {})) {
                    r.job();
                    r.then();
                }
            Q_EMIT sendData(10);
        });
    }
    bool start() override
    {
        ++starts;
        m_timer.start();
        return true;
    }
    void stop() override
    {
        ++stops;
        m_timer.stop();
    }
    // Its frames come from a timer: it has stopped as soon as asked.
    void stopThen(QObject*, std::function<void()> whenEnded) override
    {
        stop();
        if (whenEnded)
            whenEnded();
    }
    bool isRunning() const override { return m_timer.isActive(); }
    void setCompressed(bool c) override { compressed = c; }
    bool betweenFrames(Request r) override
    {
        if (!isRunning())
            return false;
        m_gap.push_back(std::move(r));
        return true;
    }
    std::vector<Request> takeUnmade() override { return std::exchange(m_gap, {}); }
    size_t waiting() const { return m_gap.size(); }
    bool takeFrame(windows::PreviewFrame& f) override
    {
        f.lines = 9;
        f.master.assign(9 * 640, 20);
        for (int line = 0; line < 9; ++line)
            for (int c = 40; c <= 600; ++c)
                f.master[static_cast<size_t>(line * 640 + c)] = static_cast<uint8_t>(line == 4 ? 220 : 40 + line);
        f.slave = f.master;
        f.masterMarkers = {100, 500};
        f.slaveMarkers = {320};
        ++frames;
        return true;
    }
    int starts = 0;
    int stops = 0;
    int frames = 0;
    bool compressed = false;
    bool holdGaps = false;  // the requests wait

private:
    QTimer m_timer;
    std::vector<Request> m_gap;
};

FakePreviewSource* g_source = nullptr;

QPushButton* button(Tovrin& w, Id id) { return w.debugPage()->button(id); }

QString output(Tovrin& w) { return w.debugPage()->outputBox()->toPlainText(); }

// The time the frame takes for the request in flight: far above the longest
// pause of the event loop while a job stops (kLongestPauseMs).
constexpr auto kSlowReport = std::chrono::milliseconds(1500);

// Whatever worker talks to the frame now is left inside a request the frame
// takes about kSlowReport to answer; the requests after it are answered at
// once again.
void holdTheRequestInFlight(sim::SimulatedFrame& frame)
{
    frame.setReportLatency(kSlowReport);
    QTest::qWait(100);
    frame.setReportLatency(std::chrono::microseconds(0));
}

// An FPGA download of the debug page on a frame that answers each report
// after 200 us, caught while it runs.
bool startSlowDownload(Tovrin& w, sim::SimulatedFrame& frame)
{
    if (!tovrin::test::writeFile(QStringLiteral("slow.bin"), QByteArray(519 * 62, '\x3c')))
        return false;
    frame.setReportLatency(std::chrono::microseconds(200));
    w.debugPage()->fpgaPathEdit()->setText(QStringLiteral("slow.bin"));
    button(w, Id::Download)->click();
    return QTest::qWaitFor([&] { return output(w).contains(QStringLiteral("The FPGA script begins to burn!")); },
                           kDeviceTimeoutMs);
}

int boxesWithMessage(const QString& message)
{
    int n = 0;
    for (const MyMessageBox::Shown& b : MyMessageBox::shownBoxes())
        n += b.message == message;
    return n;
}

// Closes the window while a worker waits for the frame (the exit question
// answered yes): the window goes on meanwhile, asks once, and closes once
// the worker has ended, with the frame back in work mode.
void closeWithoutWaiting(Tovrin& w, sim::SimulatedFrame& frame)
{
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    Heartbeat heartbeat;
    w.close();
    QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, kDeviceTimeoutMs));
    QVERIFY2(heartbeat.longestPauseMs() < kLongestPauseMs, qPrintable(QString::number(heartbeat.longestPauseMs())));
    QCOMPARE(boxesWithMessage(shell::context().text(12)), 1);
    QCOMPARE(frame.mode(), sim::kModeWork);
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
}

} // namespace

class TovrinDebugPageTest : public WindowTest {
    Q_OBJECT
public:
    TovrinDebugPageTest() : WindowTest(2) {}

protected:
    void initOne() override
    {
        windows::overridePreviewSource([](QObject* parent) {
            auto source = std::make_unique<FakePreviewSource>(parent);
            g_source = source.get();
            return source;
        });
    }
    void cleanupOne() override
    {
        windows::overridePreviewSource({});
        for (int e = 0; e <= static_cast<int>(windows::Entry::DeviceInfo); ++e)
            windows::overrideEntry(static_cast<windows::Entry>(e), {});
        g_source = nullptr;
    }


private slots:
    void previewImageRowsMarkersAndMissingLines();
    void previewRunsBetweenCalibrationAndWorkMode();
    void registerRequestWaitsForTheNextFrame();
    void workerThatStopsItselfGivesTheButtonBack();
    void closingStopsWorkersAndReturnsToWork();
    void wiredEntryGoesThroughTheLauncher();
    void entryTextsAndTheWayBackToWork();
    void previewThreadShowsTheCameras();
    void anotherJobNeverWaitsForTheStoppingDownload();
    void clicksWhileAJobStopsRunTheLatestOnce();
    void closingNeverWaitsForTheStoppingDownload();
    void aPreviewOnASlowFrameNeverHoldsTheWindow();
    void closingDuringTheDeviceTestNeverWaits();
    void aWindowGoneBeforeTheStopEndsStartsNothing();
    void pageJobsSwitchModesWhileTheWindowGoesOn();
    void aTaskCountsAsRunningUntilItsThenHasRun();
};

void TovrinDebugPageTest::previewImageRowsMarkersAndMissingLines()
{
    std::vector<uint8_t> frame(9 * 640);
    for (int line = 0; line < 9; ++line)
        std::fill_n(frame.begin() + line * 640, 640, static_cast<uint8_t>(10 * line));
    frame[3 * 640 + 7] = 255;
    const std::vector<int> markers{5, 639, 700, -1};
    const QImage image = windows::renderPreviewImage(frame, 9, markers);
    QCOMPARE(image.size(), QSize(640, 72));
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(0, 23), qRgb(20, 20, 20));  // row 23 is line 2
    QCOMPARE(image.pixel(0, 24), qRgb(30, 30, 30));  // row 24 is line 3
    QCOMPARE(image.pixel(7, 31), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(7, 32), qRgb(40, 40, 40));
    QCOMPARE(image.pixel(5, 40), 0xFFFF0000u);
    QCOMPARE(image.pixel(639, 71), 0xFFFF0000u);
    // A frame of five lines leaves the rows of lines 5 to 8 black.
    const QImage five = windows::renderPreviewImage(std::span(frame).first(5 * 640), 5, {});
    QCOMPARE(five.pixel(0, 39), qRgb(40, 40, 40));
    QCOMPARE(five.pixel(0, 40), qRgb(0, 0, 0));
}

void TovrinDebugPageTest::previewRunsBetweenCalibrationAndWorkMode()
{
    Tovrin w;
    w.show();  // a frame is taken when the page paints
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(g_source);
    QPushButton* preview = button(w, Id::Preview);
    QVERIFY(preview->isEnabled());
    QCOMPARE(preview->text(), QStringLiteral("Preview"));
    w.debugPage()->compressBox()->click();
    QVERIFY(g_source->compressed);

    // The mode switches go out while the window goes on, however slowly
    // the frame answers; the worker starts once the frame is in calibration
    // mode.
    m_frame->setReportLatency(std::chrono::milliseconds(300));
    Heartbeat heartbeat;
    windows::PreviewPage* page = w.debugPage()->preview();
    QSignalSpy shown(page, &windows::PreviewPage::frameShown);
    preview->click();
    QCOMPARE(preview->text(), QStringLiteral("Close Preview"));
    QVERIFY(QTest::qWaitFor([] { return g_source->starts == 1; }, kDeviceTimeoutMs));
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    QCOMPARE(page->masterImage().pixel(300, 4 * 8), qRgb(220, 220, 220));
    QCOMPARE(page->masterImage().pixel(100, 0), 0xFFFF0000u);
    QCOMPARE(page->slaveImage().pixel(320, 71), 0xFFFF0000u);

    preview->click();
    QCOMPARE(preview->text(), QStringLiteral("Preview"));
    QCOMPARE(g_source->stops, 1);
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY2(heartbeat.longestPauseMs() < kLongestPauseMs, qPrintable(QString::number(heartbeat.longestPauseMs())));
}

void TovrinDebugPageTest::registerRequestWaitsForTheNextFrame()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    button(w, Id::Preview)->click();
    QVERIFY(QTest::qWaitFor([] { return g_source->isRunning(); }, kDeviceTimeoutMs));
    w.debugPage()->regAddrEdit()->setText(QStringLiteral("46"));
    w.debugPage()->regValueEdit()->setText(QStringLiteral("5a"));
    button(w, Id::Write)->click();
    QCOMPARE(g_source->waiting(), size_t{1});
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x00});  // not before the gap
    QVERIFY(QTest::qWaitFor([&] { return output(w).endsWith(QStringLiteral("Master: FPGAPortWrite Addr: 0x0046  value: 0x5a")); },
                            kDeviceTimeoutMs));
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x5A});
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);  // no mode switch for the request

    // A request still waiting when the preview stops goes out then, before
    // the frame returns to work mode.
    g_source->holdGaps = true;
    tovrin::test::WireRecord wire(*m_frame);
    w.debugPage()->regValueEdit()->setText(QStringLiteral("6b"));
    button(w, Id::Write)->click();
    button(w, Id::Preview)->click();
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));
    const auto commands = wire.withNumber({4, 14});
    QCOMPARE(commands.size(), size_t{2});
    QCOMPARE(commands[0].number(), 4);   // the register write of the Master
    QCOMPARE(commands[1].number(), 14);  // then work mode
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x6B});
    QVERIFY(output(w).endsWith(QStringLiteral("Master: FPGAPortWrite Addr: 0x0046  value: 0x6b")));
}

void TovrinDebugPageTest::workerThatStopsItselfGivesTheButtonBack()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    button(w, Id::Preview)->click();
    Q_EMIT g_source->sendData(11);
    QVERIFY(QTest::qWaitFor([&] { return !w.debugPage()->preview()->isRunning(); }, kDeviceTimeoutMs));
    QCOMPARE(button(w, Id::Preview)->text(), QStringLiteral("Preview"));
    QVERIFY(!g_source->isRunning());
}

void TovrinDebugPageTest::closingStopsWorkersAndReturnsToWork()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    button(w, Id::Preview)->click();
    QVERIFY(QTest::qWaitFor([] { return g_source->isRunning(); }, kDeviceTimeoutMs));
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    // The frame goes back to work behind the preview while the window goes
    // on, however slowly the frame answers.
    m_frame->setReportLatency(std::chrono::milliseconds(300));
    closeWithoutWaiting(w, *m_frame);
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(!g_source->isRunning());
}

void TovrinDebugPageTest::wiredEntryGoesThroughTheLauncher()
{
    int calls = 0;
    windows::overrideEntry(windows::Entry::Leveling, [&](windows::EntryContext& c) {
        ++calls;
        QVERIFY(c.jobs && c.debugPage && c.preview && c.window);
        // The leveling window switches to calibration mode and, when it is
        // done, reports code 1 ("Leveling completed!").
        QVERIFY(device::SwitchModeChecked(device::mode::Calibration).ok);
        c.recvShowData(1);
    });
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(button(w, Id::Leveling)->isEnabled());
    button(w, Id::Preview)->click();
    QVERIFY(QTest::qWaitFor([] { return g_source->isRunning(); }, kDeviceTimeoutMs));
    button(w, Id::Leveling)->click();
    QCOMPARE(calls, 1);
    QVERIFY2(!g_source->isRunning(), "the guard stops the preview first");
    QCOMPARE(w.statusMessageId(), 106);
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));

    m_frame->unplug();
    QVERIFY(waitForStatus(w, 17));
    w.AdjustScreenButSlot();
    QCOMPARE(calls, 1);
    QCOMPARE(w.statusMessageId(), 14);
}

void TovrinDebugPageTest::entryTextsAndTheWayBackToWork()
{
    // A flash tool shows a fixed text, then fails to bring the frame back to work.
    windows::overrideEntry(windows::Entry::EraseFlash, [](windows::EntryContext& c) {
        if (!c.jobs->guard({}))
            return;
        c.showStatusText(QStringLiteral("Erasing Flash ......"));
    });
    windows::overrideEntry(windows::Entry::DeviceInfo, [](windows::EntryContext& c) {
        QVERIFY(c.isConnected());
        c.markNotConnected();
    });
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    button(w, Id::EraseFlash)->click();
    QCOMPARE(w.statusText(), QStringLiteral("Erasing Flash ......"));
    QCOMPARE(w.statusMessageId(), -1);
    w.LanguageCBoxSlot(1);  // a fixed text is no message: it stays
    QCOMPARE(w.statusText(), QStringLiteral("Erasing Flash ......"));
    w.LanguageCBoxSlot(0);
    QVERIFY(button(w, Id::DeviceInfo)->isEnabled());
    button(w, Id::DeviceInfo)->click();
    QCOMPARE(w.statusMessageId(), 19);
    QVERIFY(!w.isConnected());
}

void TovrinDebugPageTest::previewThreadShowsTheCameras()
{
    windows::overridePreviewSource({});  // the real PreviewThread
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    windows::PreviewPage* page = w.debugPage()->preview();
    // The worker runs while the link counts as working, which the
    // detection's first watch of the frame confirms.
    QVERIFY(QTest::qWaitFor([] { return device::g_isDeviceCommunicate.load() == 1; }, kDeviceTimeoutMs));
    QSignalSpy shown(page, &windows::PreviewPage::frameShown);
    button(w, Id::Preview)->click();
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeCalibration; }, kDeviceTimeoutMs));
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    // The simulated cameras see a bright band inside their window, and the
    // zone positions are drawn in red.
    const QImage& master = page->masterImage();
    int bright = 0;
    int red = 0;
    for (int y = 0; y < master.height(); ++y) {
        for (int x = 0; x < master.width(); ++x) {
            const QRgb p = master.pixel(x, y);
            bright += qRed(p) > 150 && qRed(p) == qGreen(p);
            red += p == 0xFFFF0000u;
        }
    }
    QVERIFY(bright > 0);
    QVERIFY(red >= 72);
    saveShot(w.grab().toImage(), QStringLiteral("tovrin-flavour2-preview"));

    // Step Debug while the preview runs: the worker makes the request in the
    // gap between two frames, without mode switches.
    w.debugPage()->sensorBox()->setChecked(true);
    w.debugPage()->regAddrEdit()->setText(QStringLiteral("12"));
    m_frame->setSensorRegister(sim::Unit::Master, 0x12, 0x45);
    button(w, Id::Read)->click();
    QVERIFY(QTest::qWaitFor([&] { return output(w).endsWith(QStringLiteral("value: 0x45")); }, kDeviceTimeoutMs));
    QVERIFY(output(w).contains(QStringLiteral("Master: I2C_Read Addr: ")));
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    QVERIFY(page->isRunning());

    button(w, Id::Preview)->click();
    QVERIFY(!page->isRunning());
    // Back to work mode once the worker has ended.
    QTRY_COMPARE(m_frame->mode(), sim::kModeWork);

    // A frame that never answers the request holds the worker, never the
    // window (the frame then counts as gone, and the preview stops).
    button(w, Id::Preview)->click();
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    m_frame->changeFaults([](sim::FaultPlan& f) {
        f.link.dropCommands.set(8);  // the Master's sensor reads
        f.link.realTimeouts = true;
    });
    Heartbeat heartbeat;
    button(w, Id::Read)->click();
    QVERIFY(QTest::qWaitFor([&] { return output(w).endsWith(QStringLiteral("Master: I2C_Read error")); },
                            kDeviceTimeoutMs));
    QVERIFY2(heartbeat.longestPauseMs() < kLongestPauseMs, qPrintable(QString::number(heartbeat.longestPauseMs())));
    QTRY_VERIFY_WITH_TIMEOUT(!page->isRunning(), kDeviceTimeoutMs);
}

// Erase Flash while an FPGA download waits for the frame's answer: the
// window goes on at once, the download says it was stopped, and the erase
// runs once the download has ended. (Erasing the Master's first 128 KB takes
// its calibration record with it: the frame then refuses work mode.)
void TovrinDebugPageTest::anotherJobNeverWaitsForTheStoppingDownload()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(startSlowDownload(w, *m_frame));
    holdTheRequestInFlight(*m_frame);
    Heartbeat heartbeat;
    button(w, Id::EraseFlash)->click();
    QCOMPARE(w.statusText(), QStringLiteral("Erasing Flash ......"));
    QVERIFY(waitForStatus(w, 15));  // the erase's own end
    QVERIFY2(heartbeat.longestPauseMs() < kLongestPauseMs, qPrintable(QString::number(heartbeat.longestPauseMs())));
    QVERIFY(output(w).contains(QStringLiteral("FPGA download stopped before its end (another job was started)")));
    QVERIFY(!output(w).contains(QStringLiteral("Success!")));
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x11000, 4), std::vector<uint8_t>(4, 0xFF));
}

// Clicks made while a stopping job has not ended yet: the latest one runs,
// and only once.
void TovrinDebugPageTest::clicksWhileAJobStopsRunTheLatestOnce()
{
    constexpr int kEraseMaster = 13;
    const QString stopped = QStringLiteral("FPGA download stopped before its end (another job was started)");
    QVERIFY(tovrin::test::writeFile(QStringLiteral("id.ini"), "0 the FPGA's id\n1 srd 35\n"));
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    w.debugPage()->scriptPathEdit()->setText(QStringLiteral("id.ini"));

    // Run Script twice: the script runs once, after the download's end.
    QVERIFY(startSlowDownload(w, *m_frame));
    holdTheRequestInFlight(*m_frame);
    button(w, Id::RunScript)->click();
    button(w, Id::RunScript)->click();
    QVERIFY(QTest::qWaitFor([&] { return output(w).endsWith(QStringLiteral("Success!")); }, kDeviceTimeoutMs));
    QTest::qWait(200);
    QString text = output(w);
    QCOMPARE(text.count(QStringLiteral("FPGASingleRead Addr: 0x0035")), 1);
    QVERIFY(text.indexOf(stopped) < text.indexOf(QStringLiteral("FPGASingleRead")));
    QTRY_COMPARE(m_frame->mode(), sim::kModeWork);

    // Erase, then Versions: the versions, once, and no erase.
    w.debugPage()->outputBox()->clear();
    QVERIFY(startSlowDownload(w, *m_frame));
    holdTheRequestInFlight(*m_frame);
    const uint64_t erases = m_frame->commandsSeen(kEraseMaster);
    const int boxes = MyMessageBox::shownBoxes().size();
    button(w, Id::EraseFlash)->click();
    button(w, Id::Versions)->click();
    QVERIFY(QTest::qWaitFor([&] { return MyMessageBox::shownBoxes().size() > boxes; }, kDeviceTimeoutMs));
    QTest::qWait(200);
    QCOMPARE(MyMessageBox::shownBoxes().size(), boxes + 1);
    QCOMPARE(MyMessageBox::shownBoxes().last().title, shell::context().text(3));
    QCOMPARE(m_frame->commandsSeen(kEraseMaster), erases);
    QVERIFY(output(w).contains(stopped));
    QVERIFY(!output(w).contains(QStringLiteral("Erase Flash")));
    QCOMPARE(m_frame->mode(), sim::kModeWork);

    // A Step Debug read that Versions overtakes still shows its line.
    w.debugPage()->outputBox()->clear();
    m_frame->setFpgaRegister(sim::Unit::Master, 0x46, 0x77);
    w.debugPage()->regAddrEdit()->setText(QStringLiteral("46"));
    button(w, Id::Read)->click();
    holdTheRequestInFlight(*m_frame);
    const int boxesBefore = MyMessageBox::shownBoxes().size();
    button(w, Id::Versions)->click();
    QVERIFY(QTest::qWaitFor([&] { return MyMessageBox::shownBoxes().size() > boxesBefore; }, kDeviceTimeoutMs));
    QCOMPARE(output(w), QStringLiteral("Master: FPGASingleRead Addr: 0x0046  value: 0x77"));
    QTRY_COMPARE(m_frame->mode(), sim::kModeWork);
}

// Closing while the download waits for the frame: the window stays
// responsive, asks its question once and closes when the download has
// ended, with the frame back in work mode.
void TovrinDebugPageTest::closingNeverWaitsForTheStoppingDownload()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(startSlowDownload(w, *m_frame));
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    holdTheRequestInFlight(*m_frame);
    closeWithoutWaiting(w, *m_frame);
    QVERIFY(output(w).contains(QStringLiteral("FPGA download stopped before its end (another job was started)")));
}

// The line-image worker inside a slow request when another job starts: the
// window goes on, the register requests still waiting (Step Debug's too,
// clicked while the worker ends) go out once the worker has ended, before
// the frame leaves calibration mode; then the job runs.
void TovrinDebugPageTest::aPreviewOnASlowFrameNeverHoldsTheWindow()
{
    windows::overridePreviewSource({});  // the real PreviewThread
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(QTest::qWaitFor([] { return device::g_isDeviceCommunicate.load() == 1; }, kDeviceTimeoutMs));
    windows::PreviewPage* page = w.debugPage()->preview();
    QSignalSpy shown(page, &windows::PreviewPage::frameShown);
    button(w, Id::Preview)->click();
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    holdTheRequestInFlight(*m_frame);
    const int boxes = MyMessageBox::shownBoxes().size();
    Heartbeat heartbeat;
    button(w, Id::Versions)->click();
    QVERIFY(page->isStopping());
    // A request made now waits for the worker's end (while it runs, one
    // would go out in the next gap between two frames), and goes out before
    // the versions' mode switches.
    tovrin::test::WireRecord wire(*m_frame);
    w.debugPage()->regAddrEdit()->setText(QStringLiteral("46"));
    w.debugPage()->regValueEdit()->setText(QStringLiteral("5a"));
    button(w, Id::Write)->click();
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x00});  // not while the worker talks
    QVERIFY(QTest::qWaitFor([&] { return MyMessageBox::shownBoxes().size() > boxes; }, kDeviceTimeoutMs));
    QVERIFY2(heartbeat.longestPauseMs() < kLongestPauseMs, qPrintable(QString::number(heartbeat.longestPauseMs())));
    QCOMPARE(MyMessageBox::shownBoxes().size(), boxes + 1);
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x5A});
    QVERIFY(output(w).contains(QStringLiteral("Master: FPGAPortWrite Addr: 0x0046  value: 0x5a")));
    const auto commands = wire.withNumber({4, 14});
    QVERIFY(!commands.empty());
    QCOMPARE(commands.front().number(), 4);  // in the calibration mode the preview left
    QVERIFY(!page->isRunning());
    QCOMPARE(button(w, Id::Preview)->text(), QStringLiteral("Preview"));
    QCOMPARE(m_frame->mode(), sim::kModeWork);
}

// Closing while the device test waits for the frame.
void TovrinDebugPageTest::closingDuringTheDeviceTestNeverWaits()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    button(w, Id::Test)->click();
    holdTheRequestInFlight(*m_frame);  // the test's first request
    closeWithoutWaiting(w, *m_frame);
}

// The window goes away while the job it asked to stop still waits for the
// frame: its destruction waits for the run, and the job asked for never runs.
void TovrinDebugPageTest::aWindowGoneBeforeTheStopEndsStartsNothing()
{
    const std::vector<uint8_t> before = m_frame->readFlash(sim::Unit::Master, 0x11000, 4);
    QVERIFY(before != std::vector<uint8_t>(4, 0xFF));
    auto w = std::make_unique<Tovrin>();
    w->show();
    QVERIFY(waitForStatus(*w, 15));
    QVERIFY(startSlowDownload(*w, *m_frame));
    holdTheRequestInFlight(*m_frame);
    button(*w, Id::EraseFlash)->click();
    w.reset();
    QTest::qWait(300);
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x11000, 4), before);
}

// The script, the FPGA download and Erase Flash on a frame that answers
// each report after 300 ms while the window switches its modes (before the
// worker starts, and after the job's last report): the window goes on
// meanwhile, and the frame is back in work mode at the end. The workers
// themselves talk to a quick frame.
void TovrinDebugPageTest::pageJobsSwitchModesWhileTheWindowGoesOn()
{
    constexpr auto kSlowFrame = std::chrono::milliseconds(300);
    const auto quick = std::chrono::microseconds(0);
    m_frame->setFpgaRegister(sim::Unit::Master, 0x35, 0x0F);
    QVERIFY(tovrin::test::writeFile(QStringLiteral("id.ini"), "0 the FPGA's id\n1 srd 35\n"));
    QVERIFY(tovrin::test::writeFile(QStringLiteral("top.bin"), QByteArray(519 * 62, '\x3c')));
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QTextEdit* out = w.debugPage()->outputBox();
    // Quick from the job's first line on, slow again from its last.
    connect(out, &QTextEdit::textChanged, this, [&] {
        m_frame->setReportLatency(out->toPlainText().endsWith(QStringLiteral("Success!")) ? kSlowFrame : quick);
    });
    auto backToWork = [&] {
        return QTest::qWaitFor(
            [&] {
                const auto* task = w.findChild<QThread*>(QStringLiteral("windowTask"), Qt::FindDirectChildrenOnly);
                return m_frame->mode() == sim::kModeWork && (!task || !task->isRunning());
            },
            kDeviceTimeoutMs);
    };

    w.debugPage()->scriptPathEdit()->setText(QStringLiteral("id.ini"));
    m_frame->setReportLatency(kSlowFrame);
    auto heartbeat = std::make_unique<Heartbeat>();
    button(w, Id::RunScript)->click();
    QVERIFY(QTest::qWaitFor([&] { return output(w).endsWith(QStringLiteral("Success!")); }, kDeviceTimeoutMs));
    QVERIFY(backToWork());
    qint64 pause = heartbeat->longestPauseMs();
    m_frame->setReportLatency(quick);
    QVERIFY2(pause < kLongestPauseMs, qPrintable(QStringLiteral("script: %1").arg(pause)));
    QCOMPARE(output(w).count(QStringLiteral("Master: FPGASingleRead Addr: 0x0035  value: 0x0f")), 1);

    out->clear();
    w.debugPage()->fpgaPathEdit()->setText(QStringLiteral("top.bin"));
    m_frame->setReportLatency(kSlowFrame);
    heartbeat = std::make_unique<Heartbeat>();
    // The switches before and after the download are measured, not the
    // burst of progress lines a quick frame sends in between.
    qint64 beforeTheJob = -1;
    auto measured = connect(out, &QTextEdit::textChanged, this, [&] {
        if (beforeTheJob < 0) {
            beforeTheJob = heartbeat->longestPauseMs();
        } else if (out->toPlainText().endsWith(QStringLiteral("Success!"))) {
            heartbeat = std::make_unique<Heartbeat>();
        }
    });
    button(w, Id::Download)->click();
    QVERIFY(QTest::qWaitFor([&] { return output(w).contains(QStringLiteral("Success!")); }, kDeviceTimeoutMs));
    QVERIFY(backToWork());
    disconnect(measured);
    pause = std::max(beforeTheJob, heartbeat->longestPauseMs());
    m_frame->setReportLatency(quick);
    QVERIFY2(pause < kLongestPauseMs, qPrintable(QStringLiteral("FPGA download: %1").arg(pause)));
    QVERIFY(output(w).contains(QStringLiteral("The FPGA script begins to burn!")));

    // Erase Flash says nothing in the output box: quick once its worker has
    // started, slow again from its "completed" (the Master's records put
    // back then, or the frame would refuse work mode).
    auto* flash = w.findChild<tovrin::maintenance::DebugPageServices*>()->flash();
    const std::vector<uint8_t> head = m_frame->readFlash(sim::Unit::Master, 0, 0x20000);
    connect(flash, &tovrin::maintenance::FlashController::started, this, [&] { m_frame->setReportLatency(quick); });
    int completed = 0;
    connect(&w, &Tovrin::statusShown, this, [&](int id) {
        if (id != 15)
            return;
        ++completed;
        m_frame->setFlash(sim::Unit::Master, 0, head);
        m_frame->setReportLatency(kSlowFrame);
    });
    w.debugPage()->slaveBox()->setChecked(false);
    m_frame->setReportLatency(kSlowFrame);
    heartbeat = std::make_unique<Heartbeat>();
    button(w, Id::EraseFlash)->click();
    QVERIFY(QTest::qWaitFor([&] { return completed > 0; }, kDeviceTimeoutMs));
    QVERIFY(backToWork());
    pause = heartbeat->longestPauseMs();
    heartbeat.reset();
    m_frame->setReportLatency(quick);
    QVERIFY2(pause < kLongestPauseMs, qPrintable(QStringLiteral("Erase Flash: %1").arg(pause)));
    QVERIFY(w.isConnected());
}

// A task whose job has ended, but whose end the window has not heard yet,
// still holds the task: a job asked for now waits for its then, and a
// then of a task another job took over never runs.
void TovrinDebugPageTest::aTaskCountsAsRunningUntilItsThenHasRun()
{
    QObject window;
    windows::JobLauncher jobs({[] { return true; }, [](int) {}, [] {}, [] {}}, &window);
    QStringList order;
    jobs.inTask([] {}, [&] { order << QStringLiteral("first then"); });
    QVERIFY(jobs.task().waitEnded(5000));  // ended, not yet heard
    QVERIFY(!jobs.guard([&] { order << QStringLiteral("retry"); }));
    QVERIFY(QTest::qWaitFor([&] { return order.size() >= 1; }, 5000));
    QTest::qWait(50);
    QCOMPARE(order, QStringList{QStringLiteral("retry")});

    // Not stopped: the then runs first, a task asked for meanwhile after it.
    order.clear();
    jobs.inTask([] {}, [&] { order << QStringLiteral("first then"); });
    QVERIFY(jobs.task().waitEnded(5000));
    jobs.inTask([] {}, [&] { order << QStringLiteral("second then"); });
    QVERIFY(QTest::qWaitFor([&] { return order.size() >= 2; }, 5000));
    QCOMPARE(order, (QStringList{QStringLiteral("first then"), QStringLiteral("second then")}));
}

QTEST_MAIN(TovrinDebugPageTest)
#include "TovrinDebugPageTest.moc"
