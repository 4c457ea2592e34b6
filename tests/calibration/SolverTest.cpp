#include "calibration/math/CameraModel.h"
#include "calibration/math/LensTable.h"
#include "calibration/math/Projective.h"
#include "calibration/math/Solver.h"
#include "tests/calibration/Synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tovrin::calib;
using tovrin::records::StClbInfo;

// --- lens table and rays -----------------------------------------------------

TEST(LensTable, HalvesThePositionsExactly)
{
    // Odd half-pixel positions keep their half: 157 is column 78.5.
    for (int variant : {0, 1}) {
        const LensTable t(variant);
        const auto& positions = tovrin::records::pPosTable(variant);
        for (std::size_t k = 0; k < positions.size(); ++k)
            EXPECT_EQ(t[static_cast<int>(k)], positions[k] / 2.0) << variant << " " << k;
    }
    // So do the reported positions: 313 is column 156.5, not 156.
    const LensTable t(0);
    EXPECT_NE(rayAngle(t, 313, 0, 0.0), rayAngle(t, 312, 0, 0.0));
    EXPECT_DOUBLE_EQ(rayAngle(t, 157, 0, 0.0), 6 * kAngleStep);  // P_Pos[6] = 157: column 78.5
}

TEST(LensTable, ColumnAtAnEntryUsesThatEntrysSegment)
{
    const LensTable t(0);
    for (int k = 0; k < 68; ++k)
        EXPECT_EQ(t.angleIndex(t[k]), double(k)) << k;
    EXPECT_DOUBLE_EQ(t.angleIndex(11.5), 0.5);              // between 5 and 18
    EXPECT_DOUBLE_EQ(t.angleIndex(-8.0), -1.0);             // first segment extended
    EXPECT_DOUBLE_EQ(t.angleIndex(644.0), 66.0 + 30 / 15.0); // last segment extended
}

TEST(LensTable, TheLastEntryIsNotOnTheTable)
{
    // Segments are T[k] <= q < T[k+1]: the last entry starts none.
    for (int variant : {0, 1}) {
        const LensTable t(variant);
        EXPECT_TRUE(t.contains(t.first())) << variant;
        EXPECT_TRUE(t.contains(std::nextafter(t.last(), 0.0))) << variant;
        EXPECT_FALSE(t.contains(t.last())) << variant;
    }
}

TEST(LensTable, ColumnAtIndexInvertsAngleIndex)
{
    for (int variant : {0, 1}) {
        const LensTable t(variant);
        for (double q = -20.0; q < 660.0; q += 3.7)
            EXPECT_NEAR(t.columnAtIndex(t.angleIndex(q)), q, 1e-9) << variant << " " << q;
    }
}

