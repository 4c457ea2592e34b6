// Whole calibration runs on the simulated frame, the finger touching each
// target by itself: what ends up in both units, what goes on the wire, and
// every way a run ends other than stored.

#include "RunFixture.h"

#include "calibration/run/Accuracy.h"
#include "device/DeviceOps.h"
#include "tests/support/Files.h"

namespace tovrin::calib::test {
namespace {

records::CalInfo decoded(const std::vector<uint8_t>& bytes)
{
    return records::CalInfo::decode(std::span<const uint8_t, records::kCalInfoSize>(bytes.data(), records::kCalInfoSize));
}

// The camera model's own position of a target, as an unnoisy finger gives it.
int32_t exactPosition(sim::SimulatedFrame& frame, Camera camera, ScreenPoint p)
{
    const auto e = frame.fingers().exactPosition(camera == Camera::Left ? sim::Side::Left : sim::Side::Right, p.x, p.y);
    return e ? static_cast<int32_t>(std::lround(*e)) : -1;
}

// Each point's positions are the camera model's own, the right camera's kept
// row-mirrored: 16 points at 4 row + 3 - col, the 4 corners 0 <-> 1, 2 <-> 3.
void expectExactPositions(sim::SimulatedFrame& frame, const RunReport& r, GridKind kind = GridKind::Sixteen)
{
    const bool four = kind == GridKind::Four;
    const auto targets16 = screenPoints16(kWidth, kHeight);
    const auto targets4 = screenPoints4(kWidth, kHeight);
    for (size_t i = 0; i < (four ? 4u : 16u); ++i) {
        const ScreenPoint p = four ? targets4[i] : targets16[i];
        const size_t mirrored = four ? (i ^ 1) : 4 * (i / 4) + 3 - i % 4;
        EXPECT_EQ(r.oneDLeft[i], exactPosition(frame, Camera::Left, p)) << "point " << i;
        EXPECT_EQ(r.oneDRight[mirrored], exactPosition(frame, Camera::Right, p)) << "point " << i;
    }
}

TEST_F(RunTest, SixteenPointsStoreTheSameSolutionInBothUnits)
{
    const RunReport r = run();
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    EXPECT_EQ(codes.back(), code::Stored);
    EXPECT_TRUE(frame->touchArmed());

    const auto masterBytes = recordBytes(*frame, sim::Unit::Master);
    const auto slaveBytes = recordBytes(*frame, sim::Unit::Slave);
    ASSERT_TRUE(validRecord(masterBytes));
    ASSERT_TRUE(validRecord(slaveBytes));
    const records::CalInfo m = decoded(masterBytes), s = decoded(slaveBytes);
    EXPECT_EQ(m.solution, r.block);
    EXPECT_EQ(s.solution, r.block);
    EXPECT_EQ(m.ScreenWidth, kWidth);
    EXPECT_EQ(s.ScreenHight, kHeight);
    EXPECT_EQ(m.P_Pos, records::kPPosA);
    EXPECT_EQ(s.P_Pos, records::kPPosA);
    // Each unit its own window: Master the left camera's, Slave the right's.
    EXPECT_EQ(m.u10_PROJECT_START, r.windows.leftStart);
    EXPECT_EQ(m.u10_PROJECT_END, r.windows.leftEnd);
    EXPECT_EQ(s.u10_PROJECT_START, r.windows.rightStart);
    EXPECT_EQ(s.u10_PROJECT_END, r.windows.rightEnd);
    EXPECT_LT(s.u10_PROJECT_START, 320);
    EXPECT_GT(s.u10_PROJECT_END, 320);
    // A new touch calibration removes the key layout; leveling stays.
    EXPECT_EQ(s.leftKeyCount + s.bottomKeyCount + s.rightKeyCount + s.topKeyCount, 0);
    EXPECT_EQ(s.keySolution, records::StClbInfo{});
    EXPECT_EQ(m.startLine, decoded(oldMaster).startLine);
    EXPECT_EQ(s.st_COLUMN_PIECE, decoded(oldSlave).st_COLUMN_PIECE);
    EXPECT_EQ(runState().pointIndex.load(), 0);
}

// The targets the run asks the frame about, in capture order, from the
// requests on the wire.
std::vector<std::pair<int, uint32_t>> targetsAsked(const std::vector<sim::TouchRequest>& requests)
{
    std::vector<std::pair<int, uint32_t>> out;
    for (const auto& q : requests)
        if (out.empty() || out.back() != std::make_pair(int(q.pointIndex), q.screenPosition))
            out.emplace_back(q.pointIndex, q.screenPosition);
    return out;
}

TEST_F(RunTest, TargetsOfA1920x1080Screen)
{
    std::vector<sim::TouchRequest> requests;
    frame->setTouchSource([&](const sim::TouchRequest& q) {
        requests.push_back(q);
        return frame->fingers().report(q, 0);
    });
    ASSERT_EQ(run().outcome, RunOutcome::Stored);
    const int xs[4] = {120, 680, 1240, 1800};
    const int ys[4] = {33, 371, 708, 1046};
    std::vector<std::pair<int, uint32_t>> expected;
    for (int i = 0; i < 16; ++i)
        expected.emplace_back(i, uint32_t(xs[i % 4]) | (uint32_t(ys[i / 4]) << 16));
    EXPECT_EQ(targetsAsked(requests), expected);
    for (const auto& q : requests)
        ASSERT_EQ(q.request, 0);  // the attribute bytes are never set

    requests.clear();
    codes.clear();
    ASSERT_EQ(run(GridKind::Four).outcome, RunOutcome::Stored);
    expected = {{0, 120u | (33u << 16)}, {3, 1800u | (33u << 16)}, {12, 120u | (1046u << 16)}, {15, 1800u | (1046u << 16)}};
    EXPECT_EQ(targetsAsked(requests), expected);
}

TEST_F(RunTest, FourPointsStoreOneCellOnly)
{
    const RunReport r = run(GridKind::Four);
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave}) {
        const records::CalInfo c = decoded(recordBytes(*frame, unit));
        ASSERT_TRUE(c.isValid());
        EXPECT_EQ(c.solution, r.block);
        for (int cell = 1; cell < 9; ++cell)
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(c.solution.X[cell][k], 0) << "cell " << cell;
        for (int i = 4; i < 16; ++i)
            EXPECT_EQ(c.solution.EvalPt[i], records::StPoint16{}) << "point " << i;
        EXPECT_NE(c.solution.X[0][0], 0);
    }
    expectExactPositions(*frame, r, GridKind::Four);
}

