#include "RecordFloor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace tovrin::bench {

namespace {

// Camera places x R (the plane as the block stores it, pixels) and angle
// offsets of both cameras, the scale, then h1-h8 of the one cell.
constexpr std::size_t kParams = 15;
using Params = std::array<double, kParams>;
constexpr double kMissed = 1e9;

struct Problem {
    const calib::LensTable& table;
    int shiftLeft = 0;
    int shiftRight = 0;
    std::span<const GridTouch> grid;

    // Mean distance of the corrected touches from the fingers; the block's
    // mapping in doubles (no rounding of the stored fields).
    double meanError(const Params& p) const
    {
        const double r = p[6];
        if (!(r > 0.0))
            return kMissed;
        double sum = 0.0;
        for (const GridTouch& t : grid) {
            const double mL = calib::raySlope(
                calib::Camera::Left, calib::clampAngle(calib::rayAngle(table, t.left, shiftLeft, p[2])));
            const double mR = calib::raySlope(
                calib::Camera::Right, calib::clampAngle(calib::rayAngle(table, t.right, shiftRight, p[5])));
            if (mR - mL == 0.0)
                return kMissed;
            const double bL = p[1] - p[0] * mL;
            const double bR = p[4] - p[3] * mR;
            const double u = (bL - bR) / (mR - mL);
            const double x = u / r;
            const double y = u * mL + bL;
            const double d = p[13] * x + p[14] * y + 1.0;
            if (d == 0.0)
                return kMissed;
            const double sx = (p[7] * x + p[8] * y + p[9]) / d;
            const double sy = (p[10] * x + p[11] * y + p[12]) / d;
            sum += std::hypot(sx - t.x, sy - t.y);
        }
        return grid.empty() ? kMissed : sum / static_cast<double>(grid.size());
    }
};

// Downhill simplex (Nelder and Mead) with the usual coefficients: reflect 1,
// expand 2, contract 1/2, shrink 1/2. Written here because the project links
// no numerical library and this is one diagnostic.
Params downhill(const Problem& problem, const Params& start, const Params& step, int iterations)
{
    constexpr std::size_t n = kParams;
    std::array<Params, n + 1> points;
    std::array<double, n + 1> values{};
    points.fill(start);
    for (std::size_t i = 0; i < n; ++i)
        points[i + 1][i] += step[i];
    for (std::size_t i = 0; i <= n; ++i)
        values[i] = problem.meanError(points[i]);
    const auto along = [&](const Params& centre, const Params& worst, double t) {
        Params q{};
        for (std::size_t k = 0; k < n; ++k)
            q[k] = centre[k] + t * (worst[k] - centre[k]);
        return q;
    };
    std::array<std::size_t, n + 1> order{};
    for (int it = 0; it < iterations; ++it) {
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
        const std::size_t best = order[0], worst = order[n], second = order[n - 1];
        Params centre{};
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t k = 0; k < n; ++k)
                centre[k] += points[order[i]][k] / static_cast<double>(n);
        const Params reflected = along(centre, points[worst], -1.0);
        const double fr = problem.meanError(reflected);
        if (fr < values[best]) {
            const Params expanded = along(centre, points[worst], -2.0);
            const double fe = problem.meanError(expanded);
            points[worst] = fe < fr ? expanded : reflected;
            values[worst] = std::min(fe, fr);
        } else if (fr < values[second]) {
            points[worst] = reflected;
            values[worst] = fr;
        } else {
            const Params contracted = along(centre, points[worst], 0.5);
            const double fc = problem.meanError(contracted);
            if (fc < values[worst]) {
                points[worst] = contracted;
                values[worst] = fc;
            } else {
                for (std::size_t i = 0; i <= n; ++i) {
                    if (i == best)
                        continue;
                    for (std::size_t k = 0; k < n; ++k)
                        points[i][k] = points[best][k] + 0.5 * (points[i][k] - points[best][k]);
                    values[i] = problem.meanError(points[i]);
                }
            }
        }
    }
    return points[static_cast<std::size_t>(std::min_element(values.begin(), values.end()) - values.begin())];
}

} // namespace

double fourPointRecordFloor(const calib::LensTable& table, const records::StClbInfo& start,
                            std::span<const GridTouch> grid)
{
    const Problem problem{table, start.LCam.L_A, start.RCam.L_A, grid};
    Params p{start.LCam.Po_l4.x / 16.0, start.LCam.Po_l4.y / 16.0, start.LCam.L_Angle_fix / 1024.0,
             start.RCam.Po_l4.x / 16.0, start.RCam.Po_l4.y / 16.0, start.RCam.L_Angle_fix / 1024.0,
             start.r_fix / 1024.0};
    for (std::size_t k = 0; k < 8; ++k)
        p[7 + k] = start.X[0][k] / 1048576.0;
    // Simplex steps: 2 px of place, 0.1 degree, 0.005 of scale, 0.2 % of
    // each coefficient.
    Params step{2.0, 2.0, 0.1, 2.0, 2.0, 0.1, 0.005};
    for (std::size_t k = 7; k < kParams; ++k)
        step[k] = std::max(1e-7, std::fabs(p[k]) * 0.002);
    double best = problem.meanError(p);
    // Restarts from the last best: a simplex collapses before the minimum
    // in fifteen dimensions.
    for (int restart = 0; restart < 8; ++restart) {
        const Params q = downhill(problem, p, step, 4000);
        const double e = problem.meanError(q);
        if (!(e < best))
            break;
        best = e;
        p = q;
    }
    return best;
}

} // namespace tovrin::bench
