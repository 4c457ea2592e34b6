// The leveling, exposure and preview workers on the simulated frame: a whole
// leveling of an ordinary and of an extended-frame unit, the frames they hand
// over, start-line changes, the debug requests, and every injected fault
// ending in its code with the frame's records untouched.
#include "LevelingTestSupport.h"

#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/ExposureScale.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LineDecoder.h"
#include "leveling/core/PreviewThread.h"
#include "sim/SceneItems.h"

#include <cmath>

namespace tovrin::leveling::test {
namespace {

class LevelingThread : public SimLevelingTest {
protected:
    void SetUp() override
    {
        SimLevelingTest::SetUp();
        ASSERT_TRUE(frames.open());
        g_PreviewOnly = 0;
        g_CompressEnable = 1;
    }

    void start(CImagePreviewThread::Options options = {})
    {
        if (device::ExtendedFrameDevice.load()) {
            options.extended = true;
            options.lineNum = options.lineNum == 9 ? 11 : options.lineNum;
        }
        thread = std::make_unique<CImagePreviewThread>(frames, options);
        QObject::connect(thread.get(), &CImagePreviewThread::sendData, [this](int code) { codes(code); });
        thread->startWork();
    }

    void TearDown() override
    {
        if (thread)
            thread->stopAndWait();
        frames.close();
        SimLevelingTest::TearDown();
    }

    // Starts the thread, takes its first whole frame and stops it: the frame
    // it published.
    void firstFrame(FrameBytes& a, FrameBytes& b, CImagePreviewThread::Options options = {})
    {
        start(options);
        ASSERT_TRUE(codes.waitFor(image::FrameComplete));
        thread->stopAndWait();
        frames.copyPublished(a, b);
    }

    // Waits for a complete frame handed over after the given code.
    bool takeFrame(FrameBytes& a, FrameBytes& b)
    {
        for (int i = 0; i < 2000; ++i) {
            if (frames.take(a, b))
                return true;
            QThread::msleep(2);
        }
        return false;
    }

    // Asks the running thread to move a unit's start line; true once served.
    bool changeStartLine(int unit, int line)
    {
        (unit == kMaster ? g_StartLineM : g_StartLineS) = line;
        g_ChangeUnit = unit;
        g_StartLineChangeRequest = 1;
        for (int i = 0; i < 5000 && g_StartLineChangeRequest.load(); ++i)
            QThread::msleep(1);
        return g_StartLineChangeRequest.load() == 0;
    }

    int row(Unit u) const { return static_cast<int>(std::lround(frame->scene().units[static_cast<size_t>(u)].surfaceRow)); }

    // Fixed pictures in every line of both units, so that a frame fetched
    // can be compared with what the cameras showed whatever frame it was.
    void pinPictures(int lines)
    {
        for (Unit u : {Unit::Master, Unit::Slave})
            for (int line = 0; line < lines; ++line) {
                std::vector<uint8_t> pixels(640);
                for (int c = 0; c < 640; ++c)
                    pixels[static_cast<size_t>(c)] = static_cast<uint8_t>((c * 7 + line * 31 + (u == Unit::Slave ? 90 : 0)) % 256);
                frame->setLinePixels(u, line, pixels);
            }
    }

