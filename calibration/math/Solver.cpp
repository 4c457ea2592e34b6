#include "calibration/math/Solver.h"

#include "calibration/math/Projective.h"
#include "calibration/math/Refine.h"
#include "shell/Log.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tovrin::calib {

using records::StCamInfo;
using records::StClbInfo;
using records::StPoint16;

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TOVRIN_SEARCH_AVX2 1
#else
#define TOVRIN_SEARCH_AVX2 0
#endif

namespace {

std::atomic<SearchPath> g_searchPath{SearchPath::Automatic};

bool avx2Available()
{
#if TOVRIN_SEARCH_AVX2
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace

// ---------------------------------------------------------------------------
// Grid and mapping

namespace {

// An n x n grid that starts 1/16 of the width and 1/32 of the height in and
// steps by xSteps/xParts of the width and ySteps/yParts of the height.
template <int N>
std::array<ScreenPoint, N * N> gridPoints(int width, int height, double xSteps, double xParts, double ySteps,
                                          double yParts)
{
    std::array<ScreenPoint, N * N> points{};
    const double w = width, h = height;
    for (int r = 0; r < N; ++r)
        for (int c = 0; c < N; ++c) {
            const double x = w / 16.0 + c * xSteps * w / xParts;
            const double y = h / 32.0 + r * ySteps * h / yParts;
            points[static_cast<std::size_t>(N * r + c)] = {static_cast<std::uint16_t>(std::clamp(x, 0.0, 65535.0)),
                                                           static_cast<std::uint16_t>(std::clamp(y, 0.0, 65535.0))};
        }
    return points;
}

} // namespace

std::array<ScreenPoint, 16> screenPoints16(int width, int height)
{
    return gridPoints<4>(width, height, 7.0, 24.0, 5.0, 16.0);
}

std::array<ScreenPoint, 4> screenPoints4(int width, int height)
{
    return gridPoints<2>(width, height, 7.0, 8.0, 15.0, 16.0);
}

MapResult mapTouch(const LensTable& table, const StCamInfo& left, const StCamInfo& right, double leftOffset,
                   double rightOffset, double r, std::int32_t leftPos, std::int32_t rightPos)
{
    constexpr MapResult kNone{MapResult::kParallel, MapResult::kParallel};
    // A block without a scale (erased or never solved) maps nothing.
    if (!(r > 0.0))
        return kNone;
    const double aL = clampAngle(rayAngle(table, leftPos, left.L_A, leftOffset));
    const double aR = clampAngle(rayAngle(table, rightPos, right.L_A, rightOffset));
    const double mL = raySlope(Camera::Left, aL);
    const double mR = raySlope(Camera::Right, aR);
    const double xL = left.Po_l4.x, yL = left.Po_l4.y;
    const double xR = right.Po_l4.x, yR = right.Po_l4.y;
    const double bL = yL - xL * mL;
    const double bR = yR - xR * mR;
    if (mR - mL == 0.0)
        return kNone;
    const double u = (bL - bR) / (mR - mL);
    return {static_cast<float>(u * 0.0625 / r), static_cast<float>((u * mL + bL) * 0.0625)};
}

void setSearchPath(SearchPath path)
{
    g_searchPath.store(path);
}

SearchPath activeSearchPath()
{
    const SearchPath wanted = g_searchPath.load();
    if (wanted == SearchPath::Portable || !avx2Available())
        return SearchPath::Portable;
    return SearchPath::Avx2;
}

const char* solveStatusName(SolveStatus status)
{
    switch (status) {
    case SolveStatus::Ok: return "ok";
    case SolveStatus::Stopped: return "stopped";
    case SolveStatus::BadInput: return "bad input";
    case SolveStatus::NoSolution: return "no solution";
    case SolveStatus::Singular: return "singular cell";
    case SolveStatus::OutOfRange: return "value out of range";
    }
    return "?";
}

// ---------------------------------------------------------------------------
// The two search forms. Each camera's position is where the rays of chosen
// point pairs cross: four pairs spread over the 16-point grid, the two
// diagonals of the 4-point grid.

namespace {

// Four scales at a time. Each lane does exactly the operations of the scalar
// code (IEEE add, multiply, divide; the library is built with
// -ffp-contract=off, so no multiply-add is ever fused, whatever -march says),
// so every lane's value equals the scalar one to the bit. On x86 the search
// is built twice, for AVX2 and for the baseline, and chosen at run time (no
// load-time resolver, which sanitizer run-times cannot bear); elsewhere only
// the portable build exists. The lane helpers are always inlined, so no
// vector crosses a call.
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double Lanes __attribute__((vector_size(32)));
typedef long long LaneBits __attribute__((vector_size(32)));
constexpr int kLanes = 4;

inline double absOf(double v) { return std::fabs(v); }
[[gnu::always_inline]] inline Lanes absOf(Lanes v)
{
    const LaneBits mask = {0x7FFFFFFFFFFFFFFFLL, 0x7FFFFFFFFFFFFFFFLL, 0x7FFFFFFFFFFFFFFFLL, 0x7FFFFFFFFFFFFFFFLL};
    return reinterpret_cast<Lanes>(reinterpret_cast<LaneBits>(v) & mask);
}

struct Form16 {
    static constexpr int kSide = 4;  // points per row and per column
    static constexpr int kPoints = 16;
    static constexpr int kPairs = 4;
    static constexpr int kLow = 12;   // nearest to the camera's axis: limits negative shifts
    static constexpr int kHigh = 3;   // farthest from it: limits positive shifts
    static constexpr int kPair[kPairs][2] = {{3, 12}, {9, 15}, {2, 8}, {1, 4}};
    static int mirror(int i) { return mirror16(i); }
    static std::array<ScreenPoint, 16> points(int w, int h) { return screenPoints16(w, h); }
    template <class T>
    [[gnu::always_inline]] static void estimate(const T (&x)[kPairs], const T (&y)[kPairs], T& ex, T& ey, T& spread)
    {
        ex = (x[0] + x[1] + x[2] + x[3]) / 4.0;
        ey = (y[0] + y[1] + y[2] + y[3]) / 4.0;
        const T sx = absOf(ex - x[0]) + absOf(ex - x[1]) + absOf(ex - x[2]) + absOf(ex - x[3]);
        const T sy = absOf(ey - y[0]) + absOf(ey - y[1]) + absOf(ey - y[2]) + absOf(ey - y[3]);
        spread = sx + sy;
    }
};

struct Form4 {
    static constexpr int kSide = 2;
    static constexpr int kPoints = 4;
    static constexpr int kPairs = 2;
    static constexpr int kLow = 2;
    static constexpr int kHigh = 1;
    static constexpr int kPair[kPairs][2] = {{0, 3}, {1, 2}};
    static int mirror(int i) { return mirror4(i); }
    static std::array<ScreenPoint, 4> points(int w, int h) { return screenPoints4(w, h); }
    template <class T>
    [[gnu::always_inline]] static void estimate(const T (&x)[kPairs], const T (&y)[kPairs], T& ex, T& ey, T& spread)
    {
        ex = (x[0] + x[1]) / 2.0;
        ey = (y[0] + y[1]) / 2.0;
        spread = absOf(x[0] - x[1]) + absOf(y[0] - y[1]);
    }
};

constexpr int kShiftLimit = 1000000;  // far beyond any table; keeps casts defined

int truncatedShift(double value)
{
    return static_cast<int>(std::clamp(std::trunc(value), double(-kShiftLimit), double(kShiftLimit)));
}

// Shifts from -s0 to s1 (whole pixels) keep the points nearest to and farthest
// from the camera's axis on the lens table.
template <class Form>
void shiftRange(const LensTable& table, const std::int32_t* p, int& lo, int& hi)
{
    const double low = p[Form::kLow] / 2.0 - table.first();
    const double high = table.last() - p[Form::kHigh] / 2.0 - 1.0;
    const int s0 = low < kMaxShift ? truncatedShift(low) : kMaxShift;
    const int s1 = high < kMaxShift ? truncatedShift(high) : kMaxShift;
    lo = -s0;
    hi = s1;
}

// One camera's data for the search, in that camera's point order.
template <class Form>
struct CameraData {
    Camera camera = Camera::Left;
    double half[Form::kPoints] = {};  // position / 2, exact
    double x[Form::kPoints] = {};
    double y[Form::kPoints] = {};
    int lo = 0, hi = -1;

    CameraData(const LensTable& table, Camera cam, const std::int32_t* p, const ScreenPoint* pts)
        : camera(cam)
    {
        for (int i = 0; i < Form::kPoints; ++i) {
            half[i] = p[i] / 2.0;
            x[i] = pts[i].x;
            y[i] = pts[i].y;
        }
        shiftRange<Form>(table, p, lo, hi);
    }

    // The table index of every paired point at shift s. A point whose shifted
    // position leaves the lens table has no ray; that shift is skipped as a
    // whole (no line for it, so no estimate to compare).
    bool indices(const LensTable& table, int s, double (&first)[Form::kPairs], double (&second)[Form::kPairs]) const
    {
        for (int k = 0; k < Form::kPairs; ++k) {
            const double qF = half[Form::kPair[k][0]] + s;
            const double qS = half[Form::kPair[k][1]] + s;
            if (!table.contains(qF) || !table.contains(qS))
                return false;
            first[k] = table.angleIndex(qF);
            second[k] = table.angleIndex(qS);
        }
        return true;
    }
};

// The R-independent part of one (shift, offset) combination.
template <class Form>
struct Rays {
    double mF[Form::kPairs];   // slope of the pair's first point
    double yF[Form::kPairs], mxF[Form::kPairs];
    double yS[Form::kPairs], mxS[Form::kPairs];
    double den[Form::kPairs];  // mF - mS

    void set(const CameraData<Form>& cam, const double (&idxF)[Form::kPairs], const double (&idxS)[Form::kPairs],
             double offset)
    {
        for (int k = 0; k < Form::kPairs; ++k) {
            const int f = Form::kPair[k][0], s = Form::kPair[k][1];
            const double mf = raySlope(cam.camera, idxF[k] * kAngleStep + offset);
            const double ms = raySlope(cam.camera, idxS[k] * kAngleStep + offset);
            mF[k] = mf;
            yF[k] = cam.y[f];
            mxF[k] = mf * cam.x[f];
            yS[k] = cam.y[s];
            mxS[k] = ms * cam.x[s];
            den[k] = mf - ms;
        }
    }

    // Each point's line y = m x + b passes through (x_i R, y_i); the pairs'
    // crossings give the camera estimate and their spread.
    template <class T>
    [[gnu::always_inline]] inline void evaluate(const T& r, T& ex, T& ey, T& spread) const
    {
        T cx[Form::kPairs], cy[Form::kPairs];
        for (int k = 0; k < Form::kPairs; ++k) {
            const T bF = yF[k] - mxF[k] * r;
            const T bS = yS[k] - mxS[k] * r;
            cx[k] = (bS - bF) / den[k];
            cy[k] = mF[k] * cx[k] + bF;
        }
        Form::estimate(cx, cy, ex, ey, spread);
    }
};

// Best combination per scale. The combinations are visited shift by shift,
// offset by offset, and a later one replaces only a strictly smaller spread:
// the order a scale-by-scale search has. A spread that is not a number
// (parallel pair) never wins; +inf stands for "none yet".
struct ScaleBest {
    static constexpr int kPadded = (kScaleSteps + kLanes - 1) / kLanes * kLanes;
    int count = 0;
    double r[kPadded] = {};       // lanes past count hold 0 and are never read
    double spread[kPadded] = {};
    double combo[kPadded] = {};  // (s - lo) * 101 + j, exact in a double
};

template <class Form>
[[gnu::always_inline]] inline bool sweepBody(const LensTable& table, const CameraData<Form>& cam, ScaleBest& best,
                                             const std::function<bool()>& stop)
{
    for (int i = 0; i < ScaleBest::kPadded; ++i) {
        best.spread[i] = std::numeric_limits<double>::infinity();
        best.combo[i] = -1.0;
    }
    Rays<Form> rays;
    for (int s = cam.lo; s <= cam.hi; ++s) {
        if (stop && stop())
            return false;
        double idxF[Form::kPairs], idxS[Form::kPairs];
        if (!cam.indices(table, s, idxF, idxS))
            continue;
        for (int j = 0; j < kOffsetSteps; ++j) {
            rays.set(cam, idxF, idxS, offsetOfStep(j));
            const double combo = double(s - cam.lo) * kOffsetSteps + j;
            const int n = best.count;
            const Lanes comboLanes = {combo, combo, combo, combo};
            for (int i = 0; i < n; i += kLanes) {
                Lanes r, bestSpread, bestCombo, ex, ey, sp;
                std::memcpy(&r, best.r + i, sizeof r);
                std::memcpy(&bestSpread, best.spread + i, sizeof bestSpread);
                std::memcpy(&bestCombo, best.combo + i, sizeof bestCombo);
                rays.evaluate(r, ex, ey, sp);
                const LaneBits better = sp < bestSpread;
                bestSpread = better ? sp : bestSpread;
                bestCombo = better ? comboLanes : bestCombo;
                std::memcpy(best.spread + i, &bestSpread, sizeof bestSpread);
                std::memcpy(best.combo + i, &bestCombo, sizeof bestCombo);
            }
        }
    }
    return true;
}

template <class Form>
bool sweepPortable(const LensTable& table, const CameraData<Form>& cam, ScaleBest& best,
                   const std::function<bool()>& stop)
{
    return sweepBody<Form>(table, cam, best, stop);
}

#if TOVRIN_SEARCH_AVX2
template <class Form>
__attribute__((target("avx2"))) bool sweepAvx2(const LensTable& table, const CameraData<Form>& cam, ScaleBest& best,
                                               const std::function<bool()>& stop)
{
    return sweepBody<Form>(table, cam, best, stop);
}
#endif

template <class Form>
bool sweep(const LensTable& table, const CameraData<Form>& cam, ScaleBest& best, const std::function<bool()>& stop)
{
#if TOVRIN_SEARCH_AVX2
    if (activeSearchPath() == SearchPath::Avx2)
        return sweepAvx2<Form>(table, cam, best, stop);
#endif
    return sweepPortable<Form>(table, cam, best, stop);
}

template <class Form>
CameraFit fitOf(const LensTable& table, const CameraData<Form>& cam, double combo, double r)
{
    CameraFit fit;
    if (!(combo >= 0.0))
        return fit;
    const int c = static_cast<int>(combo);
    const int s = cam.lo + c / kOffsetSteps;
    const int j = c % kOffsetSteps;
    double idxF[Form::kPairs], idxS[Form::kPairs];
    if (!cam.indices(table, s, idxF, idxS))
        return fit;
    Rays<Form> rays;
    rays.set(cam, idxF, idxS, offsetOfStep(j));
    rays.evaluate(r, fit.x, fit.y, fit.spread);
    fit.found = true;
    fit.shift = s;
    fit.offset = offsetOfStep(j);
    return fit;
}

template <class Form>
CameraFit solveCameraAt(const LensTable& table, Camera camera, double r, const std::int32_t* p, const ScreenPoint* pts)
{
    const CameraData<Form> cam(table, camera, p, pts);
    ScaleBest best;
    best.count = 1;
    best.r[0] = r;
    sweep<Form>(table, cam, best, {});
    return fitOf<Form>(table, cam, best.combo[0], r);
}

bool fitsS16(double value, std::int16_t& out)
{
    const double t = std::trunc(value);
    if (!(t >= std::numeric_limits<std::int16_t>::min() && t <= std::numeric_limits<std::int16_t>::max()))
        return false;
    out = static_cast<std::int16_t>(t);
    return true;
}

bool cameraPart(const CameraFit& fit, StCamInfo& cam)
{
    StCamInfo out;
    if (!fitsS16(fit.x * 16.0, out.Po_l4.x) || !fitsS16(fit.y * 16.0, out.Po_l4.y))
        return false;
    out.L_A = fit.shift;
    out.L_Angle_fix = static_cast<std::int32_t>(std::trunc(fit.offset * 1024.0));
    cam = out;
    return true;
}

template <class Input>
bool validScreen(const Input& input)
{
    return input.width > 0 && input.height > 0 && input.width <= 65535 && input.height <= 65535;
}

// Calibration point i mapped with the solver's solution; the right camera's
// positions are kept row-mirrored.
template <class Form, class Input>
MapResult mapPoint(const CalibSolver& solver, const Input& input, int i, bool bestR)
{
    return solver.MapTouch(input.oneDLeft[static_cast<std::size_t>(i)],
                           input.oneDRight[static_cast<std::size_t>(Form::mirror(i))], bestR);
}

} // namespace

// ---------------------------------------------------------------------------

CalibSolver::CalibSolver(int variantFlag, std::string blockName)
    : m_table(variantFlag)
    , m_name(std::move(blockName))
{
}

CameraFit CalibSolver::SolveCamera(Camera camera, double r, const std::array<std::int32_t, 16>& positions,
                                   const std::array<ScreenPoint, 16>& targets) const
{
    return solveCameraAt<Form16>(m_table, camera, r, positions.data(), targets.data());
}

CameraFit CalibSolver::SolveCamera4(Camera camera, double r, const std::array<std::int32_t, 4>& positions,
                                    const std::array<ScreenPoint, 4>& targets) const
{
    return solveCameraAt<Form4>(m_table, camera, r, positions.data(), targets.data());
}

MapResult CalibSolver::MapTouch(std::int32_t leftPos, std::int32_t rightPos, bool bestR) const
{
    return mapTouch(m_table, m_block.LCam, m_block.RCam, m_leftOffset, m_rightOffset,
                    bestR ? m_bestR : m_currentR, leftPos, rightPos);
}

TouchMapper CalibSolver::mapper() const
{
    TouchMapper m;
    m.table = m_table;
    m.left = m_block.LCam;
    m.right = m_block.RCam;
    m.leftOffset = m_leftOffset;
    m.rightOffset = m_rightOffset;
    m.r = m_bestR;
    return m;
}

void CalibSolver::load(const StClbInfo& block)
{
    m_block = block;
    m_bestR = m_currentR = block.r_fix / 1024.0;
    m_leftOffset = block.LCam.L_Angle_fix / 1024.0;
    m_rightOffset = block.RCam.L_Angle_fix / 1024.0;
    m_accuracy = {};
}

SolveStatus CalibSolver::Solve16(const CalibInput16& input, const SolveHooks& hooks, const SolveOptions& options)
{
    return solve<Form16>(input, hooks, options);
}

SolveStatus CalibSolver::Solve4(const CalibInput4& input, const SolveHooks& hooks, const SolveOptions& options)
{
    return solve<Form4>(input, hooks, options);
}

void CalibSolver::clearSolution()
{
    // No scale: MapTouch and the mapper give the no-result marker until a
    // solve succeeds, never a mapping with what an earlier search left.
    m_block = StClbInfo{};
    m_currentR = m_bestR = 0.0;
    m_leftOffset = m_rightOffset = 0.0;
    m_bestError = 0.0;
    m_accuracy = {};
}

template <class Form, class Input>
SolveStatus CalibSolver::solve(const Input& input, const SolveHooks& hooks, const SolveOptions& options)
{
    const SolveStatus status = search<Form>(input, hooks, options);
    if (status != SolveStatus::Ok)
        clearSolution();
    return status;
}

template <class Form, class Input>
SolveStatus CalibSolver::search(const Input& input, const SolveHooks& hooks, const SolveOptions& options)
{
    clearSolution();
    if (!validScreen(input) || options.firstScaleStep < 0 || options.lastScaleStep >= kScaleSteps ||
        options.firstScaleStep > options.lastScaleStep)
        return SolveStatus::BadInput;

    const auto targets = Form::points(input.width, input.height);
    const auto targetsR = mirrored(targets);
    const CameraData<Form> left(m_table, Camera::Left, input.oneDLeft.data(), targets.data());
    const CameraData<Form> right(m_table, Camera::Right, input.oneDRight.data(), targetsR.data());

    ScaleBest bestL, bestR;
    for (int k = options.firstScaleStep; k <= options.lastScaleStep; ++k) {
        bestL.r[bestL.count++] = scaleOfStep(k);
        bestR.r[bestR.count++] = scaleOfStep(k);
    }
    if (!sweep<Form>(m_table, left, bestL, hooks.stopRequested) ||
        !sweep<Form>(m_table, right, bestR, hooks.stopRequested))
        return SolveStatus::Stopped;

    ScaleChoice choice;
    StCamInfo keepL, keepR;
    double keepR_ = 0.0, keepOffL = 0.0, keepOffR = 0.0;
    for (int k = options.firstScaleStep; k <= options.lastScaleStep; ++k) {
        if (hooks.stopRequested && hooks.stopRequested())
            return SolveStatus::Stopped;
        if (hooks.progress)
            hooks.progress((k / 30 + 1) * 10);
        const int i = k - options.firstScaleStep;
        const double r = scaleOfStep(k);
        const CameraFit fitL = fitOf<Form>(m_table, left, bestL.combo[i], r);
        const CameraFit fitR = fitOf<Form>(m_table, right, bestR.combo[i], r);
        if (!fitL.found || !fitR.found)
            continue;
        // A camera position beyond the 16-bit field cannot be stored: this
        // scale is no candidate.
        if (!cameraPart(fitL, m_block.LCam) || !cameraPart(fitR, m_block.RCam))
            continue;
        m_currentR = r;
        m_leftOffset = fitL.offset;
        m_rightOffset = fitR.offset;
        double error = 0.0;
        for (int p = 0; p < Form::kPoints; ++p) {
            const auto& t = targets[static_cast<std::size_t>(p)];
            const MapResult m = mapPoint<Form>(*this, input, p, false);
            error += std::fabs(double(m.x) - t.x) + std::fabs(double(m.y) - t.y);
        }
        if (choice.offer(k, error)) {
            keepL = m_block.LCam;
            keepR = m_block.RCam;
            keepR_ = r;
            keepOffL = fitL.offset;
            keepOffR = fitR.offset;
        }
    }
    m_block = StClbInfo{};
    if (!choice.have)
        return SolveStatus::NoSolution;

    m_block.LCam = keepL;
    m_block.RCam = keepR;
    m_block.r_fix = static_cast<std::int32_t>(std::trunc(keepR_ * 1024.0));
    m_bestR = m_currentR = keepR_;
    m_leftOffset = keepOffL;
    m_rightOffset = keepOffR;
    m_bestError = choice.error;

    if (options.refine) {
        std::array<RefinePoint, Form::kPoints> points{};
        for (int p = 0; p < Form::kPoints; ++p) {
            const auto i = static_cast<std::size_t>(p);
            points[i] = {input.oneDLeft[i], input.oneDRight[static_cast<std::size_t>(Form::mirror(p))],
                         double(targets[i].x), double(targets[i].y)};
        }
        const RefineResult refined = refineSolution(m_table, m_block, points);
        shell::LogF("%s refined: %s, squared error %.1f -> %.1f\n", m_name.c_str(),
                    refined.improved ? "taken" : "kept the search's", refined.before, refined.after);
        if (refined.improved) {
            // From here on the solution is what is stored.
            m_bestR = m_currentR = m_block.r_fix / 1024.0;
            m_leftOffset = m_block.LCam.L_Angle_fix / 1024.0;
            m_rightOffset = m_block.RCam.L_Angle_fix / 1024.0;
        }
    }

    const SolveStatus built = buildCorrection<Form>(input);
    if (built != SolveStatus::Ok)
        return built;
    computeAccuracy<Form>(input);
    logSolution(input.width, input.height);
    logAccuracy();
    return SolveStatus::Ok;
}

SolveStatus CalibSolver::BuildCorrection(const CalibInput16& input)
{
    return validScreen(input) ? buildCorrection<Form16>(input) : SolveStatus::BadInput;
}

SolveStatus CalibSolver::BuildCorrection(const CalibInput4& input)
{
    return validScreen(input) ? buildCorrection<Form4>(input) : SolveStatus::BadInput;
}

template <class Form, class Input>
SolveStatus CalibSolver::buildCorrection(const Input& input)
{
    // Everything is computed aside and taken into the block only when all
    // of it can be stored; a refusal leaves EvalPt and X at 0.
    for (auto& row : m_block.X)
        std::fill(std::begin(row), std::end(row), 0);
    for (auto& pt : m_block.EvalPt)
        pt = {};
    StPoint16 eval[StClbInfo::kEvalPoints] = {};
    std::int32_t x[StClbInfo::kCells][StClbInfo::kCoefficients] = {};

    // The corrections act on what the frame computes: the points mapped
    // with the camera parts and the scale as they are stored (positions
    // x 16, offsets x 1024, r_fix), not with the search's doubles; the
    // truncated r_fix alone moves a point on the right edge of a 4K screen
    // by pixels. Each cell is fitted to these points as they are; only the
    // stored evaluation points, which merely tell the frame the cell a
    // touch falls in, are rounded to the nearest pixel.
    const double storedR = m_block.r_fix / 1024.0;
    const double storedOffL = m_block.LCam.L_Angle_fix / 1024.0;
    const double storedOffR = m_block.RCam.L_Angle_fix / 1024.0;
    double px[Form::kPoints] = {}, py[Form::kPoints] = {};
    for (int i = 0; i < Form::kPoints; ++i) {
        const MapResult m = mapTouch(m_table, m_block.LCam, m_block.RCam, storedOffL, storedOffR, storedR,
                                     input.oneDLeft[static_cast<std::size_t>(i)],
                                     input.oneDRight[static_cast<std::size_t>(Form::mirror(i))]);
        // The parallel-ray marker is no evaluation point.
        if (m.parallel() || !std::isfinite(m.x) || !std::isfinite(m.y)) {
            shell::LogF("BuildCorrection: point %d has parallel rays\n", i);
            return SolveStatus::NoSolution;
        }
        px[i] = m.x;
        py[i] = m.y;
        if (!fitsS16(std::round(px[i]), eval[i].x) || !fitsS16(std::round(py[i]), eval[i].y))
            return SolveStatus::OutOfRange;
    }
    // Cells: corners i, i + 1, i + w, i + w + 1 of a grid w points wide.
    const auto targets = Form::points(input.width, input.height);
    const int w = Form::kSide;
    const int cells = w - 1;
    for (int row = 0; row < cells; ++row)
        for (int col = 0; col < cells; ++col) {
            const int i = w * row + col;
            const int corner[4] = {i, i + 1, i + w, i + w + 1};
            CellCorners k;
            for (int n = 0; n < 4; ++n) {
                const auto c = static_cast<std::size_t>(corner[n]);
                k.x[static_cast<std::size_t>(n)] = px[c];
                k.y[static_cast<std::size_t>(n)] = py[c];
                k.u[static_cast<std::size_t>(n)] = targets[c].x;
                k.v[static_cast<std::size_t>(n)] = targets[c].y;
            }
            std::array<double, 8> h{};
            if (solveProjective(k, h) != LinearResult::Ok) {
                shell::LogF("BuildCorrection: cell %d has no solution (corners collinear or equal)\n",
                            cells * row + col);
                return SolveStatus::Singular;
            }
            for (int n = 0; n < 8; ++n)
                if (!toQ20(h[static_cast<std::size_t>(n)], x[cells * row + col][n])) {
                    shell::LogF("BuildCorrection: cell %d coefficient %d = %f does not fit\n", cells * row + col,
                                n + 1, h[static_cast<std::size_t>(n)]);
                    return SolveStatus::OutOfRange;
                }
        }
    std::copy(std::begin(eval), std::end(eval), std::begin(m_block.EvalPt));
    for (int c = 0; c < StClbInfo::kCells; ++c)
        std::copy(std::begin(x[c]), std::end(x[c]), std::begin(m_block.X[c]));
    return SolveStatus::Ok;
}

template <class Form, class Input>
void CalibSolver::computeAccuracy(const Input& input)
{
    const auto targets = Form::points(input.width, input.height);
    AccuracyReport report;
    report.count = Form::kPoints;
    double sum = 0.0;
    for (int i = 0; i < Form::kPoints; ++i) {
        const auto& t = targets[static_cast<std::size_t>(i)];
        const MapResult m = mapPoint<Form>(*this, input, i, true);
        const double d = std::hypot(double(m.x) - t.x, double(m.y) - t.y);
        report.residual[static_cast<std::size_t>(i)] = d;
        sum += d;
        if (report.worst < 0 || d > report.max) {
            report.max = d;
            report.worst = i;
        }
    }
    report.mean = sum / Form::kPoints;
    m_accuracy = report;
}

void CalibSolver::logSolution(int width, int height) const
{
    using shell::LogF;
    const char* n = m_name.c_str();
    const StClbInfo& b = m_block;
    LogF("width=%d, height=%d\n", width, height);
    LogF("g_ClbInfoR=%f, %s.r_fix=%d\n", m_bestR, n, b.r_fix);
    for (int i = 0; i < 16; i += 4)
        LogF("%s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d)\n", n, i,
             b.EvalPt[i].x, b.EvalPt[i].y, n, i + 1, b.EvalPt[i + 1].x, b.EvalPt[i + 1].y, n, i + 2,
             b.EvalPt[i + 2].x, b.EvalPt[i + 2].y, n, i + 3, b.EvalPt[i + 3].x, b.EvalPt[i + 3].y);
    for (int c = 0; c < 9; ++c)
        LogF("%s.X[%d][0]={%d, %d, %d, %d, %d, %d, %d, %d}\n", n, c, b.X[c][0], b.X[c][1], b.X[c][2], b.X[c][3],
             b.X[c][4], b.X[c][5], b.X[c][6], b.X[c][7]);
    LogF("%s.LCam.Po_l4.x=%d, %s.LCam.Po_l4.y=%d\n", n, b.LCam.Po_l4.x, n, b.LCam.Po_l4.y);
    LogF("%s.LCam.L_A=%d, %s.LCam.L_Angle_fix=%d\n", n, b.LCam.L_A, n, b.LCam.L_Angle_fix);
    LogF("%s.RCam.Po_l4.x=%d, %s.RCam.Po_l4.y=%d\n", n, b.RCam.Po_l4.x, n, b.RCam.Po_l4.y);
    LogF("%s.RCam.L_A=%d, %s.RCam.L_Angle_fix=%d\n", n, b.RCam.L_A, n, b.RCam.L_Angle_fix);
}

void CalibSolver::logAccuracy() const
{
    const AccuracyReport& a = m_accuracy;
    for (int i = 0; i + 3 < a.count; i += 4)
        shell::LogF("%s residual[%d-%d]: %.2f, %.2f, %.2f, %.2f pixels\n", m_name.c_str(), i, i + 3,
                    a.residual[static_cast<std::size_t>(i)], a.residual[static_cast<std::size_t>(i + 1)],
                    a.residual[static_cast<std::size_t>(i + 2)], a.residual[static_cast<std::size_t>(i + 3)]);
    shell::LogF("%s residual: mean=%.2f, max=%.2f at point %d\n", m_name.c_str(), a.mean, a.max, a.worst);
}

} // namespace tovrin::calib
