#include "tests/calibration/ReferenceSolver.h"

#include "calibration/math/Projective.h"

#include <cmath>
#include <limits>

namespace tovrin::calib::reference {

using records::StClbInfo;

namespace {

struct Table {
    double t[68];
    explicit Table(int variant)
    {
        const auto& pos = records::pPosTable(variant);
        for (int k = 0; k < 68; ++k)
            t[k] = pos[static_cast<std::size_t>(k)] / 2.0;
    }
};

double indexOf(const Table& tb, double q)
{
    const double* T = tb.t;
    if (q < T[0])
        return (q - T[0]) / (T[1] - T[0]);
    if (q >= T[67])
        return 66 + (q - T[66]) / (T[67] - T[66]);
    for (int k = 0; k < 67; ++k)
        if (T[k] <= q && q < T[k + 1])
            return k + (q - T[k]) / (T[k + 1] - T[k]);
    return std::numeric_limits<double>::quiet_NaN();
}

double angleOf(const Table& tb, double position, int shift, double offset)
{
    const double q = position / 2.0 + shift;
    return indexOf(tb, q) * 1.4263074484944531 + offset;
}

double slopeOf(Camera camera, double angle)
{
    if (camera == Camera::Left)
        return std::tan((90.0 - angle) * 3.1415926 / 180.0);
    return std::tan((90.0 + angle) * 3.1415926 / 180.0);
}

MapResult mapWith(const Table& tb, const StClbInfo& s, double offL, double offR, double r, int pL, int pR)
{
    if (!(r > 0.0))
        return {-32768.0f, -32768.0f};
    double aL = angleOf(tb, pL, s.LCam.L_A, offL);
    double aR = angleOf(tb, pR, s.RCam.L_A, offR);
    if (aL >= 0.0 && aL < 0.001)
        aL = 0.001;
    else if (aL > -0.001 && aL < 0.0)
        aL = -0.001;
    if (aR >= 0.0 && aR < 0.001)
        aR = 0.001;
    else if (aR > -0.001 && aR < 0.0)
        aR = -0.001;
    const double mL = slopeOf(Camera::Left, aL);
    const double mR = slopeOf(Camera::Right, aR);
    const double xL = s.LCam.Po_l4.x, yL = s.LCam.Po_l4.y;
    const double xR = s.RCam.Po_l4.x, yR = s.RCam.Po_l4.y;
    const double bL = yL - xL * mL;
    const double bR = yR - xR * mR;
    if (mR - mL == 0.0)
        return {-32768.0f, -32768.0f};
    const double u = (bL - bR) / (mR - mL);
    return {static_cast<float>(u * 0.0625 / r), static_cast<float>((u * mL + bL) * 0.0625)};
}

int truncShift(double v)
{
    if (v < -1000000.0)
        return -1000000;
    if (v > 1000000.0)
        return 1000000;
    return static_cast<int>(std::trunc(v));
}

// SolveCamera for either grid. n points, pairs of points whose rays cross,
// the points bounding the shift range.
CameraFit solveCameraAny(const Table& tb, Camera camera, double r, const std::int32_t* p, const ScreenPoint* pts,
                         int n, const int (*pairs)[2], int nPairs, int lowPoint, int highPoint)
{
    const double* T = tb.t;
    int s0 = 100, s1 = 100;
    const double low = p[lowPoint] / 2.0 - T[0];
    if (low < 100)
        s0 = truncShift(low);
    const double high = T[67] - p[highPoint] / 2.0 - 1;
    if (high < 100)
        s1 = truncShift(high);

    CameraFit best;
    for (int s = -s0; s <= s1; ++s) {
        for (int j = 0; j <= 100; ++j) {
            const double a = j / 10.0 - 5.0;
            double m[16], b[16];
            bool has[16];
            for (int i = 0; i < n; ++i) {
                const double q = p[i] / 2.0 + s;
                has[i] = q >= T[0] && q < T[67];
                if (!has[i])
                    continue;
                m[i] = slopeOf(camera, angleOf(tb, p[i], s, a));
                b[i] = pts[i].y - m[i] * pts[i].x * r;
            }
            bool complete = true;
            for (int k = 0; k < nPairs; ++k)
                complete = complete && has[pairs[k][0]] && has[pairs[k][1]];
            if (!complete)
                continue;
            double X[4], Y[4];
            for (int k = 0; k < nPairs; ++k) {
                const int f = pairs[k][0], g = pairs[k][1];
                X[k] = (b[g] - b[f]) / (m[f] - m[g]);
                Y[k] = m[f] * X[k] + b[f];
            }
            double ex, ey, spread;
            if (nPairs == 4) {
                ex = (X[0] + X[1] + X[2] + X[3]) / 4.0;
                ey = (Y[0] + Y[1] + Y[2] + Y[3]) / 4.0;
                const double sx = std::fabs(ex - X[0]) + std::fabs(ex - X[1]) + std::fabs(ex - X[2]) + std::fabs(ex - X[3]);
                const double sy = std::fabs(ey - Y[0]) + std::fabs(ey - Y[1]) + std::fabs(ey - Y[2]) + std::fabs(ey - Y[3]);
                spread = sx + sy;
            } else {
                ex = (X[0] + X[1]) / 2.0;
                ey = (Y[0] + Y[1]) / 2.0;
                spread = std::fabs(X[0] - X[1]) + std::fabs(Y[0] - Y[1]);
            }
            if (!std::isfinite(spread))
                continue;
            if (!best.found || spread < best.spread)
                best = CameraFit{true, ex, ey, s, a, spread};
        }
    }
    return best;
}

constexpr int kPairs16[4][2] = {{3, 12}, {9, 15}, {2, 8}, {1, 4}};
constexpr int kPairs4[2][2] = {{0, 3}, {1, 2}};

bool toS16(double v, std::int16_t& out)
{
    const double t = std::trunc(v);
    if (!(t >= -32768.0 && t <= 32767.0))
        return false;
    out = static_cast<std::int16_t>(t);
    return true;
}

template <std::size_t N>
RefSolution solveAny(int variant, int width, int height, const std::array<std::int32_t, N>& left,
                     const std::array<std::int32_t, N>& right, const SolveOptions& options)
{
    RefSolution out;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || options.firstScaleStep < 0 ||
        options.lastScaleStep > 150 || options.firstScaleStep > options.lastScaleStep) {
        out.status = SolveStatus::BadInput;
        return out;
    }
    const Table tb(variant);
    std::array<ScreenPoint, N> pts, ptsR;
    int (*mirror)(int) = nullptr;
    if constexpr (N == 16) {
        pts = screenPoints16(width, height);
        mirror = +[](int i) { return 4 * (i / 4) + (3 - i % 4); };
    } else {
        pts = screenPoints4(width, height);
        mirror = +[](int i) { return i ^ 1; };
    }
    for (std::size_t i = 0; i < N; ++i)
        ptsR[i] = pts[static_cast<std::size_t>(mirror(static_cast<int>(i)))];

