#include "calibration/math/Projective.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tovrin::calib {

LinearResult solveLinear(std::array<std::array<double, 8>, 8> a, std::array<double, 8> b, int n,
                         std::array<double, 8>& x)
{
    double scale = 0.0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            scale = std::max(scale, std::fabs(a[r][c]));
    if (!(scale > 0.0) || !std::isfinite(scale))
        return LinearResult::Singular;
    const double tiny = scale * 1e-12;

    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (!(std::fabs(a[pivot][col]) > tiny))
            return LinearResult::Singular;
        if (pivot != col) {
            std::swap(a[pivot], a[col]);
            std::swap(b[pivot], b[col]);
        }
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r][col] / a[col][col];
            if (f == 0.0)
                continue;
            for (int c = col; c < n; ++c)
                a[r][c] -= f * a[col][c];
            b[r] -= f * b[col];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double sum = b[r];
        for (int c = r + 1; c < n; ++c)
            sum -= a[r][c] * x[c];
        x[r] = sum / a[r][r];
        if (!std::isfinite(x[r]))
            return LinearResult::Singular;
    }
    return LinearResult::Ok;
}

LinearResult solveProjective(const CellCorners& k, std::array<double, 8>& h)
{
    // Screen coordinates run to thousands, so the rows mix entries near 1
    // with products near 10^7. Solving in coordinates divided by the largest
    // one keeps the system well scaled; the coefficients are scaled back.
    double s = 1.0;
    for (int i = 0; i < 4; ++i)
        for (double v : {k.x[i], k.y[i], k.u[i], k.v[i]})
            s = std::max(s, std::fabs(v));
    std::array<std::array<double, 8>, 8> a{};
    std::array<double, 8> b{};
    for (int i = 0; i < 4; ++i) {
        const double x = k.x[i] / s, y = k.y[i] / s, u = k.u[i] / s, v = k.v[i] / s;
        a[2 * i] = {x, y, 1.0, 0.0, 0.0, 0.0, -x * u, -y * u};
        b[2 * i] = u;
        a[2 * i + 1] = {0.0, 0.0, 0.0, x, y, 1.0, -x * v, -y * v};
        b[2 * i + 1] = v;
    }
    std::array<double, 8> n{};
    const LinearResult result = solveLinear(a, b, 8, n);
    if (result != LinearResult::Ok)
        return result;
    // u/s = (n1 x/s + n2 y/s + n3) / (n7 x/s + n8 y/s + 1)
    h = {n[0], n[1], n[2] * s, n[3], n[4], n[5] * s, n[6] / s, n[7] / s};
    return LinearResult::Ok;
}

bool toQ20(double h, std::int32_t& out)
{
    const double scaled = std::round(h * 1048576.0);
    if (!std::isfinite(scaled) || scaled < std::numeric_limits<std::int32_t>::min() ||
        scaled > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(scaled);
    return true;
}

} // namespace tovrin::calib
