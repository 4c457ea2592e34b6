#include "calibration/math/Refine.h"

#include "calibration/math/Projective.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace tovrin::calib {

namespace {

using records::StCamInfo;
using records::StClbInfo;

constexpr double kMissed = 1e12;
constexpr int kShiftTries = 2;
constexpr int kIterations = 60;
constexpr double kLargestPlace = 32767.0 / 16.0;
constexpr double kSmallestPlace = -32768.0 / 16.0;

// The continuous parameters: each camera's place in screen pixels (x before
// the scale) and angle offset, and the scale.
struct Params {
    std::array<double, 7> v{};  // xL, yL, offL, xR, yR, offR, R
    int shiftL = 0, shiftR = 0;
    double& r() { return v[6]; }
    double r() const { return v[6]; }
};

bool mapWith(const LensTable& t, const Params& p, double pl, double pr, double& x, double& y)
{
    const double r = p.r();
    const double mL = raySlope(Camera::Left, clampAngle(rayAngle(t, pl, p.shiftL, p.v[2])));
    const double mR = raySlope(Camera::Right, clampAngle(rayAngle(t, pr, p.shiftR, p.v[5])));
    const double bL = p.v[1] - p.v[0] * r * mL;
    const double bR = p.v[4] - p.v[3] * r * mR;
    if (mR - mL == 0.0)
        return false;
    const double u = (bL - bR) / (mR - mL);
    x = u / r;
    y = u * mL + bL;
    return std::isfinite(x) && std::isfinite(y);
}

double cost(const LensTable& t, const Params& p, std::span<const RefinePoint> pts)
{
    double sum = 0.0;
    for (const RefinePoint& q : pts) {
        double x = 0.0, y = 0.0;
        if (!mapWith(t, p, q.left, q.right, x, y))
            return kMissed;
        sum += (x - q.x) * (x - q.x) + (y - q.y) * (y - q.y);
    }
    return sum;
}

// Keeps the places storable: x 16 in 16 bits after the scale.
void keepStorable(Params& p)
{
    p.r() = std::clamp(p.r(), 0.5, 2.0);
    for (int k : {0, 3}) {
        const double plane = p.v[static_cast<size_t>(k)] * p.r();
        if (plane > kLargestPlace - 0.5)
            p.r() = (kLargestPlace - 0.5) / p.v[static_cast<size_t>(k)];
        else if (plane < kSmallestPlace + 0.5)
            p.r() = (kSmallestPlace + 0.5) / p.v[static_cast<size_t>(k)];
    }
    for (int k : {1, 4})
        p.v[static_cast<size_t>(k)] = std::clamp(p.v[static_cast<size_t>(k)], kSmallestPlace + 0.5, kLargestPlace - 0.5);
}

// Levenberg-Marquardt over the seven parameters, the shifts held.
double levenbergMarquardt(const LensTable& t, Params& p, std::span<const RefinePoint> pts)
{
    const size_t n = pts.size() * 2;
    std::vector<double> res(n), jac(n * 7);
    auto residuals = [&](const Params& q, std::vector<double>& out) {
        for (size_t i = 0; i < pts.size(); ++i) {
            double x = 0.0, y = 0.0;
            if (!mapWith(t, q, pts[i].left, pts[i].right, x, y))
                return false;
            out[2 * i] = x - pts[i].x;
            out[2 * i + 1] = y - pts[i].y;
        }
        return true;
    };
    double current = cost(t, p, pts);
    double lambda = 1e-3;
    for (int it = 0; it < kIterations && current < kMissed; ++it) {
        if (!residuals(p, res))
            break;
        bool jacobianOk = true;
        for (size_t k = 0; k < 7 && jacobianOk; ++k) {
            Params q = p;
            const double h = 1e-6 * std::max(1.0, std::fabs(p.v[k]));
            q.v[k] += h;
            std::vector<double> moved(n);
            jacobianOk = residuals(q, moved);
            for (size_t i = 0; i < n && jacobianOk; ++i)
                jac[i * 7 + k] = (moved[i] - res[i]) / h;
        }
        if (!jacobianOk)
            break;
        std::array<std::array<double, 8>, 8> jtj{};
        std::array<double, 8> jtr{};
        for (size_t i = 0; i < n; ++i)
            for (size_t a = 0; a < 7; ++a) {
                jtr[a] -= jac[i * 7 + a] * res[i];
                for (size_t b = 0; b < 7; ++b)
                    jtj[a][b] += jac[i * 7 + a] * jac[i * 7 + b];
            }
        bool stepped = false;
        for (int tries = 0; tries < 10 && !stepped; ++tries) {
            auto a = jtj;
            for (size_t k = 0; k < 7; ++k)
                a[k][k] += lambda * std::max(jtj[k][k], 1e-9);
            std::array<double, 8> delta{};
            if (solveLinear(a, jtr, 7, delta) != LinearResult::Ok) {
                lambda *= 10.0;
                continue;
            }
            Params q = p;
            for (size_t k = 0; k < 7; ++k)
                q.v[k] += delta[k];
            keepStorable(q);
            const double c = cost(t, q, pts);
            if (c < current) {
                const bool small = current - c < 1e-10 * current;
                p = q;
                current = c;
                lambda = std::max(lambda / 3.0, 1e-12);
                stepped = true;
                if (small)
                    return current;
            } else {
                lambda *= 4.0;
            }
        }
        if (!stepped)
            break;
    }
    return current;
}

StCamInfo storedCamera(double x, double y, int shift, double offset, double r)
{
    StCamInfo c;
    c.Po_l4.x = static_cast<std::int16_t>(std::clamp(std::round(x * r * 16.0), -32768.0, 32767.0));
    c.Po_l4.y = static_cast<std::int16_t>(std::clamp(std::round(y * 16.0), -32768.0, 32767.0));
    c.L_A = shift;
    c.L_Angle_fix = static_cast<std::int32_t>(std::round(offset * 1024.0));
    return c;
}

} // namespace

