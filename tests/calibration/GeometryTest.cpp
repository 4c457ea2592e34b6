// Synthetic calibrations: a frame of known geometry reports the calibration
// targets; the solver must find that geometry back.
#include "calibration/math/CameraModel.h"
#include "tests/calibration/Synthetic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace tovrin::calib;

struct ScreenRow {
    const char* name;
    int width, height, variant;
};

class SyntheticCalibration : public testing::TestWithParam<ScreenRow> {
protected:
    // Camera x is compared in screen pixels (solution x / R, times the plane
    // divisor): a slightly different scale moves the scaled x of the far
    // camera a long way.
    void expectNearTruth(const CalibSolver& solver, const CameraModel& model, double posTolerance,
                         double scaleTolerance)
    {
        const auto& g = model.geometry();
        const auto& b = solver.block();
        const double n = solver.plane();
        EXPECT_NEAR(b.r_fix, g.r * 1024, scaleTolerance * 1024);
        const double r = b.r_fix / 1024.0;
        EXPECT_NEAR(b.LCam.Po_l4.x / 16.0 / r * n, g.left.x / g.r, posTolerance);
        EXPECT_NEAR(b.LCam.Po_l4.y / 16.0 * n, g.left.y, posTolerance);
        EXPECT_NEAR(b.RCam.Po_l4.x / 16.0 / r * n, g.right.x / g.r, posTolerance);
        EXPECT_NEAR(b.RCam.Po_l4.y / 16.0 * n, g.right.y, posTolerance);
    }
    static void expectCorrected(const std::int32_t (&x)[8], tovrin::records::StPoint16 measured, ScreenPoint target)
    {
        double h[8];
        for (int n = 0; n < 8; ++n)
            h[n] = x[n] / 1048576.0;
        const auto map = [&](double mx, double my) {
            const double d = h[6] * mx + h[7] * my + 1.0;
            return std::pair{(h[0] * mx + h[1] * my + h[2]) / d, (h[3] * mx + h[4] * my + h[5]) / d};
        };
        // The cells are fitted to the unrounded points; the evaluation
        // points are those rounded to the nearest pixel, so the cell takes
        // an evaluation point as far from its target as half a pixel in x
        // and y moves it through the cell. And Q20 keeps h7, h8 to half of
        // 2^-20: the denominator may be off by (|x| + |y|) 2^-21, a pixel or
        // two at the far edge of a large screen.
        const auto [u, v] = map(measured.x, measured.y);
        const double d = h[6] * measured.x + h[7] * measured.y + 1.0;
        const double q20 = (std::abs(measured.x) + std::abs(measured.y) + 1.0) / 2097152.0 / std::fabs(d);
        double boundU = 0.01 + std::fabs(u) * q20, boundV = 0.01 + std::fabs(v) * q20;
        for (const double dx : {-0.5, 0.5})
            for (const double dy : {-0.5, 0.5}) {
                const auto [a, b] = map(measured.x + dx, measured.y + dy);
                boundU = std::max(boundU, std::fabs(a - u) + 0.01 + std::fabs(u) * q20);
                boundV = std::max(boundV, std::fabs(b - v) + 0.01 + std::fabs(v) * q20);
            }
        EXPECT_NEAR(u, target.x, boundU);
        EXPECT_NEAR(v, target.y, boundV);
    }
    static double diagonal(const ScreenRow& row) { return std::hypot(double(row.width), double(row.height)); }
};

TEST_P(SyntheticCalibration, SixteenPointsFindTheFrame)
{
    const auto& row = GetParam();
    const CameraModel model(CameraModel::typical(row.width, row.height, row.variant));
    CalibSolver solver(row.variant);
    ASSERT_EQ(solver.Solve16(test::capture16(model, row.width, row.height)), SolveStatus::Ok);
    expectNearTruth(solver, model, 0.01 * row.width + 6, 0.03);
    const AccuracyReport& a = solver.accuracy();
    EXPECT_EQ(a.count, 16);
    EXPECT_LT(a.max, 4.0 + 0.001 * diagonal(row));
    EXPECT_LE(a.mean, a.max);
    // EvalPt are the mapped points on the plane: near their targets too.
    const auto pts = screenPoints16(row.width, row.height);
    const int n = solver.plane();
    EXPECT_EQ(n, planeDivisor(row.width));
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(solver.block().EvalPt[i].x * n, pts[static_cast<std::size_t>(i)].x, 5 + 0.001 * diagonal(row)) << i;
        EXPECT_NEAR(solver.block().EvalPt[i].y * n, pts[static_cast<std::size_t>(i)].y, 5 + 0.001 * diagonal(row)) << i;
    }
    // Every cell's stored correction takes its measured corners onto the
    // targets.
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) {
            const int c = 3 * r + col, i = 4 * r + col;
            for (int k : {i, i + 1, i + 4, i + 5})
                expectCorrected(solver.block().X[c], solver.block().EvalPt[k], pts[static_cast<std::size_t>(k)]);
        }
}