    FrameBuffers frames{g_FrameReady};
    CodeRecorder codes;
    std::unique_ptr<CImagePreviewThread> thread;
};

TEST_F(LevelingThread, OrdinaryUnitLevelsToTheBandAndAsksForExposure)
{
    const auto before = records();
    start();
    ASSERT_TRUE(codes.waitFor(image::ExposureStep));
    EXPECT_EQ(g_StartLineM.load(), row(Unit::Master));
    EXPECT_EQ(g_StartLineS.load(), row(Unit::Slave));
    EXPECT_EQ(frame->startLine(Unit::Master), row(Unit::Master)) << "SetLine reached the frame";
    const sim::SceneConfig scene = frame->scene();
    EXPECT_EQ(unitLeveling(kMaster).startColumn, scene.units[0].startColumn);
    EXPECT_EQ(unitLeveling(kSlave).endColumn, scene.units[1].endColumn);
    EXPECT_EQ(g_SearchStartLine.load(), 1);
    EXPECT_EQ(g_SearchColumn.load(), 1);
    const auto c = codes.codes();
    EXPECT_LT(std::find(c.begin(), c.end(), image::Leveled), std::find(c.begin(), c.end(), image::ExposureStep));
    EXPECT_EQ(std::count(c.begin(), c.end(), image::ExposureStep), 1) << "asked once per run";
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    EXPECT_EQ(records(), before) << "leveling alone writes nothing";
}

TEST_F(LevelingThread, PackedFrameDecodesToTheCamerasPicture)
{
    pinPictures(9);
    FrameBytes a{}, b{};
    firstFrame(a, b);
    // The frame packs 8 grey levels: each pixel is its level's value.
    for (int line = 0; line < 9; ++line) {
        const auto m = frame->linePixels(Unit::Master, line);
        for (int col = 0; col < 640; ++col)
            ASSERT_EQ(a[static_cast<size_t>(line * 640 + col)], levelValue(m[static_cast<size_t>(col)] / 32 + 1))
                << line << ":" << col;
    }
}

TEST_F(LevelingThread, PlainFrameIsTheCamerasPictureExactly)
{
    g_CompressEnable = 0;
    pinPictures(9);
    FrameBytes a{}, b{};
    firstFrame(a, b);
    for (int line = 0; line < 9; ++line) {
        const auto s = frame->linePixels(Unit::Slave, line);
        ASSERT_TRUE(std::equal(s.begin(), s.end(), b.begin() + line * 640)) << line;
    }
}

TEST_F(LevelingThread, StartLineChangeMovesTheWindow)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    g_OptimumStartLine = 0;
    g_SearchColumn = 0;
    ASSERT_TRUE(changeStartLine(kSlave, row(Unit::Slave) + 3));
    EXPECT_EQ(frame->startLine(Unit::Slave), row(Unit::Slave) + 3);
    EXPECT_EQ(g_OptimumStartLine.load(), 1);
    EXPECT_EQ(g_SearchColumn.load(), 1);
    EXPECT_EQ(frame->startLine(Unit::Master), row(Unit::Master)) << "only the named unit moves";
    // Far from the band the columns are searched, and not found.
    g_OptimumStartLine = 0;
    ASSERT_TRUE(changeStartLine(kMaster, row(Unit::Master) + 30));
    EXPECT_EQ(g_OptimumStartLine.load(), 1);
    EXPECT_EQ(g_SearchColumn.load(), 0) << "the window no longer sees the band";
}

TEST_F(LevelingThread, DebugRequestsComeInTheirOrderBetweenFrames)
{
    codes.onCode = [](int code) {
        if (code >= kFirstDebugRequest && code < kFirstDebugRequest + kDebugRequestCount)
            debugRequest(code) = 0;  // the window has served it
    };
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    for (int code = kWriteColumn; code >= kResetFpga; --code)
        debugRequest(code) = 1;
    ASSERT_TRUE(codes.waitFor(kWriteColumn));
    thread->stopAndWait();
    std::vector<int> served;
    for (int code : codes.codes())
        if (code >= kFirstDebugRequest)
            served.push_back(code);
    EXPECT_EQ(served, (std::vector<int>{19, 20, 21, 22, 23, 24, 25}));
}

TEST_F(LevelingThread, RequestWaitsUntilTheWindowHasServedIt)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    debugRequest(kWriteColumn) = 1;
    ASSERT_TRUE(codes.waitFor(kWriteColumn));
    const uint64_t lineRequests = frame->commandsSeen(0);
    QThread::msleep(50);
    EXPECT_EQ(frame->commandsSeen(0), lineRequests) << "no frame while the request is being served";
    debugRequest(kWriteColumn) = 0;
    for (int i = 0; i < 2000 && frame->commandsSeen(0) == lineRequests; ++i)
        QThread::msleep(1);
    EXPECT_GT(frame->commandsSeen(0), lineRequests) << "frames go on once it is served";
}

TEST_F(LevelingThread, PreviewSwitchedOffEndsWithCode18)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    g_PreviewRun = 0;
    ASSERT_TRUE(codes.waitFor(image::PreviewOff));
    EXPECT_TRUE(waitEnded(*thread));
}

TEST_F(LevelingThread, StoppedThreadLeavesTheStopProcedureState)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    thread->stopAndWait();
    EXPECT_EQ(g_PreviewRun.load(), 0);
    EXPECT_EQ(g_PreviewSucFlag.load(), 0);
    EXPECT_EQ(g_OptimumLineFlag.load(), 0);
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 1);
}

TEST_F(LevelingThread, NoFrameBufferNoFrame)
{
    frames.close();
    FrameBuffers::failNextOpen();
    ASSERT_FALSE(frames.open());
    const uint64_t before = frame->commandsSeen(0) + frame->commandsSeen(1);
    start();
    EXPECT_TRUE(waitEnded(*thread));
    EXPECT_EQ(frame->commandsSeen(0) + frame->commandsSeen(1), before);
    EXPECT_TRUE(codes.codes().empty());
}

