// The product solver against the step-by-step reference: the same solution
// block to the byte and the same corner columns, over many inputs.
#include "calibration/math/CameraModel.h"
#include "calibration/math/Evaluation.h"
#include "tests/calibration/ReferenceSolver.h"
#include "tests/calibration/Synthetic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace tovrin::calib;
namespace ref = tovrin::calib::reference;

namespace {

FrameGeometry randomGeometry(std::mt19937& rng, int w)
{
    std::uniform_real_distribution<double> margin(5.0, 80.0), off(-4.0, 2.0), r(0.8, 1.0);
    std::uniform_int_distribution<int> shift(-8, 8), variant(0, 1);
    FrameGeometry g;
    g.variant = variant(rng);
    g.r = (w + 80) * 16.0 * 1.0 <= 32767 ? r(rng) : 0.5;
    g.left = {-margin(rng) * g.r, -margin(rng), shift(rng), off(rng)};
    g.right = {(w + margin(rng)) * g.r, -margin(rng), shift(rng), off(rng)};
    return g;
}

void expectSame(const CalibSolver& solver, SolveStatus status, const ref::RefSolution& r, const char* what)
{
    ASSERT_EQ(status, r.status) << what;
    EXPECT_EQ(solver.block().encode(), r.block.encode()) << what;
    if (status == SolveStatus::Ok) {
        EXPECT_EQ(solver.bestR(), r.bestR) << what;
        EXPECT_EQ(solver.leftOffset(), r.leftOffset) << what;
        EXPECT_EQ(solver.rightOffset(), r.rightOffset) << what;
    }
}

void expectSolve16Same(int variant, const CalibInput16& in, const SolveOptions& window, const char* what)
{
    CalibSolver solver(variant);
    const SolveStatus s = solver.Solve16(in, {}, window);
    expectSame(solver, s, ref::refSolve16(variant, in, window), what);
}

} // namespace

TEST(Exactness, MapTouchMatchesBitForBit)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pos(-100, 1400), po(-2000, 32000), sh(-50, 50);
    std::uniform_real_distribution<double> off(-6.0, 6.0);
    for (int n = 0; n < 20000; ++n) {
        const int variant = n & 1;
        tovrin::records::StClbInfo b;
        b.LCam.Po_l4 = {static_cast<std::int16_t>(po(rng) / 16 - 500), static_cast<std::int16_t>(-po(rng) / 64)};
        b.RCam.Po_l4 = {static_cast<std::int16_t>(po(rng)), static_cast<std::int16_t>(-po(rng) / 64)};
        b.LCam.L_A = sh(rng);
        b.RCam.L_A = sh(rng);
        const double oL = n % 97 == 0 ? 0.0 : off(rng), oR = off(rng);
        const int pl = pos(rng), pr = pos(rng);
        const MapResult a = mapTouch(LensTable(variant), b.LCam, b.RCam, oL, oR, 1.0 + n % 7 / 10.0, pl, pr);
        const MapResult e = ref::refMapTouch(variant, b, oL, oR, 1.0 + n % 7 / 10.0, pl, pr);
        ASSERT_EQ(std::memcmp(&a.x, &e.x, sizeof(float)), 0) << n;
        ASSERT_EQ(std::memcmp(&a.y, &e.y, sizeof(float)), 0) << n;
    }
}

TEST(Exactness, SolveCameraMatchesForSingleScales)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> step(0, 150);
    for (int n = 0; n < 6; ++n) {
        const FrameGeometry g = randomGeometry(rng, 1920);
        const CalibInput16 in = test::capture16(CameraModel(g), 1920, 1080, n % 3, static_cast<unsigned>(n));
        const double r = scaleOfStep(step(rng));
        const auto pts = screenPoints16(1920, 1080);
        const CalibSolver solver(g.variant);
        for (Camera cam : {Camera::Left, Camera::Right}) {
            const auto& p = cam == Camera::Left ? in.oneDLeft : in.oneDRight;
            const auto& t = cam == Camera::Left ? pts : mirrored(pts);
            const CameraFit a = solver.SolveCamera(cam, r, p, t);
            const CameraFit e = ref::refSolveCamera16(g.variant, cam, r, p, t);
            ASSERT_EQ(a.found, e.found);
            EXPECT_EQ(a.x, e.x);
            EXPECT_EQ(a.y, e.y);
            EXPECT_EQ(a.shift, e.shift);
            EXPECT_EQ(a.offset, e.offset);
            EXPECT_EQ(a.spread, e.spread);
        }
    }
}

// Many generated captures, each over a window of scales around its truth
// (the full range is compared once below and in the benchmark).
TEST(Exactness, Solve16MatchesOverGeneratedCaptures)
{
    std::mt19937 rng(1234);
    const int sizes[][2] = {{1920, 1080}, {1024, 768}, {1080, 1920}, {800, 600}, {1366, 768}};
    for (int n = 0; n < 20; ++n) {
        const int w = sizes[n % 5][0], h = sizes[n % 5][1];
        const FrameGeometry g = randomGeometry(rng, w);
        const CalibInput16 in = test::capture16(CameraModel(g), w, h, n % 4, static_cast<unsigned>(n));
        const int k = static_cast<int>((g.r - 0.5) * 100);
        expectSolve16Same(g.variant, in, {std::max(0, k - 3), std::min(150, k + 3)}, "generated");
    }
}