    bool have = false;
    double bestError = 0.0;
    StClbInfo cur, keep;
    double keepR = 0.0, keepOffL = 0.0, keepOffR = 0.0;
    for (int k = options.firstScaleStep; k <= options.lastScaleStep; ++k) {
        const double r = k / 100.0 + 0.5;
        CameraFit fl, fr;
        if constexpr (N == 16) {
            fl = solveCameraAny(tb, Camera::Left, r, left.data(), pts.data(), 16, kPairs16, 4, 12, 3);
            fr = solveCameraAny(tb, Camera::Right, r, right.data(), ptsR.data(), 16, kPairs16, 4, 12, 3);
        } else {
            fl = solveCameraAny(tb, Camera::Left, r, left.data(), pts.data(), 4, kPairs4, 2, 2, 1);
            fr = solveCameraAny(tb, Camera::Right, r, right.data(), ptsR.data(), 4, kPairs4, 2, 2, 1);
        }
        if (!fl.found || !fr.found)
            continue;
        cur = StClbInfo{};
        if (!toS16(fl.x * 16.0, cur.LCam.Po_l4.x) || !toS16(fl.y * 16.0, cur.LCam.Po_l4.y) ||
            !toS16(fr.x * 16.0, cur.RCam.Po_l4.x) || !toS16(fr.y * 16.0, cur.RCam.Po_l4.y))
            continue;
        cur.LCam.L_A = fl.shift;
        cur.RCam.L_A = fr.shift;
        cur.LCam.L_Angle_fix = static_cast<std::int32_t>(std::trunc(fl.offset * 1024.0));
        cur.RCam.L_Angle_fix = static_cast<std::int32_t>(std::trunc(fr.offset * 1024.0));
        double error = 0.0;
        for (std::size_t i = 0; i < N; ++i) {
            const MapResult m = mapWith(tb, cur, fl.offset, fr.offset, r, left[i],
                                        right[static_cast<std::size_t>(mirror(static_cast<int>(i)))]);
            error += std::fabs(double(m.x) - pts[i].x) + std::fabs(double(m.y) - pts[i].y);
        }
        if (!std::isfinite(error))
            continue;
        if (!have || error <= bestError) {
            have = true;
            bestError = error;
            keep = cur;
            keepR = r;
            keepOffL = fl.offset;
            keepOffR = fr.offset;
        }
    }
    if (!have) {
        out.status = SolveStatus::NoSolution;
        return out;
    }
    StClbInfo b;
    b.LCam = keep.LCam;
    b.RCam = keep.RCam;
    b.r_fix = static_cast<std::int32_t>(std::trunc(keepR * 1024.0));