// A frame that stops answering is not one that was pulled out: the flags the
// thread leaves with code 6 tell the two apart (messages 14 and 61).
TEST_F(LevelingThread, SilentFrameEndsAsNotCommunicating)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    frame->dropNextReplies(1 << 30);
    ASSERT_TRUE(codes.waitFor(image::DeviceLost)) << ::testing::PrintToString(codes.codes());
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 0) << "still on the bus, no longer answering";
}

TEST_F(LevelingThread, PulledFrameEndsAsPulledOut)
{
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    frame->unplug();
    ASSERT_TRUE(codes.waitFor(image::DeviceLost)) << ::testing::PrintToString(codes.codes());
    EXPECT_EQ(device::g_bDevExist.load(), 0);
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 1);
}

// ---- Preview only -----------------------------------------------------------------

TEST_F(LevelingThread, PreviewOnlyShowsTheStoredLevelingWithTheZoneRegisters)
{
    g_PreviewOnly = 1;
    start();
    ASSERT_TRUE(codes.waitFor(image::StoredShown));
    EXPECT_FALSE(codes.has(image::Leveled)) << "no search";
    EXPECT_EQ(g_StartLineS.load(), row(Unit::Slave)) << "from the record head";
    EXPECT_EQ(unitLeveling(kMaster).exposureWord(), sim::kFactoryExposureMaster);
    const UnitLeveling m = unitLeveling(kMaster);
    EXPECT_EQ(m.zones[7].position, m.endColumn);
    for (size_t e = 0; e < 7; ++e) {
        EXPECT_GE(m.zones[e].position, m.startColumn - 10);
        EXPECT_LE(m.zones[e].code, 7);
    }
}

TEST_F(LevelingThread, PreviewOnlyHandshakeWithoutReplyReportsTheLoss)
{
    g_PreviewOnly = 1;
    frame->vanishAtOutputReport(3);  // the two record heads, then the first latch
    start();
    ASSERT_TRUE(codes.waitFor(image::DeviceLost));
    EXPECT_TRUE(waitEnded(*thread));
}

TEST_F(LevelingThread, PreviewOnlyRefusedHandshakeEndsSilently)
{
    g_PreviewOnly = 1;
    frame->answerNextWithStatus(0xFF, 1, 4);  // the Master latch
    start();
    EXPECT_TRUE(waitEnded(*thread));
    EXPECT_TRUE(codes.codes().empty());
}

// ---- Faults -----------------------------------------------------------------------

struct FaultRow {
    const char* name;
    const char* fault;
    int code;
    bool compressed = true;
};