TEST_P(SyntheticCalibration, FourPointsFindTheFrame)
{
    const auto& row = GetParam();
    const CameraModel model(CameraModel::typical(row.width, row.height, row.variant));
    CalibSolver solver(row.variant, "gFastClbInfo");
    ASSERT_EQ(solver.Solve4(test::capture4(model, row.width, row.height)), SolveStatus::Ok);
    // Four points pin the scale down less well than sixteen.
    expectNearTruth(solver, model, 0.01 * row.width + 6, 0.15);
    EXPECT_LT(solver.accuracy().max, 4.0);
    EXPECT_EQ(solver.accuracy().count, 4);
    // Only row 0 of X and EvalPt 0-3 are filled.
    for (int c = 1; c < 9; ++c)
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(solver.block().X[c][k], 0);
    for (int i = 4; i < 16; ++i)
        EXPECT_EQ(solver.block().EvalPt[i], tovrin::records::StPoint16{});
    const auto pts = screenPoints4(row.width, row.height);
    for (int k = 0; k < 4; ++k)
        expectCorrected(solver.block().X[0], solver.block().EvalPt[k], pts[static_cast<std::size_t>(k)]);
}

TEST_P(SyntheticCalibration, OneHalfPixelOfNoiseStaysBounded)
{
    const auto& row = GetParam();
    const CameraModel model(CameraModel::typical(row.width, row.height, row.variant));
    for (unsigned seed : {7u, 8u}) {
        CalibSolver solver(row.variant);
        ASSERT_EQ(solver.Solve16(test::capture16(model, row.width, row.height, 1, seed)), SolveStatus::Ok);
        EXPECT_LT(solver.accuracy().max, 8.0 + 0.002 * diagonal(row)) << seed;
        EXPECT_NEAR(solver.block().r_fix, model.geometry().r * 1024, 0.06 * 1024) << seed;
    }
}

TEST_P(SyntheticCalibration, FourNoisyPointsFindTheScaleByTheLeastShift)
{
    // Four corners fit a wide range of scales about equally well, the pixel
    // shift trading against R, so the least error alone follows the noise
    // (R 0.80-0.94 with shifts of -25 to -60 px on this frame). Of the
    // scales that fit, the one with the smallest shifts is near the frame's.
    const auto& row = GetParam();
    const CameraModel model(CameraModel::typical(row.width, row.height, row.variant));
    const auto& g = model.geometry();
    SolveOptions options;
    options.leastShiftScale = true;
    double scaleMiss = 0.0, shiftMiss = 0.0;
    constexpr int kSeeds = 12;
    for (unsigned seed = 1; seed <= kSeeds; ++seed) {
        CalibSolver solver(row.variant, "gFastClbInfo");
        ASSERT_EQ(solver.Solve4(test::capture4(model, row.width, row.height, 1, seed), {}, options), SolveStatus::Ok);
        scaleMiss += std::abs(solver.block().r_fix / 1024.0 - g.r);
        shiftMiss += std::abs(solver.block().LCam.L_A - g.left.shift) + std::abs(solver.block().RCam.L_A - g.right.shift);
    }
    EXPECT_LT(scaleMiss / kSeeds, 0.03);
    EXPECT_LT(shiftMiss / kSeeds, 16.0);
}

INSTANTIATE_TEST_SUITE_P(Screens, SyntheticCalibration,
                         testing::Values(ScreenRow{"hd", 1920, 1080, 0}, ScreenRow{"uhd", 3840, 2160, 0},
                                         ScreenRow{"xga", 1024, 768, 1}, ScreenRow{"portrait", 1080, 1920, 0},
                                         ScreenRow{"hdTableB", 1920, 1080, 1}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SyntheticCalibration, AScreenTooWideForTheCameraPlacesIsSolvedOnAPlane)
{
    // A 3840 pixel wide screen with square pixels: the right camera lies
    // near x = 3928, which x 16 does not fit 16 bits. Squeezing the scale
    // until it fits (R 0.52) bends every ray; on a plane of half the screen
    // the cameras keep their angles, stored unwrapped, and the corrections
    // scale the plane back up.
    FrameGeometry g = CameraModel::typical(3840, 2160);
    g.r = 1.0;
    g.left.x = -88.0;
    g.right.x = 3928.0;
    const CameraModel model(g);
    for (bool four : {false, true}) {
        SCOPED_TRACE(four ? "4 points" : "16 points");
        CalibSolver solver(0);
        ASSERT_EQ(four ? solver.Solve4(test::capture4(model, 3840, 2160))
                       : solver.Solve16(test::capture16(model, 3840, 2160)),
                  SolveStatus::Ok);
        EXPECT_EQ(solver.plane(), 2);
        EXPECT_NEAR(solver.bestR(), 1.0, four ? 0.1 : 0.03);
        EXPECT_NEAR(solver.block().RCam.Po_l4.x / 16.0 / solver.bestR(), 3928.0 / 2, 40.0);
        EXPECT_NEAR(solver.block().LCam.Po_l4.x / 16.0 / solver.bestR(), -88.0 / 2, 20.0);
        // In screen pixels, as every residual is.
        EXPECT_LT(solver.accuracy().max, 8.0);
        // The corrections take the plane's points onto the screen's targets.
        const double h1 = solver.block().X[0][0] / 1048576.0, h5 = solver.block().X[0][4] / 1048576.0;
        EXPECT_NEAR(h1, 2.0, 0.2);
        EXPECT_NEAR(h5, 2.0, 0.2);
    }
    // A screen the records hold as it is stays on its own pixels.
    EXPECT_EQ(planeDivisor(1920), 1);
    EXPECT_EQ(planeDivisor(1921), 2);
    EXPECT_EQ(planeDivisor(4095), 3);
}

TEST(CameraModel, PointsAboveTheCameraAreNotSeen)
{
    const CameraModel model(CameraModel::typical(1920, 1080));
    EXPECT_FALSE(model.sensorPosition(Camera::Left, 500, -100).has_value());
    EXPECT_TRUE(model.reportedPosition(Camera::Left, 500, 500).has_value());
}
