// Mapping a touch as the frame does with a stored record, and the dense-grid
// figure of a calibration on the simulated frame.

#include "RunFixture.h"

#include "calibration/math/CameraModel.h"
#include "calibration/run/Accuracy.h"
#include "calibration/run/FrameMapping.h"

#include <cmath>

namespace tovrin::calib::test {
namespace {

constexpr int32_t kOne = 1 << 20;  // 1.0 in Q20

// The ideal block of a typical frame with every cell correction the identity.
records::StClbInfo identityBlock(const CameraModel& model, int cells = 9)
{
    records::StClbInfo b = model.idealBlock();
    for (int c = 0; c < cells; ++c) {
        b.X[c][0] = kOne;
        b.X[c][4] = kOne;
    }
    const auto pts = screenPoints16(kWidth, kHeight);
    for (int i = 0; i < 16; ++i)
        b.EvalPt[i] = {static_cast<int16_t>(pts[static_cast<size_t>(i)].x), static_cast<int16_t>(pts[static_cast<size_t>(i)].y)};
    return b;
}

int32_t sensor(const CameraModel& m, Camera c, double x, double y)
{
    return static_cast<int32_t>(std::lround(*m.sensorPosition(c, x, y)));
}

TEST(FrameMapping, IdealBlockMapsAFingerBackToItsPlace)
{
    const CameraModel model(CameraModel::typical(kWidth, kHeight));
    const FrameMapping mapping(identityBlock(model), 0);
    for (auto [x, y] : {std::pair{300.0, 200.0}, {960.0, 540.0}, {1700.0, 1000.0}, {100.0, 900.0}}) {
        const auto p = mapping.map(sensor(model, Camera::Left, x, y), sensor(model, Camera::Right, x, y));
        ASSERT_TRUE(p);
        EXPECT_NEAR(p->x, x, 2.0);
        EXPECT_NEAR(p->y, y, 2.0);
    }
}

TEST(FrameMapping, EachTouchTakesTheCorrectionOfItsOwnCell)
{
    // The middle cell (4, between points 5, 6, 9, 10) moves touches 50 px
    // right; a touch there moves, one in the top left cell does not.
    const CameraModel model(CameraModel::typical(kWidth, kHeight));
    records::StClbInfo b = identityBlock(model);
    b.X[4][2] = 50 * kOne;
    const FrameMapping mapping(b, 0);
    const auto middle = mapping.map(sensor(model, Camera::Left, 960, 540), sensor(model, Camera::Right, 960, 540));
    const auto corner = mapping.map(sensor(model, Camera::Left, 300, 200), sensor(model, Camera::Right, 300, 200));
    ASSERT_TRUE(middle && corner);
    EXPECT_NEAR(middle->x, 1010.0, 2.0);
    EXPECT_NEAR(corner->x, 300.0, 2.0);
    // Below the last row of points the bottom cells still apply.
    b.X[7][5] = -30 * kOne;
    const FrameMapping lower(b, 0);
    const auto bottom = lower.map(sensor(model, Camera::Left, 960, 1070), sensor(model, Camera::Right, 960, 1070));
    ASSERT_TRUE(bottom);
    EXPECT_NEAR(bottom->y, 1040.0, 2.0);
}

TEST(FrameMapping, AFourPointRecordHasOneCell)
{
    const CameraModel model(CameraModel::typical(kWidth, kHeight));
    records::StClbInfo b = identityBlock(model, 1);
    b.X[0][5] = 20 * kOne;  // the one cell moves everything 20 px down
    const FrameMapping mapping(b, 0);
    EXPECT_TRUE(mapping.fourPoint());
    for (auto [x, y] : {std::pair{300.0, 200.0}, {1700.0, 1000.0}}) {
        const auto p = mapping.map(sensor(model, Camera::Left, x, y), sensor(model, Camera::Right, x, y));
        ASSERT_TRUE(p);
        EXPECT_NEAR(p->y, y + 20.0, 2.0);
    }
}

TEST(FrameMapping, ParallelRaysMapNothing)
{
    records::StClbInfo none;  // an erased solution: no scale
    EXPECT_FALSE(FrameMapping(none, 0).map(600, 600));
}

TEST(ScreenClasses, OnlyClosedRangesGiveADiagonal)
{
    EXPECT_FALSE(diagonalInches(0));
    EXPECT_DOUBLE_EQ(*diagonalInches(3), 60.5);  // 56-65 inches
    EXPECT_FALSE(diagonalInches(7));
    EXPECT_FALSE(diagonalInches(84));
}

TEST_F(RunTest, AnUnnoisyCalibrationFeelsAccurateEverywhere)
{
    const RunReport r = run();
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    // What the frame stored, not what the run kept in memory.
    const auto stored = records::CalInfo::decode(
        std::span<const uint8_t, records::kCalInfoSize>(recordBytes(*frame, sim::Unit::Slave).data(), records::kCalInfoSize));
    sim::Fingers& f = frame->fingers();
    const GridFigure g = measureGrid(FrameMapping(stored.solution, 0), kWidth, kHeight, 15, 9,
                                     touchThroughFrame([&f](double x, double y) { f.press(x, y); }, [&f] { f.lift(); }),
                                     diagonalInches(3));
    EXPECT_EQ(g.touched, 135);
    EXPECT_EQ(g.missed, 0);
    // The simulated lenses follow the lens table only approximately and are
    // mounted with production tolerances: a calibration keeps about 2 px on
    // average and up to 8 at the top edge, where the rays meet at a flat angle.
    EXPECT_LT(g.meanPx, 2.5);
    EXPECT_LT(g.maxPx, 10.0) << g.meanPx;
    ASSERT_TRUE(g.meanMm);
    EXPECT_NEAR(*g.meanMm, g.meanPx * 60.5 * 25.4 / std::hypot(1920.0, 1080.0), 1e-9);
    EXPECT_EQ(g.rowMeanPx.size(), 9u);
}

} // namespace
} // namespace tovrin::calib::test