TEST_F(RunTest, ModeSwitchMidRunEndsWithCode6AndStoresNothing)
{
    // The 16-point run switched to 4 points at point 3, the 4-point run to 16 at point 1.
    for (const GridKind kind : {GridKind::Sixteen, GridKind::Four}) {
        codes.clear();
        const bool sixteen = kind == GridKind::Sixteen;
        const RunReport r = run(kind, [sixteen](int) {
            if (runState().pointIndex.load() >= (sixteen ? 3 : 1))
                FourCalib_en = sixteen ? 1 : 0;
        });
        EXPECT_EQ(r.outcome, RunOutcome::ModeSwitched);
        EXPECT_EQ(codes.back(), code::ModeSwitched);
        EXPECT_TRUE(recordsUnchanged());
    }
}

TEST_F(RunTest, ARejectedResultLeavesBothRecordsByteForByte)
{
    // The calibration window covers only the upper left quarter of the
    // screen the frame is mounted on: the right camera sees all of it on one
    // side of its sensor, which no image window of a whole screen does.
    const RunReport r = run(GridKind::Sixteen, {}, nullptr, kWidth / 2, kHeight / 2);
    EXPECT_EQ(r.outcome, RunOutcome::Rejected) << r.reason;
    EXPECT_EQ(r.reason, "the image windows or the scale failed the acceptance test");
    EXPECT_EQ(codes.back(), code::Rejected);
    EXPECT_TRUE(recordsUnchanged());
    EXPECT_EQ(frame->commandsSeen(13) + frame->commandsSeen(32), 0u);  // nothing erased
    EXPECT_EQ(frame->commandsSeen(9) + frame->commandsSeen(28), 0u);   // nothing written
}