    // Correction: the points as the frame maps them with the stored fields
    // (positions x 16, offsets and scale / 1024), one projective transform
    // per cell fitted to them unrounded, each coefficient x 2^20 to the
    // nearest whole number; the evaluation points are those points to the
    // nearest pixel.
    double px[16] = {}, py[16] = {};
    for (std::size_t i = 0; i < N; ++i) {
        const MapResult m = mapWith(tb, b, b.LCam.L_Angle_fix / 1024.0, b.RCam.L_Angle_fix / 1024.0, b.r_fix / 1024.0,
                                    left[i], right[static_cast<std::size_t>(mirror(static_cast<int>(i)))]);
        if (m.x == MapResult::kParallel && m.y == MapResult::kParallel) {
            out.status = SolveStatus::NoSolution;  // no position, no evaluation point
            return out;
        }
        px[i] = m.x;
        py[i] = m.y;
        if (!toS16(std::round(px[i]), b.EvalPt[i].x) || !toS16(std::round(py[i]), b.EvalPt[i].y)) {
            out.status = SolveStatus::OutOfRange;
            return out;
        }
    }
    const int w = N == 16 ? 4 : 2;
    for (int row = 0; row < w - 1; ++row)
        for (int col = 0; col < w - 1; ++col) {
            const int i = w * row + col;
            const int corners[4] = {i, i + 1, i + w, i + w + 1};
            CellCorners cc;
            for (int c = 0; c < 4; ++c) {
                cc.x[static_cast<std::size_t>(c)] = px[corners[c]];
                cc.y[static_cast<std::size_t>(c)] = py[corners[c]];
                cc.u[static_cast<std::size_t>(c)] = pts[static_cast<std::size_t>(corners[c])].x;
                cc.v[static_cast<std::size_t>(c)] = pts[static_cast<std::size_t>(corners[c])].y;
            }
            std::array<double, 8> h{};
            if (solveProjective(cc, h) != LinearResult::Ok) {
                out.status = SolveStatus::Singular;
                return out;
            }
            for (int c = 0; c < 8; ++c) {
                const double q = std::round(h[static_cast<std::size_t>(c)] * 1048576.0);
                if (!(q >= -2147483648.0 && q <= 2147483647.0)) {
                    out.status = SolveStatus::OutOfRange;
                    return out;
                }
                b.X[(w - 1) * row + col][c] = static_cast<std::int32_t>(q);
            }
        }
    out.status = SolveStatus::Ok;
    out.block = b;
    out.bestR = keepR;
    out.leftOffset = keepOffL;
    out.rightOffset = keepOffR;
    return out;
}

} // namespace

MapResult refMapTouch(int variant, const StClbInfo& block, double leftOffset, double rightOffset, double r,
                      int leftPos, int rightPos)
{
    return mapWith(Table(variant), block, leftOffset, rightOffset, r, leftPos, rightPos);
}

CameraFit refSolveCamera16(int variant, Camera camera, double r, const std::array<std::int32_t, 16>& p,
                           const std::array<ScreenPoint, 16>& pts)
{
    return solveCameraAny(Table(variant), camera, r, p.data(), pts.data(), 16, kPairs16, 4, 12, 3);
}

RefSolution refSolve16(int variant, const CalibInput16& input, const SolveOptions& options)
{
    return solveAny<16>(variant, input.width, input.height, input.oneDLeft, input.oneDRight, options);
}

RefSolution refSolve4(int variant, const CalibInput4& input, const SolveOptions& options)
{
    return solveAny<4>(variant, input.width, input.height, input.oneDLeft, input.oneDRight, options);
}

CornerWindow refSearchCorners(int variant, const StClbInfo& block, double leftOffset, double rightOffset, double r,
                              int width, int height)
{
    CornerWindow out;
    if (width <= 0 || height <= 0)
        return out;
    const Table tb(variant);
    const double W = width, H = height;
    const double cx[4] = {0.0, W, W, 0.0};  // Left_Start, Left_End, Right_Start, Right_End
    const double cy[4] = {H, 0.0, H, 0.0};
    double best[4] = {0, 0, 0, 0};
    int column[4] = {0, 0, 0, 0};
    for (int a = 0; a < 640; ++a)
        for (int b = 0; b < 640; ++b) {
            const MapResult m = mapWith(tb, block, leftOffset, rightOffset, r, 2 * a, 2 * b);
            const double x = m.x, y = m.y;
            if (!(x >= 0.0 && x < W && y >= 0.0 && y < H))
                continue;
            const bool first = !out.found;
            out.found = true;
            for (int c = 0; c < 4; ++c) {
                const double dx = x - cx[c], dy = y - cy[c];
                const double d = dx * dx + dy * dy;
                if (first || d < best[c]) {
                    best[c] = d;
                    column[c] = c < 2 ? a : b;
                }
            }
        }
    out.leftStart = column[0];
    out.leftEnd = column[1];
    out.rightStart = column[2];
    out.rightEnd = column[3];
    return out;
}

} // namespace tovrin::calib::reference