void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class LevelingFault : public LevelingThread, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(LevelingFault, EndsWithItsCodeAndTouchesNoRecord)
{
    const FaultRow& f = GetParam();
    g_CompressEnable = f.compressed ? 1 : 0;
    ASSERT_TRUE(sim::applySceneFault(*frame, f.fault)) << f.fault;
    const auto before = records();
    start();
    ASSERT_TRUE(codes.waitFor(f.code)) << f.fault;
    EXPECT_TRUE(waitEnded(*thread)) << "a failed step ends the thread";
    EXPECT_EQ(g_PreviewRun.load(), 0);
    if (frame->isPlugged()) {
        EXPECT_EQ(records(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scene, LevelingFault,
    ::testing::Values(FaultRow{"NoLineFound", "no-line=slave", image::SearchFailed},
                      FaultRow{"SetLineRefused", "fail-setline=slave", image::ConfigFailed},
                      FaultRow{"ColumnsRefused", "fail-linerange=master", image::ColumnFailed},
                      FaultRow{"ZonesRefused", "fail-zones", image::OptimumFailed},
                      FaultRow{"StreamLongerThan640", "long-stream", image::FrameFailed},
                      FaultRow{"UnplugDuringAPackedFrame", "vanish-in-frame=7", image::DeviceLost},
                      FaultRow{"UnplugDuringAPlainFrame", "vanish-in-frame=60", image::DeviceLost, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LevelingThread, BandOutsideTheWindowIsALineOutOfRange)
{
    sim::applySceneFault(*frame, "no-line=master");
    start();
    ASSERT_TRUE(codes.waitFor(image::SearchFailed));
    EXPECT_EQ(g_StartLineM.load(), 65535);
    EXPECT_EQ(g_StartLineKnown.load(), 0) << "a line out of range searches again";
}

TEST_F(LevelingThread, SearchLineZeroForMasterIsOutOfRange)
{
    frame->setSearchLineResult(Unit::Master, 0);
    start();
    ASSERT_TRUE(codes.waitFor(image::SearchFailed));
    EXPECT_EQ(g_StartLineM.load(), 0);
    EXPECT_EQ(g_StartLineS.load(), row(Unit::Slave));
    EXPECT_EQ(frame->commandsSeen(18), 0u) << "no SetLine";
}

TEST_F(LevelingThread, FailedSearchCommandKeepsStartLineKnown)
{
    frame->answerNextWithStatus(0xFF, 1, 17);
    start();
    ASSERT_TRUE(codes.waitFor(image::SearchFailed));
    EXPECT_EQ(g_SearchStartLine.load(), 0);
    EXPECT_EQ(g_StartLineKnown.load(), 1);
    EXPECT_EQ(g_StartLineM.load(), 65535);
    EXPECT_EQ(frame->commandsSeen(36), 0u) << "the Slave is not asked";
}

TEST_F(LevelingThread, RefusedChunkReportsCode8AndTheFrameGoesOn)
{
    g_CompressEnable = 0;
    frame->answerNextWithStatus(0xFF, 1, 1);  // one Slave chunk
    start();
    ASSERT_TRUE(codes.waitFor(image::FrameFailed));
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    EXPECT_TRUE(thread->isRunning());
}

// ---- Extended-frame unit ------------------------------------------------------------

class ExtendedLevelingThread : public LevelingThread {
    void prepare(sim::SimulatedFrame& f) override { f.setExtendedFrame(true); }
};

TEST_F(ExtendedLevelingThread, LevelsAndFetches11LinesPlain)
{
    g_CompressEnable = 1;  // the window forces it off; the thread reads plain anyway
    pinPictures(11);
    start();
    ASSERT_TRUE(codes.waitFor(image::ExposureStep));
    EXPECT_EQ(frame->commandsSeen(20), 0u) << "no ReadZones on an extended unit";
    ASSERT_TRUE(codes.waitFor(image::FrameComplete));
    thread->stopAndWait();
    FrameBytes a{}, b{};
    frames.copyPublished(a, b);
    for (int line = 0; line < 11; ++line) {
        const auto m = frame->linePixels(Unit::Master, line);
        ASSERT_TRUE(std::equal(m.begin(), m.end(), a.begin() + line * 640)) << line;
    }
}

TEST_F(ExtendedLevelingThread, OnlyLastLineRefreshesTheLastLine)
{
    CImagePreviewThread::Options o;
    o.adjustDebug = true;
    g_OnlyLastLine = 1;
    pinPictures(11);
    FrameBytes a{}, b{};
    firstFrame(a, b, o);
    const auto last = frame->linePixels(Unit::Master, 10);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), a.begin() + 6400)) << "the last line came";
    const auto first = frame->linePixels(Unit::Master, 0);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + 61, a.begin())) << "chunk 0 came";
    EXPECT_TRUE(std::all_of(a.begin() + 61, a.begin() + 6400, [](uint8_t v) { return v == 0; }))
        << "the pictures were not fetched";
}

// ---- Exposure ---------------------------------------------------------------------

class Exposure : public SimLevelingTest {
protected:
    void run()
    {
        ExposureThread thread;
        QObject::connect(&thread, &ExposureThread::sendData, [this](int code) { codes(code); });
        thread.startWork();
        ASSERT_TRUE(waitEnded(thread));
    }
    CodeRecorder codes;
};

TEST_F(Exposure, BothUnitsFromTheSceneAndTheMarks)
{
    changeScene([](sim::SceneConfig& c) { c.units[1].reflectance = 40; });
    g_ExposureLimit = 18;
    run();
    EXPECT_EQ(codes.codes(), (std::vector<int>{exposure::MasterReady, exposure::SlaveReady, exposure::Finished}));
    const UnitLeveling m = unitLeveling(kMaster), s = unitLeveling(kSlave);
    EXPECT_GE(exposureScaleIndex(m.exposureHigh, m.exposureLow), 0);
    EXPECT_GE(exposureScaleIndex(s.exposureHigh, s.exposureLow), 18);
    EXPECT_EQ(g_ExposureMarkM.load(), 0);
    EXPECT_EQ(g_ExposureMarkS.load(), 1) << "a dim band needs a long exposure";
    EXPECT_EQ(s.startColumn, frame->scene().units[1].startColumn);
    EXPECT_EQ(g_isExposureSuc.load(), 1);
}