TEST_F(RunTest, TakingAPointBackCapturesItAgain)
{
    bool takenBack = false;
    int lowest = 99;
    const RunReport r = run(GridKind::Sixteen, [&](int c) {
        const int index = runState().pointIndex.load();
        if (takenBack && c == code::PointReady)
            lowest = std::min(lowest, index);
        if (!takenBack && index == 3)
            takenBack = runState().takeBack();
    });
    ASSERT_TRUE(takenBack);
    EXPECT_EQ(lowest, 2);
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    expectExactPositions(*frame, r);
}

TEST_F(RunTest, UnplugDuringCaptureEndsWithTheFrameGone)
{
    const RunReport r = run(GridKind::Sixteen, [&](int) {
        if (runState().pointIndex.load() == 5)
            frame->unplug();
    });
    EXPECT_EQ(r.outcome, RunOutcome::DeviceLost);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
    EXPECT_TRUE(recordsUnchanged());
}

struct ScreenRow {
    const char* name;
    int width, height;
};

class BadScreen : public RunTest, public ::testing::WithParamInterface<ScreenRow> {};

TEST_P(BadScreen, IsRefusedBeforeTheFrameIsTouched)
{
    const RunReport r = run(GridKind::Sixteen, {}, nullptr, GetParam().width, GetParam().height);
    EXPECT_EQ(r.outcome, RunOutcome::Rejected);
    EXPECT_EQ(codes, std::vector<int>{code::Rejected});
    EXPECT_EQ(frame->commandsSeen(11), 0u);  // not even armed
    EXPECT_EQ(frame->commandsSeen(30), 0u);
    EXPECT_TRUE(recordsUnchanged());
}

