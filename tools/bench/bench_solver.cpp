// Calibration solver benchmark and offline solve.
//
//   tovrin-bench solver        one 16-point solve and one corner search on a
//                              synthetic 1920 x 1080 calibration, reference
//                              against product (portable and AVX2 search),
//                              timings and sameness
//   tovrin-bench solve <file>  solves captured points: first line "W H variant
//                              n" (n = 16 or 4), then n lines "left right"
//                              in capture order; prints the block as stored
//                              and the accuracy report
//
// The reference solver is shared with the tests and compiled in here by path.
#include "Bench.h"
#include "tests/calibration/ReferenceSolver.cpp"

#include "calibration/math/CameraModel.h"
#include "calibration/math/Evaluation.h"
#include "calibration/math/Solver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace tovrin::calib;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

CalibInput16 syntheticInput(int width, int height, int variant)
{
    const CameraModel model(CameraModel::typical(width, height, variant));
    const auto pts = screenPoints16(width, height);
    CalibInput16 in;
    in.width = width;
    in.height = height;
    for (int i = 0; i < 16; ++i) {
        const auto& p = pts[static_cast<std::size_t>(i)];
        in.oneDLeft[static_cast<std::size_t>(i)] = model.reportedPosition(Camera::Left, p.x, p.y).value_or(0);
        in.oneDRight[static_cast<std::size_t>(mirror16(i))] =
            model.reportedPosition(Camera::Right, p.x, p.y).value_or(0);
    }
    return in;
}

void printHex(const tovrin::records::StClbInfo& block)
{
    const auto bytes = block.encode();
    std::string hex;
    hex.reserve(bytes.size() * 2);
    static const char* digits = "0123456789abcdef";
    for (auto b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    std::printf("block %s\n", hex.c_str());
}

} // namespace

namespace {

int benchSolver(int, char**)
{
    const int width = 1920, height = 1080, variant = 0;
    const CalibInput16 input = syntheticInput(width, height, variant);

    auto t0 = Clock::now();
    const reference::RefSolution ref = reference::refSolve16(variant, input);
    const double refMs = msSince(t0);

    // The portable search and, where the processor has it, the AVX2 one.
    CalibSolver solver(variant);
    SolveStatus status = SolveStatus::NoSolution;
    bool identical = true;
    double pathMs[2] = {1e300, 1e300};
    const SearchPath paths[2] = {SearchPath::Portable, SearchPath::Avx2};
    for (int p = 0; p < 2; ++p) {
        setSearchPath(paths[p]);
        for (int run = 0; run < 5; ++run) {
            t0 = Clock::now();
            status = solver.Solve16(input);
            pathMs[p] = std::min(pathMs[p], msSince(t0));
        }
        identical = identical && status == ref.status && solver.block().encode() == ref.block.encode();
    }
    const bool avx2 = activeSearchPath() == SearchPath::Avx2;
    setSearchPath(SearchPath::Automatic);
    const double fastMs = avx2 ? pathMs[1] : pathMs[0];
    char avx2Ms[32] = "none";
    if (avx2)
        std::snprintf(avx2Ms, sizeof avx2Ms, "%.2f", pathMs[1]);

    t0 = Clock::now();
    const CornerWindow refCorners =
        reference::refSearchCorners(variant, ref.block, ref.leftOffset, ref.rightOffset, ref.bestR, width, height);
    const double cornerRefMs = msSince(t0);

    const TouchMapper mapper = solver.mapper();
    CornerWindow fastCorners;
    double cornerFastMs = 1e300;
    for (int run = 0; run < 5; ++run) {
        t0 = Clock::now();
        fastCorners = SearchCorners(mapper, width, height);
        cornerFastMs = std::min(cornerFastMs, msSince(t0));
    }
    const bool cornerIdentical = fastCorners == refCorners && fastCorners.found;

    std::printf("solver reference_ms=%.1f fast_ms=%.2f speedup=%.1f portable_ms=%.2f avx2_ms=%s identical=%d "
                "corner_reference_ms=%.1f corner_fast_ms=%.2f corner_speedup=%.1f corner_identical=%d\n",
                refMs, fastMs, refMs / fastMs, pathMs[0], avx2Ms,
                identical ? 1 : 0, cornerRefMs, cornerFastMs, cornerRefMs / cornerFastMs, cornerIdentical ? 1 : 0);
    return identical && cornerIdentical ? 0 : 1;
}

int benchSolve(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tovrin-bench solve <file>\n");
        return 2;
    }
    std::ifstream file(argv[1]);
    if (!file) {
        std::fprintf(stderr, "solve: cannot open %s\n", argv[1]);
        return 2;
    }
    long width = 0, height = 0, variant = 0, n = 0;
    if (!(file >> width >> height >> variant >> n) || (n != 16 && n != 4) || (variant != 0 && variant != 1) ||
        width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        std::fprintf(stderr, "solve: first line must be \"W H variant n\" (variant 0 or 1, n 16 or 4)\n");
        return 2;
    }
    long left[16] = {}, right[16] = {};
    for (long i = 0; i < n; ++i)
        if (!(file >> left[i] >> right[i]) || left[i] < INT32_MIN || left[i] > INT32_MAX || right[i] < INT32_MIN ||
            right[i] > INT32_MAX) {
            std::fprintf(stderr, "solve: point %ld: expected \"left right\"\n", i);
            return 2;
        }

    CalibSolver solver(static_cast<int>(variant), n == 16 ? "gClbInfo" : "gFastClbInfo");
    SolveStatus status;
    if (n == 16) {
        CalibInput16 in;
        in.width = static_cast<int>(width);
        in.height = static_cast<int>(height);
        for (int i = 0; i < 16; ++i) {
            in.oneDLeft[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(left[i]);
            in.oneDRight[static_cast<std::size_t>(mirror16(i))] = static_cast<std::int32_t>(right[i]);
        }
        status = solver.Solve16(in);
    } else {
        CalibInput4 in;
        in.width = static_cast<int>(width);
        in.height = static_cast<int>(height);
        for (int i = 0; i < 4; ++i) {
            in.oneDLeft[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(left[i]);
            in.oneDRight[static_cast<std::size_t>(mirror4(i))] = static_cast<std::int32_t>(right[i]);
        }
        status = solver.Solve4(in);
    }
    if (status != SolveStatus::Ok) {
        std::printf("no solution: %s\n", solveStatusName(status));
        return 1;
    }
    printHex(solver.block());
    const AccuracyReport& a = solver.accuracy();
    std::printf("R=%.2f r_fix=%d\n", solver.bestR(), solver.block().r_fix);
    for (int i = 0; i < a.count; ++i)
        std::printf("point %d residual=%.2f\n", i, a.residual[static_cast<std::size_t>(i)]);
    std::printf("residual mean=%.2f max=%.2f worst=%d\n", a.mean, a.max, a.worst);
    return 0;
}

const tovrin::bench::BenchMode kSolver{"solver", "", benchSolver};
const tovrin::bench::BenchMode kSolve{"solve", "<capture file>", benchSolve};

} // namespace