TEST_F(Exposure, MasterFailureNeverAsksTheSlave)
{
    sim::applySceneFault(*frame, "fail-exposure=master");
    setExposure(kSlave, 0x06, 0x40);
    run();
    EXPECT_EQ(codes.codes(), (std::vector<int>{exposure::MasterFailed, exposure::Finished}));
    EXPECT_EQ(frame->commandsSeen(43), 0u);
    EXPECT_EQ(unitLeveling(kSlave).exposureWord(), 0x0640) << "keeps its earlier result";
    EXPECT_EQ(g_isExposureSuc.load(), 0);
}

TEST_F(Exposure, SlaveFailureStillFinishes)
{
    sim::applySceneFault(*frame, "fail-exposure=slave");
    run();
    EXPECT_EQ(codes.codes(), (std::vector<int>{exposure::MasterReady, exposure::SlaveFailed, exposure::Finished}));
}

// A request the frame never answers is a lost link, not a refused exposure:
// code 6 without 16, and the frame, still plugged in, reads as not communicating.
TEST_F(Exposure, RequestWithoutReplyIsTheLinkLost)
{
    frame->dropRepliesTo(42);
    run();
    EXPECT_EQ(codes.codes(), (std::vector<int>{exposure::DeviceLost}));
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 0);
}

TEST_F(Exposure, DeviceGoneBeforeTheRun)
{
    device::g_bDevExist = 0;
    run();
    EXPECT_EQ(codes.codes(), (std::vector<int>{exposure::DeviceLost}));
}

// ---- Preview page -------------------------------------------------------------------

class Preview : public SimLevelingTest {
protected:
    void SetUp() override
    {
        SimLevelingTest::SetUp();
        ASSERT_TRUE(frames.open());
        thread = std::make_unique<PreviewThread>(frames);
        QObject::connect(thread.get(), &PreviewThread::sendData, [this](int code) { codes(code); });
    }
    void TearDown() override
    {
        thread->stopAndWait();
        frames.close();
        SimLevelingTest::TearDown();
    }
    std::atomic<int> ready{0};
    FrameBuffers frames{ready};
    std::unique_ptr<PreviewThread> thread;
    CodeRecorder codes;
};

TEST_F(Preview, PassLatchesReadsZonesAndHandsOverAFrame)
{
    thread->setCompression(true);
    thread->startWork();
    ASSERT_TRUE(codes.waitFor(preview::FrameReady));
    const auto c = codes.codes();
    EXPECT_EQ(c.front(), preview::RegisterWritten);
    EXPECT_GE(std::count(c.begin(), c.end(), preview::RegisterRead), 2 + 2 * 11);
    EXPECT_EQ(ready.load(), 1);
    FrameBytes a{}, b{};
    ASSERT_TRUE(frames.take(a, b));
    EXPECT_EQ(ready.load(), 0);
    EXPECT_EQ(unitLeveling(kSlave).zones[7].position, unitLeveling(kSlave).endColumn);
}

TEST_F(Preview, FailedChunkStopsWithCode11)
{
    frame->answerNextWithStatus(0xFF, 1, 0);
    thread->startWork();
    ASSERT_TRUE(codes.waitFor(preview::Stopped));
    EXPECT_TRUE(waitEnded(*thread));
    EXPECT_FALSE(codes.has(preview::FrameReady));
}

TEST_F(Preview, RefusedLatchStopsWithCode16)
{
    frame->answerNextWithStatus(0xFF, 1, 4);
    thread->startWork();
    ASSERT_TRUE(codes.waitFor(preview::RegisterWriteFailed));
    EXPECT_TRUE(waitEnded(*thread));
    EXPECT_FALSE(codes.has(preview::Stopped));
}

TEST_F(Preview, ExtendedFrameKeepsItsLinesInPlace)
{
    frame->setExtendedFrame(true);
    std::vector<uint8_t> last(640);
    for (int c = 0; c < 640; ++c)
        last[static_cast<size_t>(c)] = static_cast<uint8_t>(c * 3);
    frame->setLinePixels(Unit::Slave, 10, last);
    thread->setFrameLayout(11, true);
    thread->startWork();
    ASSERT_TRUE(codes.waitFor(preview::FrameReady));
    thread->stopAndWait();
    FrameBytes a{}, b{};
    frames.copyPublished(a, b);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), b.begin() + 6400));
}

} // namespace
} // namespace tovrin::leveling::test
