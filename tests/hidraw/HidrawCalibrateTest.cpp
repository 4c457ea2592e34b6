// tovrin-cli calibrate on the real path: a 16-point calibration, the frame's
// finger touching each target as it appears.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

// Only the simulated frame's run checks the result on a grid of touches:
// ReadTouchPoints, and a read of the Slave's flash.
const std::vector<int> kGridCheck = {30, 29};

class HidrawCalibrate : public HidrawJob {
protected:
    void SetUp() override
    {
        // What tovrin-cli does to the frame of --simulate by itself.
        prepare = [](tovrin::sim::SimulatedFrame& frame) { frame.fingers().setScreen(1920, 1080); };
    }
};

TEST_F(HidrawCalibrate, SixteenPointsStoredThenPulledOutInTheMiddle)
{
    const Pair clean = runBoth({"calibrate"}, {}, "auto", kGridCheck);
    ASSERT_EQ(clean.bridge.exitCode, 0) << clean.bridge.err.toStdString();
    EXPECT_TRUE(clean.bridge.out.contains("stored")) << clean.bridge.out.toStdString();
    const Pair p = runBoth({"calibrate"}, QStringLiteral("vanish-at=%1").arg(commandCount(clean.bridge) / 2), "auto", kGridCheck);
    EXPECT_NE(p.bridge.exitCode, 0);
    const JobRun again = runOverBridge({"calibrate"}, {}, "auto");
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_F(HidrawCalibrate, LateReplies)
{
    runBoth({"calibrate"}, "late-replies=2", "auto", kGridCheck);
}

} // namespace