struct ClampRow {
    const char* name;
    double in, out;
};
class AngleClamp : public testing::TestWithParam<ClampRow> {};
TEST_P(AngleClamp, BendsAnglesNearTheAxis) { EXPECT_EQ(clampAngle(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(Rows, AngleClamp,
                         testing::Values(ClampRow{"zero", 0.0, 0.001}, ClampRow{"negZero", -0.0, 0.001},
                                         ClampRow{"small", 0.0005, 0.001}, ClampRow{"smallNeg", -0.0005, -0.001},
                                         ClampRow{"limit", 0.001, 0.001}, ClampRow{"negLimit", -0.001, -0.001},
                                         ClampRow{"normal", 12.5, 12.5}),
                         [](const auto& row) { return std::string(row.param.name); });

// --- mapping -----------------------------------------------------------------

TEST(MapTouch, ParallelRaysGiveTheMarker)
{
    // Positions at T[0] with no shift: the angle is the offset exactly.
    StClbInfo b;
    b.LCam.Po_l4 = {-100, -100};
    b.RCam.Po_l4 = {20000, -100};
    const LensTable t(0);
    const MapResult m = mapTouch(t, b.LCam, b.RCam, 45.0, -45.0, 1.0, 10, 10);
    EXPECT_TRUE(m.parallel());
    EXPECT_EQ(m.x, -32768.0f);
    EXPECT_EQ(m.y, -32768.0f);
    EXPECT_FALSE(mapTouch(t, b.LCam, b.RCam, 45.0, -44.0, 1.0, 10, 10).parallel());
}

TEST(MapTouch, ExactZeroAngleIsBentNotInfinite)
{
    StClbInfo b;
    b.LCam.Po_l4 = {0, 0};
    b.RCam.Po_l4 = {16000, 0};
    const LensTable t(0);
    // Left angle 0 exactly (straight down): slope of 89.999 degrees, finite.
    const MapResult m = mapTouch(t, b.LCam, b.RCam, 0.0, 45.0, 1.0, 10, 10);
    EXPECT_TRUE(std::isfinite(m.x));
    EXPECT_TRUE(std::isfinite(m.y));
    EXPECT_NEAR(m.x, 0.0, 1.0);
}

TEST(MapTouch, NoScaleMapsNothing)
{
    CalibSolver solver(0);
    StClbInfo b;  // erased block: r_fix 0
    solver.load(b);
    EXPECT_TRUE(solver.MapTouch(600, 600).parallel());
}

TEST(MapTouch, IdealSolutionMapsTheModelsPositionsBack)
{
    const CameraModel model(CameraModel::typical(1920, 1080));
    CalibSolver solver(0);
    solver.load(model.idealBlock());
    for (double x = 40; x < 1920; x += 173)
        for (double y = 30; y < 1080; y += 131) {
            const double pl = *model.sensorPosition(Camera::Left, x, y);
            const double pr = *model.sensorPosition(Camera::Right, x, y);
            const int il = int(std::lround(pl)), ir = int(std::lround(pr));
            const MapResult m = solver.MapTouch(il, ir);
            // The mapped point is where the model sees the rounded positions
            // (up to the 1/16 pixel camera positions and the float result):
            // mapping and model are each other's inverse.
            EXPECT_NEAR(*model.sensorPosition(Camera::Left, m.x, m.y), il, 0.25) << x << "," << y;
            EXPECT_NEAR(*model.sensorPosition(Camera::Right, m.x, m.y), ir, 0.25) << x << "," << y;
            // Near the top edge both rays run almost along it and half a
            // pixel on the sensor moves the crossing a long way.
            if (y > 200) {
                EXPECT_NEAR(m.x, x, 2.5) << x << "," << y;
                EXPECT_NEAR(m.y, y, 2.5) << x << "," << y;
            }
        }
}

// --- scale choice ------------------------------------------------------------

TEST(ScaleChoice, EqualErrorKeepsTheLargerScale)
{
    ScaleChoice c;
    EXPECT_TRUE(c.offer(10, 50.0));
    EXPECT_TRUE(c.offer(11, 50.0));
    EXPECT_FALSE(c.offer(12, 50.5));
    EXPECT_EQ(c.step, 11);
    EXPECT_TRUE(c.offer(13, 49.0));
    EXPECT_EQ(c.step, 13);
}

TEST(ScaleChoice, ErrorsThatAreNotNumbersNeverWin)
{
    ScaleChoice c;
    EXPECT_FALSE(c.offer(0, std::nan("")));
    EXPECT_FALSE(c.offer(1, HUGE_VAL));
    EXPECT_FALSE(c.have);
    EXPECT_TRUE(c.offer(2, 1e9));  // the first comparable error starts the choice
    EXPECT_FALSE(c.offer(3, std::nan("")));
    EXPECT_EQ(c.step, 2);
}

// --- the solve ---------------------------------------------------------------

namespace {

CalibInput16 sane16(int w = 800, int h = 600, int variant = 0)
{
    return test::capture16(CameraModel(CameraModel::typical(w, h, variant)), w, h);
}

} // namespace

TEST(Solve16, SingleScaleWindowsGiveRFixAtTheEnds)
{
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(sane16(), {}, {0, 0}), SolveStatus::Ok);
    EXPECT_EQ(solver.block().r_fix, 512);
    ASSERT_EQ(solver.Solve16(sane16(), {}, {150, 150}), SolveStatus::Ok);
    EXPECT_EQ(solver.block().r_fix, 2048);
}

TEST(Solve16, ProgressRunsFrom10To60)
{
    CalibSolver solver(0);
    std::vector<int> progress;
    SolveHooks hooks;
    hooks.progress = [&](int p) { progress.push_back(p); };
    ASSERT_EQ(solver.Solve16(sane16(), hooks), SolveStatus::Ok);
    ASSERT_EQ(progress.size(), 151u);
    EXPECT_EQ(progress.front(), 10);
    EXPECT_EQ(progress[29], 10);
    EXPECT_EQ(progress[30], 20);
    EXPECT_EQ(progress.back(), 60);
}

TEST(Solve16, StopRequestEndsWithoutResult)
{
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(sane16()), SolveStatus::Ok);
    for (int after : {0, 1, 50, 300}) {
        int polls = 0;
        SolveHooks hooks;
        hooks.stopRequested = [&] { return ++polls > after; };
        EXPECT_EQ(solver.Solve16(sane16(), hooks), SolveStatus::Stopped) << after;
        EXPECT_TRUE(solver.block() == StClbInfo{}) << after;
    }
}

TEST(Solve16, TwoSolversDoNotShareState)
{
    CalibSolver a(0), b(1);
    ASSERT_EQ(a.Solve16(sane16(800, 600, 0)), SolveStatus::Ok);
    const auto first = a.block().encode();
    ASSERT_EQ(b.Solve16(sane16(1024, 768, 1)), SolveStatus::Ok);
    EXPECT_EQ(a.block().encode(), first);
    EXPECT_NE(b.block().encode(), first);
}

struct DegenerateRow {
    const char* name;
    int width, height;
    std::int32_t left, right;
};

class Solve16Degenerate : public testing::TestWithParam<DegenerateRow> {};

TEST_P(Solve16Degenerate, RefusesOrGivesAStorableResult)
{
    const auto& row = GetParam();
    CalibInput16 in;
    in.width = row.width;
    in.height = row.height;
    in.oneDLeft.fill(row.left);
    in.oneDRight.fill(row.right);
    CalibSolver solver(0);
    const SolveStatus s = solver.Solve16(in, {}, {70, 75});
    EXPECT_NE(s, SolveStatus::Ok) << solveStatusName(s);
    EXPECT_TRUE(solver.block() == StClbInfo{});
}

INSTANTIATE_TEST_SUITE_P(Rows, Solve16Degenerate,
                         testing::Values(DegenerateRow{"allEqual", 1920, 1080, 640, 640},
                                         DegenerateRow{"zeros", 1920, 1080, 0, 0},
                                         DegenerateRow{"erased", 1920, 1080, 0xFFFF, 0xFFFF},
                                         DegenerateRow{"belowTable", 1920, 1080, 2, 3},
                                         DegenerateRow{"hugeValues", 1920, 1080, 2147483647, -2147483647 - 1},
                                         DegenerateRow{"noScreen", 0, 0, 600, 600},
                                         DegenerateRow{"screenBeyond16Bits", 70000, 1080, 600, 600}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Solve16, BadOptionWindowIsRefused)
{
    CalibSolver solver(0);
    EXPECT_EQ(solver.Solve16(sane16(), {}, {10, 9}), SolveStatus::BadInput);
    EXPECT_EQ(solver.Solve16(sane16(), {}, {-1, 9}), SolveStatus::BadInput);
    EXPECT_EQ(solver.Solve16(sane16(), {}, {0, 151}), SolveStatus::BadInput);
}

TEST(Solve16, ShiftRangeKeepsTheNearPointOnTheTable)
{
    // Point 12 of the left camera close to T[0]: negative shifts are limited
    // so that no shifted position of it falls below the table.
    CalibInput16 in = sane16();
    const LensTable t(0);
    in.oneDLeft[12] = int(2 * t[0]) + 6;  // 3 pixels above T[0]
    CalibSolver solver(0);
    const CameraFit fit = solver.SolveCamera(Camera::Left, 1.0, in.oneDLeft, screenPoints16(800, 600));
    if (fit.found) {
        EXPECT_GE(fit.shift, -3);
    }
}

TEST(SolveCamera, APairedPointOnTheLastEntrySkipsItsShift)
{
    // Points 12 and 3 allow shift 0 only (the shift range keeps point 3 one
    // pixel below T[67]); a mis-detected point 9 sits exactly on T[67]
    // there, so no combination is left.
    const LensTable t(0);
    std::array<std::int32_t, 16> p{};
    for (int i = 0; i < 16; ++i)
        p[static_cast<std::size_t>(i)] = 100 + 60 * i;
    p[12] = static_cast<std::int32_t>(2 * t.first());
    p[3] = static_cast<std::int32_t>(2 * (t.last() - 1.0));
    const CalibSolver solver(0);
    const auto pts = screenPoints16(800, 600);
    ASSERT_TRUE(solver.SolveCamera(Camera::Left, 1.0, p, pts).found) << "one pixel lower it is on the table";
    p[9] = static_cast<std::int32_t>(2 * t.last());
    EXPECT_FALSE(solver.SolveCamera(Camera::Left, 1.0, p, pts).found);
}

TEST(Solve16, AFailedSolveLeavesNothingToMapWith)
{
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(sane16()), SolveStatus::Ok);
    CalibInput16 garbage = sane16();
    garbage.oneDLeft.fill(640);
    garbage.oneDRight.fill(640);
    ASSERT_NE(solver.Solve16(garbage, {}, {70, 75}), SolveStatus::Ok);
    EXPECT_TRUE(solver.MapTouch(600, 700).parallel());
    EXPECT_TRUE(solver.MapTouch(600, 700, false).parallel());
    EXPECT_TRUE(solver.mapper().map(600, 700).parallel());
    EXPECT_EQ(solver.bestR(), 0.0);
}

// --- correction ----------------------------------------------------------------

TEST(Projective, IdentityCellIsOneAndZeros)
{
    CellCorners c;
    c.x = c.u = {100, 700, 100, 700};
    c.y = c.v = {50, 50, 400, 400};
    std::array<double, 8> h{};
    ASSERT_EQ(solveProjective(c, h), LinearResult::Ok);
    std::array<std::int32_t, 8> q{};
    for (std::size_t i = 0; i < 8; ++i)
        ASSERT_TRUE(toQ20(h[i], q[i]));
    EXPECT_EQ(q, (std::array<std::int32_t, 8>{1048576, 0, 0, 0, 1048576, 0, 0, 0}));
}

TEST(Projective, MapsTheFourCornersOntoTheTargets)
{
    CellCorners c;
    c.x = {102, 690, 95, 713};
    c.y = {48, 55, 410, 398};
    c.u = {100, 700, 100, 700};
    c.v = {50, 50, 400, 400};
    std::array<double, 8> h{};
    ASSERT_EQ(solveProjective(c, h), LinearResult::Ok);
    for (int k = 0; k < 4; ++k) {
        const double x = c.x[static_cast<std::size_t>(k)], y = c.y[static_cast<std::size_t>(k)];
        const double d = h[6] * x + h[7] * y + 1.0;
        EXPECT_NEAR((h[0] * x + h[1] * y + h[2]) / d, c.u[static_cast<std::size_t>(k)], 1e-6);
        EXPECT_NEAR((h[3] * x + h[4] * y + h[5]) / d, c.v[static_cast<std::size_t>(k)], 1e-6);
    }
}

TEST(Projective, CollinearOrEqualCornersAreSingular)
{
    CellCorners c;
    c.u = {100, 700, 100, 700};
    c.v = {50, 50, 400, 400};
    c.x = {300, 300, 300, 300};
    c.y = {200, 200, 200, 200};
    std::array<double, 8> h{};
    EXPECT_EQ(solveProjective(c, h), LinearResult::Singular);
    c.x = {100, 200, 300, 400};
    c.y = {100, 200, 300, 400};
    EXPECT_EQ(solveProjective(c, h), LinearResult::Singular);
}

TEST(Projective, PivotingSolvesAZeroLeadingEntry)
{
    std::array<std::array<double, 8>, 8> a{};
    std::array<double, 8> b{}, x{};
    a[0][0] = 0.0;
    a[0][1] = 1.0;
    a[1][0] = 1.0;
    a[1][1] = 1.0;
    b = {2.0, 5.0};
    ASSERT_EQ(solveLinear(a, b, 2, x), LinearResult::Ok);
    EXPECT_DOUBLE_EQ(x[0], 3.0);
    EXPECT_DOUBLE_EQ(x[1], 2.0);
}

TEST(Projective, Q20RoundsToTheNearestStep)
{
    // A negative coefficient is rounded as a positive one: "+ 0.5, then
    // toward zero" would store -0.3 as -314572 (-314572.8 is nearer -314573).
    std::int32_t q = 0;
    ASSERT_TRUE(toQ20(-0.3, q));
    EXPECT_EQ(q, -314573);
    ASSERT_TRUE(toQ20(0.3, q));
    EXPECT_EQ(q, 314573);
    ASSERT_TRUE(toQ20(-5.49 / 1048576.0, q));
    EXPECT_EQ(q, -5);
    ASSERT_TRUE(toQ20(-5.51 / 1048576.0, q));
    EXPECT_EQ(q, -6);
    EXPECT_FALSE(toQ20(2048.0, q));  // 2^31 does not fit
    EXPECT_TRUE(toQ20(-2048.0, q));
    EXPECT_EQ(q, -2147483647 - 1);
    EXPECT_FALSE(toQ20(std::nan(""), q));
}

TEST(BuildCorrection, CoincidingMappedPointsAreReportedSingular)
{
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(sane16()), SolveStatus::Ok);
    CalibInput16 in = sane16();
    in.oneDLeft.fill(600);
    in.oneDRight.fill(600);
    EXPECT_EQ(solver.BuildCorrection(in), SolveStatus::Singular);
}

TEST(BuildCorrection, APointWithParallelRaysIsNoEvaluationPoint)
{
    // Point 0 seen at T[0] by both cameras with no shift: its angles are the
    // offsets, +1 and -1 degree, and the two rays run parallel.
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(sane16()), SolveStatus::Ok);
    StClbInfo b = solver.block();
    b.LCam.L_A = 0;
    b.RCam.L_A = 0;
    b.LCam.L_Angle_fix = 1024;
    b.RCam.L_Angle_fix = -1024;
    solver.load(b);
    CalibInput16 in = sane16();
    in.oneDLeft[0] = 10;
    in.oneDRight[static_cast<std::size_t>(mirror16(0))] = 10;
    ASSERT_TRUE(solver.MapTouch(10, 10).parallel());
    EXPECT_EQ(solver.BuildCorrection(in), SolveStatus::NoSolution);
    for (const auto& pt : solver.block().EvalPt)
        EXPECT_EQ(pt, tovrin::records::StPoint16{}) << "nothing half-built is left in the block";
}
