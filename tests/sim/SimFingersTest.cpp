// Fingers on the simulated screen: where each camera sees them, the noise
// models, what a blind camera and a reflection do, the auto finger that
// touches the targets the tool asks about, and TOVRIN_SIM_TOUCH.

#include "sim/Fingers.h"
#include "sim/SimEnvironment.h"
#include "sim/SimulatedFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace tovrin::sim {
namespace {

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
    long exact(Side side, double x, double y, int family = 0) const
    {
        return std::lround(*fingers.exactPosition(side, x, y, family));
    }
    Fingers fingers;
};

TEST_F(FingersTest, EachCameraSeesTheFingerWhereItsRayFallsOnTheSensor)
{
    fingers.press(680, 371);
    const TouchSpots s = fingers.report(TouchRequest{}, 0);
    ASSERT_EQ(s.masterCount, 1);
    ASSERT_EQ(s.slaveCount, 1);
    const Optics optics = fingers.optics(0);
    EXPECT_EQ(s.master[0].position, std::lround(*optics.position(Side::Left, 680, 371)));
    EXPECT_EQ(s.slave[0].position, std::lround(*optics.position(Side::Right, 680, 371)));
    // Nearer to a camera the finger fills more of its sensor.
    EXPECT_GT(s.master[0].width, s.slave[0].width);
    fingers.lift();
    const TouchSpots none = fingers.report(TouchRequest{}, 0);
    EXPECT_EQ(none.masterCount + none.slaveCount, 0);
}

// Each noise model over many frames of one touch: how far the spot strays
// and how often (the uniform one to every half pixel within its amplitude).
// Amplitude 0 is the exact position whatever the model.
struct NoiseRow {
    const char* name;
    NoiseModel model;
    int widest;       // the farthest a frame strays (half pixels)
    int strayOneIn;   // frames beyond 1 half pixel: at most one in this many (0: any number)
    bool moves;       // the mean of the last frames differs from the first ones'
};

class NoiseModels : public ::testing::TestWithParam<NoiseRow> {};

TEST_P(NoiseModels, HowFarAndHowOftenTheSpotStrays)
{
    Fingers f;
    FingerSettings s;
    s.jitter = 1;
    s.noise = GetParam().model;
    s.seed = 7;
    f.configure(s);
    f.press(1240, 708);
    const long e = std::lround(*f.exactPosition(Side::Left, 1240, 708));
    int stray = 0;
    long widest = 0;
    double early = 0.0, late = 0.0;
    std::set<long> seen;
    constexpr int kFrames = 120;
    for (int i = 0; i < kFrames; ++i) {
        const long p = f.report(TouchRequest{}, 0).master[0].position;
        widest = std::max(widest, std::labs(p - e));
        stray += std::labs(p - e) > 1;
        seen.insert(p - e);
        if (i < 20)
            early += p / 20.0;
        else if (i >= kFrames - 20)
            late += p / 20.0;
    }
    EXPECT_LE(widest, GetParam().widest);
    if (GetParam().strayOneIn > 0) {
        EXPECT_LE(stray * GetParam().strayOneIn, kFrames) << stray;
    }
    EXPECT_EQ(std::abs(late - early) >= 1.0, GetParam().moves) << early << " " << late;
    if (GetParam().model == NoiseModel::Uniform) {
        EXPECT_EQ(seen, (std::set<long>{-1, 0, 1}));
    }

    s.jitter = 0;
    f.configure(s);
    f.press(1240, 708);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(f.report(TouchRequest{}, 0).master[0].position, e);
}

INSTANTIATE_TEST_SUITE_P(Models, NoiseModels,
                         ::testing::Values(NoiseRow{"Uniform", NoiseModel::Uniform, 1, 0, false},
                                           NoiseRow{"Gauss", NoiseModel::Gaussian, 4, 4, false},
                                           NoiseRow{"Outliers", NoiseModel::Outliers, 14, 8, false},
                                           NoiseRow{"Drift", NoiseModel::Drift, 4, 0, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(FingersTest, ABiggerOrNearerFingerLeavesAWiderSpot)
{
    fingers.press(1240, 708);
    const uint16_t width = fingers.report(TouchRequest{}, 0).master[0].width;
    FingerSettings s = fingers.settings();
    s.fingerMm = 24.0;
    fingers.configure(s);
    fingers.press(1240, 708);
    EXPECT_GT(fingers.report(TouchRequest{}, 0).master[0].width, width + 2);
    fingers.configure(FingerSettings{.jitter = 0});
    fingers.press(300, 200);
    EXPECT_GT(fingers.report(TouchRequest{}, 0).master[0].width, width + 2);
}

TEST_F(FingersTest, ABlindCameraAndAReflection)
{
    FingerFaults faults;
    faults.blindRight = true;
    faults.reflection = true;
    fingers.setFaults(faults);
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
    EXPECT_EQ(b.master[0].position, exact(Side::Left, 960, 540, 1));
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
    fingers.setFaults(FingerFaults{.stuck = true});
    fingers.press(300, 300);
    fingers.lift();
    EXPECT_EQ(fingers.report(TouchRequest{}, 0).masterCount, 1);
}

TEST(TouchItems, ItemsSetTheFingerAndUnknownOnesAreNamed)
{
    Fingers f;
    EXPECT_EQ(applyTouchItems(f, "auto, jitter=2,aim=5,second-finger,seed=9,noise=gauss,finger=15"), "");
    const FingerSettings s = f.settings();
    EXPECT_TRUE(s.autoTouch);
    EXPECT_EQ(s.jitter, 2);
    EXPECT_DOUBLE_EQ(s.aim, 5.0);
    EXPECT_TRUE(s.secondFinger);
    EXPECT_EQ(s.seed, 9u);
    EXPECT_EQ(s.noise, NoiseModel::Gaussian);
    EXPECT_DOUBLE_EQ(s.fingerMm, 15.0);
    EXPECT_EQ(applyTouchItems(f, "reflection,jitter=-1,wobble,noise=pink"), "jitter=-1");
    EXPECT_TRUE(f.faults().reflection);
}

TEST(TouchItems, FaultItemsReachTheFramesFingers)
{
    SimulatedFrame frame;
    EXPECT_EQ(applyFaultItems(frame, "blind-left,finger-stuck,edge-spots"), "");
    const FingerFaults f = frame.faults().fingers;
    EXPECT_TRUE(f.blindLeft);
    EXPECT_FALSE(f.blindRight);
    EXPECT_TRUE(f.stuck);
    EXPECT_TRUE(f.edgeSpots);
    EXPECT_EQ(frame.fingers().faults(), f) << "the fingers take the plan's section";
}

} // namespace
} // namespace tovrin::sim