INSTANTIATE_TEST_SUITE_P(Screens, BadScreen,
                         ::testing::Values(ScreenRow{"zero", 0, 0}, ScreenRow{"eightK", 7680, 4320},
                                           ScreenRow{"noHeight", 1920, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

// Stops the run after `frames` more touch frames.
std::function<void(int)> stopAfter(std::atomic<bool>& stop, int frames)
{
    auto left = std::make_shared<int>(frames);
    return [&stop, left](int c) {
        if (c == code::PointReady && --*left <= 0)
            stop = true;
    };
}

TEST_F(RunTest, ACameraThatNeverSeesTheFingerTakesNoPoint)
{
    frame->changeFaults([](sim::FaultPlan& f) { f.fingers.blindLeft = true; });
    const RunReport r = run(GridKind::Sixteen, stopAfter(stop, 500));
    EXPECT_EQ(r.outcome, RunOutcome::Stopped);
    EXPECT_EQ(r.oneDLeft, (std::array<int32_t, 16>{}));
    EXPECT_TRUE(recordsUnchanged());
}

TEST_F(RunTest, AFingerThatNeverLiftsHoldsTheRunAtTheReleaseWait)
{
    frame->changeFaults([](sim::FaultPlan& f) { f.fingers.stuck = true; });
    const RunReport r = run(GridKind::Sixteen, stopAfter(stop, 500));
    EXPECT_EQ(r.outcome, RunOutcome::Stopped);
    EXPECT_NE(r.oneDLeft[0], 0);  // the first point was taken
    EXPECT_EQ(r.oneDLeft[1], 0);  // the second never started
    EXPECT_EQ(frame->lastTouchRequest().release, 0);
    EXPECT_TRUE(recordsUnchanged());
}

// Neither spots at the ends of the range nor a reflection are taken for the
// finger; the right camera's positions are kept row-mirrored.
TEST_F(RunTest, SpotsAtTheEndsOfThePositionRangeAreNeverTaken)
{
    frame->changeFaults([](sim::FaultPlan& f) {
        f.fingers.edgeSpots = true;
        f.fingers.reflection = true;
    });
    const RunReport r = run();
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    expectExactPositions(*frame, r);
}

TEST_F(RunTest, EnvironmentConfigurationSendsTheStoredStartLines)
{
    // Start lines moved away from the stored ones since.
    ASSERT_TRUE(device::SetLine(0, 100));
    ASSERT_TRUE(device::SetLine(1, 100));
    ASSERT_EQ(frame->startLine(sim::Unit::Master), 100);
    g_CalibEnvironment = 1;
    stop = false;
    const RunReport r = run(GridKind::Sixteen, stopAfter(stop, 1));
    EXPECT_EQ(r.outcome, RunOutcome::Stopped);
    EXPECT_EQ(frame->startLine(sim::Unit::Master), oldMaster[4] | (oldMaster[5] << 8));
    EXPECT_EQ(frame->startLine(sim::Unit::Slave), oldSlave[4] | (oldSlave[5] << 8));
    EXPECT_EQ(g_CalibEnvironment.load(), 0);
    EXPECT_EQ(g_CalibEnvironmentDone.load(), 1);
}

TEST_F(RunTest, EnvironmentWithoutAStoredStartLineFailsTheInit)
{
    frame->eraseSector(sim::Unit::Slave, sim::kCalibrationRecordOffset);  // start line reads 0xFFFF
    g_CalibEnvironment = 1;
    const RunReport r = run();
    EXPECT_EQ(r.outcome, RunOutcome::InitFailed);
    EXPECT_EQ(codes, std::vector<int>{code::InitFailed});
    EXPECT_EQ(frame->commandsSeen(11), 0u);
    EXPECT_EQ(g_CalibEnvironmentDone.load(), 1);
}

TEST_F(RunTest, ArmTouchDataRefusedIsAnInitFailure)
{
    frame->answerNextWithStatus(sim::kStatusRefused, 1, 11);
    const RunReport r = run();
    EXPECT_EQ(r.outcome, RunOutcome::InitFailed);
    EXPECT_EQ(codes, std::vector<int>{code::InitFailed});
    EXPECT_EQ(g_CalDataInitSuc.load(), 0);
}

struct CalibTimeRow {
    const char* name;
    const char* ini;
    int frames;
};

class CalibTime : public RunTest, public ::testing::WithParamInterface<CalibTimeRow> {};

TEST_P(CalibTime, APointNeedsTheClampedNumberOfHeldFrames)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), GetParam().ini));
    loadRunSettings();
    ASSERT_EQ(g_WaitFrameCount.load(), GetParam().frames);
    // The longest hold seen before the first point was taken.
    int longest = 0;
    const RunReport r = run(GridKind::Four, [&](int c) {
        if (c == code::PointReady && runState().pointIndex.load() == 0)
            longest = std::max(longest, runState().heldFrames.load());
        if (runState().pointIndex.load() >= 1)
            stop = true;
    });
    EXPECT_EQ(r.outcome, RunOutcome::Stopped);
    EXPECT_EQ(longest, GetParam().frames - 1);
}

INSTANTIATE_TEST_SUITE_P(Settings, CalibTime,
                         ::testing::Values(CalibTimeRow{"tooLong", "[Tovrin_Config]\nCalibTime=500\n", 120},
                                           CalibTimeRow{"withinRange", "[Tovrin_Config]\nCalibTime=60\n", 60}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(RunTest, ANoisyFingerStillCalibratesWell)
{
    fingers(1, 7);
    const RunReport r = run();
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    EXPECT_LT(r.accuracy.max, kResidualWarningPx);
}

} // namespace
} // namespace tovrin::calib::test
