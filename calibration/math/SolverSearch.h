#pragma once
// The inside of the calibration solver (Solver.cpp, SolverCorrection.cpp):
// the two point forms, the search over shifts, offsets and scales, and the
// helpers both halves share. Not for use outside the solver.

#include "calibration/math/Solver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TOVRIN_SEARCH_AVX2 1
#else
#define TOVRIN_SEARCH_AVX2 0
#endif

namespace tovrin::calib::solver {

using records::StCamInfo;

// ---------------------------------------------------------------------------
// The two search forms. Each camera's position is where the rays of chosen
// point pairs cross: four pairs spread over the 16-point grid, the two
// diagonals of the 4-point grid.

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

inline int truncatedShift(double value)
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

    // The targets are screen points; the search runs on the plane, the
    // screen divided by `plane` (exact: 1 keeps them as they are).
    CameraData(const LensTable& table, Camera cam, const std::int32_t* p, const ScreenPoint* pts, int plane = 1)
        : camera(cam)
    {
        for (int i = 0; i < Form::kPoints; ++i) {
            half[i] = p[i] / 2.0;
            x[i] = pts[i].x / double(plane);
            y[i] = pts[i].y / double(plane);
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

inline bool fitsS16(double value, std::int16_t& out)
{
    const double t = std::trunc(value);
    if (!(t >= std::numeric_limits<std::int16_t>::min() && t <= std::numeric_limits<std::int16_t>::max()))
        return false;
    out = static_cast<std::int16_t>(t);
    return true;
}

inline bool cameraPart(const CameraFit& fit, StCamInfo& cam)
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

} // namespace tovrin::calib::solver
