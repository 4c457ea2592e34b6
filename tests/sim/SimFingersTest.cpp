// Fingers on the simulated screen: where each camera sees them, the noise,
// what a blind camera and a reflection do, the auto finger that touches the
// targets the tool asks about, and TOVRIN_SIM_TOUCH.

#include "calibration/math/CameraModel.h"
#include "sim/Fingers.h"
#include "sim/SimEnvironment.h"
#include "sim/SimulatedFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace tovrin::sim {
namespace {

using calib::Camera;

TouchRequest target(int x, int y)
{
    TouchRequest r;
    r.screenPosition = static_cast<uint32_t>(x) | (static_cast<uint32_t>(y) << 16);
    r.release = 255;
    return r;
}

class FingersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FingerSettings s;
        s.jitter = 0;
        fingers.configure(s);
    }
    Fingers fingers;
    const calib::CameraModel model{calib::CameraModel::typical(1920, 1080)};
};

TEST_F(FingersTest, EachCameraSeesTheFingerWhereItsRayFallsOnTheSensor)
{
    fingers.press(680, 371);
    const TouchSpots s = fingers.report(TouchRequest{}, 0);
    ASSERT_EQ(s.masterCount, 1);
    ASSERT_EQ(s.slaveCount, 1);
    EXPECT_EQ(s.master[0].position, std::lround(*model.sensorPosition(Camera::Left, 680, 371)));
    EXPECT_EQ(s.slave[0].position, std::lround(*model.sensorPosition(Camera::Right, 680, 371)));
    // Nearer to a camera the finger fills more of its sensor.
    EXPECT_GT(s.master[0].width, s.slave[0].width);
    fingers.lift();
    const TouchSpots none = fingers.report(TouchRequest{}, 0);
    EXPECT_EQ(none.masterCount + none.slaveCount, 0);
}

TEST_F(FingersTest, NoiseStaysWithinItsHalfPixels)
{
    FingerSettings s;
    s.jitter = 1;
    fingers.configure(s);
    fingers.press(1240, 708);
    const long exact = std::lround(*model.sensorPosition(Camera::Left, 1240, 708));
    std::set<long> seen;
    for (int i = 0; i < 300; ++i) {
        const TouchSpots t = fingers.report(TouchRequest{}, 0);
        ASSERT_EQ(t.masterCount, 1);
        seen.insert(t.master[0].position);
    }
    EXPECT_EQ(seen, (std::set<long>{exact - 1, exact, exact + 1}));
}

TEST_F(FingersTest, ABlindCameraAndAReflection)
{
    FingerSettings s;
    s.jitter = 0;
    s.blindRight = true;
    s.reflection = true;
    fingers.configure(s);
    // Nobody touches: only the left camera's reflection.
    TouchSpots t = fingers.report(TouchRequest{}, 0);
    EXPECT_EQ(t.masterCount, 1);
    EXPECT_EQ(t.slaveCount, 0);
    fingers.press(960, 540);
    t = fingers.report(TouchRequest{}, 0);
    EXPECT_EQ(t.masterCount, 2);  // finger and reflection, by position
    EXPECT_LT(t.master[0].position, t.master[1].position);
    EXPECT_EQ(t.slaveCount, 0);
}

TEST_F(FingersTest, TheLensTableOfTheUnitVariantPlacesTheSpot)
{
    fingers.press(960, 540);
    const TouchSpots a = fingers.report(TouchRequest{}, 0);
    const TouchSpots b = fingers.report(TouchRequest{}, 1);
    const calib::CameraModel modelB(calib::CameraModel::typical(1920, 1080, 1));
    EXPECT_EQ(b.master[0].position, std::lround(*modelB.sensorPosition(Camera::Left, 960, 540)));
    EXPECT_NE(a.master[0].position, b.master[0].position);
}

TEST_F(FingersTest, TheAutoFingerTouchesEachTargetItIsAskedAbout)
{
    FingerSettings s;
    s.jitter = 0;
    s.autoTouch = true;
    s.reactionFrames = 3;
    s.retryFrames = 50;
    fingers.configure(s);
    // No target: nothing.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(fingers.report(TouchRequest{}, 0).masterCount, 0);
    // A target: the finger is on it in the third frame that asks about it.
    int frames = 0;
    while (fingers.report(target(120, 33), 0).masterCount == 0)
        ASSERT_LT(++frames, 10);
    EXPECT_EQ(frames, 2);
    ASSERT_TRUE(fingers.position());
    EXPECT_DOUBLE_EQ(fingers.position()->x, 120);
    // Another target: it lifts at once, then touches the new one.
    EXPECT_EQ(fingers.report(target(680, 33), 0).masterCount, 0);
    frames = 0;
    while (fingers.report(target(680, 33), 0).masterCount == 0)
        ASSERT_LT(++frames, 10);
    EXPECT_DOUBLE_EQ(fingers.position()->x, 680);
    // A target not taken for long: lifted and touched again.
    int lifted = 0;
    for (int i = 0; i < 60; ++i)
        lifted += fingers.report(target(680, 33), 0).masterCount == 0;
    EXPECT_GT(lifted, 0);
    EXPECT_LT(lifted, 10);
}

TEST_F(FingersTest, AFingerThatNeverLifts)
{
    FingerSettings s;
    s.jitter = 0;
    s.neverLift = true;
    fingers.configure(s);
    fingers.press(300, 300);
    fingers.lift();
    EXPECT_EQ(fingers.report(TouchRequest{}, 0).masterCount, 1);
}

TEST(TouchItems, ItemsSetTheFingerAndUnknownOnesAreNamed)
{
    Fingers f;
    EXPECT_EQ(applyTouchItems(f, "auto, jitter=2,aim=5,second-finger,seed=9"), "");
    const FingerSettings s = f.settings();
    EXPECT_TRUE(s.autoTouch);
    EXPECT_EQ(s.jitter, 2);
    EXPECT_DOUBLE_EQ(s.aim, 5.0);
    EXPECT_TRUE(s.secondFinger);
    EXPECT_EQ(s.seed, 9u);
    EXPECT_EQ(applyTouchItems(f, "reflection,jitter=-1,wobble"), "jitter=-1");
    EXPECT_TRUE(f.settings().reflection);
}

TEST(TouchItems, FaultItemsReachTheFramesFingers)
{
    SimulatedFrame frame;
    EXPECT_EQ(applyFaultItems(frame, "blind-left,finger-stuck,edge-spots"), "");
    const FingerSettings s = frame.fingers().settings();
    EXPECT_TRUE(s.blindLeft);
    EXPECT_FALSE(s.blindRight);
    EXPECT_TRUE(s.neverLift);
    EXPECT_TRUE(s.edgeSpots);
}

} // namespace
} // namespace tovrin::sim