double storedSquaredError(const LensTable& table, const StClbInfo& block, std::span<const RefinePoint> points)
{
    if (block.r_fix <= 0)
        return kMissed;
    Params p;
    p.r() = block.r_fix / 1024.0;
    p.v[0] = block.LCam.Po_l4.x / 16.0 / p.r();
    p.v[1] = block.LCam.Po_l4.y / 16.0;
    p.v[2] = block.LCam.L_Angle_fix / 1024.0;
    p.v[3] = block.RCam.Po_l4.x / 16.0 / p.r();
    p.v[4] = block.RCam.Po_l4.y / 16.0;
    p.v[5] = block.RCam.L_Angle_fix / 1024.0;
    p.shiftL = block.LCam.L_A;
    p.shiftR = block.RCam.L_A;
    return cost(table, p, points);
}

RefineResult refineSolution(const LensTable& table, StClbInfo& block, std::span<const RefinePoint> points)
{
    RefineResult result;
    result.before = result.after = storedSquaredError(table, block, points);
    if (block.r_fix <= 0 || points.size() < 4)
        return result;
    Params start;
    start.r() = block.r_fix / 1024.0;
    start.v = {block.LCam.Po_l4.x / 16.0 / start.r(), block.LCam.Po_l4.y / 16.0, block.LCam.L_Angle_fix / 1024.0,
               block.RCam.Po_l4.x / 16.0 / start.r(), block.RCam.Po_l4.y / 16.0, block.RCam.L_Angle_fix / 1024.0,
               start.r()};
    start.shiftL = block.LCam.L_A;
    start.shiftR = block.RCam.L_A;

    Params best = start;
    double bestCost = levenbergMarquardt(table, best, points);
    // The shifts are whole pixels: each camera's neighbours are tried in
    // turn, the other camera's best kept.
    for (int side = 0; side < 2; ++side)
        for (int d = -kShiftTries; d <= kShiftTries; ++d) {
            if (d == 0)
                continue;
            Params p = best;
            (side == 0 ? p.shiftL : p.shiftR) += d;
            const double c = levenbergMarquardt(table, p, points);
            if (c < bestCost) {
                bestCost = c;
                best = p;
            }
        }

    StClbInfo refined = block;
    refined.LCam = storedCamera(best.v[0], best.v[1], best.shiftL, best.v[2], best.r());
    refined.RCam = storedCamera(best.v[3], best.v[4], best.shiftR, best.v[5], best.r());
    refined.r_fix = static_cast<std::int32_t>(std::round(best.r() * 1024.0));
    const double after = storedSquaredError(table, refined, points);
    if (after < result.before) {
        block = refined;
        result.improved = true;
        result.after = after;
    }
    return result;
}

} // namespace tovrin::calib