TEST(Exactness, Solve16MatchesOnGarbage)
{
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> pos(0, 1300);
    for (int n = 0; n < 8; ++n) {
        CalibInput16 in;
        in.width = 1920;
        in.height = 1080;
        for (auto& p : in.oneDLeft)
            p = pos(rng);
        for (auto& p : in.oneDRight)
            p = pos(rng);
        if (n == 0) {
            in.oneDLeft.fill(640);
        }
        expectSolve16Same(n & 1, in, {40 + n, 43 + n}, "garbage");
    }
}

TEST(Exactness, Solve16MatchesOverTheWholeScaleRange)
{
    const CameraModel model(CameraModel::typical(1024, 768, 1));
    expectSolve16Same(1, test::capture16(model, 1024, 768, 1, 3), {}, "full range");
}

TEST(Exactness, Solve16MatchesWhenAPointLandsOnTheLastEntry)
{
    // A mis-detected point 9 exactly on T[67] at the largest shift the range
    // allows for this capture: product and reference both skip that shift.
    const CameraModel model(CameraModel::typical(1920, 1080, 0));
    CalibInput16 in = test::capture16(model, 1920, 1080);
    const LensTable t(0);
    const double high = t.last() - in.oneDLeft[3] / 2.0 - 1.0;
    const int s1 = high < kMaxShift ? static_cast<int>(std::trunc(high)) : kMaxShift;
    in.oneDLeft[9] = static_cast<std::int32_t>(2 * (t.last() - s1));
    const CalibSolver solver(0);
    const auto pts = screenPoints16(1920, 1080);
    const CameraFit fast = solver.SolveCamera(Camera::Left, 1.0, in.oneDLeft, pts);
    const CameraFit slow = ref::refSolveCamera16(0, Camera::Left, 1.0, in.oneDLeft, pts);
    ASSERT_EQ(fast.found, slow.found);
    EXPECT_EQ(fast.shift, slow.shift);
    EXPECT_NE(fast.shift, s1);
    EXPECT_EQ(fast.spread, slow.spread);
    expectSolve16Same(0, in, {45, 55}, "point on the last entry");
}

TEST(Exactness, PortableAndAvx2SearchesAgreeToTheBit)
{
    std::mt19937 rng(2024);
    for (int n = 0; n < 3; ++n) {
        const FrameGeometry g = randomGeometry(rng, 1366);
        const CalibInput16 in = test::capture16(CameraModel(g), 1366, 768, n, static_cast<unsigned>(n));
        const int k = static_cast<int>((g.r - 0.5) * 100);
        const SolveOptions window{std::max(0, k - 3), std::min(150, k + 3)};
        CalibSolver portable(g.variant), avx2(g.variant);
        setSearchPath(SearchPath::Portable);
        ASSERT_EQ(activeSearchPath(), SearchPath::Portable);
        const SolveStatus sp = portable.Solve16(in, {}, window);
        setSearchPath(SearchPath::Avx2);
        const SolveStatus sa = avx2.Solve16(in, {}, window);
        setSearchPath(SearchPath::Automatic);
        expectSame(portable, sp, ref::refSolve16(g.variant, in, window), "portable");
        expectSame(avx2, sa, ref::refSolve16(g.variant, in, window), "avx2 where the processor has it");
    }
}

TEST(Exactness, Solve4MatchesOverGeneratedCaptures)
{
    std::mt19937 rng(4321);
    for (int n = 0; n < 12; ++n) {
        const int w = n % 2 ? 1920 : 1280, h = n % 2 ? 1080 : 1024;
        const FrameGeometry g = randomGeometry(rng, w);
        const CalibInput4 in = test::capture4(CameraModel(g), w, h, n % 3, static_cast<unsigned>(n));
        const SolveOptions window = n == 0 ? SolveOptions{} : SolveOptions{n * 10, n * 10 + 8};
        CalibSolver solver(g.variant, "gFastClbInfo");
        const SolveStatus s = solver.Solve4(in, {}, window);
        expectSame(solver, s, ref::refSolve4(g.variant, in, window), "4-point");
    }
}

TEST(Exactness, CornerSearchMatches)
{
    std::mt19937 rng(77);
    for (int n = 0; n < 6; ++n) {
        const int w = n % 2 ? 1920 : 1024, h = n % 2 ? 1080 : 768;
        const FrameGeometry g = randomGeometry(rng, w);
        const CalibInput16 in = test::capture16(CameraModel(g), w, h, n % 2, static_cast<unsigned>(n));
        const int k = static_cast<int>((g.r - 0.5) * 100);
        CalibSolver solver(g.variant);
        ASSERT_EQ(solver.Solve16(in, {}, {std::max(0, k - 2), std::min(150, k + 2)}), SolveStatus::Ok);
        // Also a deliberately skewed mapper: offsets that push rays across
        // the axis, where the angle is bent to 0.001 degrees.
        TouchMapper m = solver.mapper();
        if (n == 5) {
            m.leftOffset += 6.0;
            m.rightOffset -= 3.0;
        }
        const CornerWindow fast = SearchCorners(m, w, h);
        tovrin::records::StClbInfo b;
        b.LCam = m.left;
        b.RCam = m.right;
        const CornerWindow slow = ref::refSearchCorners(g.variant, b, m.leftOffset, m.rightOffset, m.r, w, h);
        EXPECT_EQ(fast, slow) << n;
    }
}
