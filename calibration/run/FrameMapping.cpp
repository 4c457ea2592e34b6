#include "calibration/run/FrameMapping.h"

#include <cmath>
#include <limits>

namespace tovrin::calib {

namespace {

constexpr double kQ20 = 1048576.0;

// Corners of cell c in the 4 x 4 grid (or the 2 x 2 grid of a 4-point
// record), in drawing order around the quadrilateral.
std::array<int, 4> cellCorners(int cell, bool four)
{
    if (four)
        return {0, 1, 3, 2};
    const int i = 4 * (cell / 3) + cell % 3;
    return {i, i + 1, i + 5, i + 4};
}

bool inside(const std::array<ScreenPointF, 4>& q, double x, double y)
{
    // Crossing test over the four edges.
    bool in = false;
    for (int a = 0, b = 3; a < 4; b = a++) {
        const ScreenPointF& p = q[static_cast<size_t>(a)];
        const ScreenPointF& r = q[static_cast<size_t>(b)];
        if ((p.y > y) != (r.y > y) && x < (r.x - p.x) * (y - p.y) / (r.y - p.y) + p.x)
            in = !in;
    }
    return in;
}

} // namespace

FrameMapping::FrameMapping(const records::StClbInfo& block, int variantFlag, int plane)
    : m_block(block)
    , m_solver(variantFlag)
    , m_plane(plane > 0 ? plane : 1)
{
    m_solver.load(block, m_plane);
    // A 4-point calibration stores X row 0 only.
    bool others = false;
    for (int c = 1; c < records::StClbInfo::kCells; ++c)
        for (int k = 0; k < records::StClbInfo::kCoefficients; ++k)
            others = others || block.X[c][k] != 0;
    m_cells = others ? 9 : 1;
}

std::optional<ScreenPointF> FrameMapping::onPlane(std::int32_t leftPos, std::int32_t rightPos) const
{
    const MapResult m = m_solver.MapTouch(leftPos, rightPos, true);
    if (m.parallel() || !std::isfinite(m.x) || !std::isfinite(m.y))
        return std::nullopt;
    return ScreenPointF{m.x, m.y};
}

std::optional<ScreenPointF> FrameMapping::mapUncorrected(std::int32_t leftPos, std::int32_t rightPos) const
{
    auto p = onPlane(leftPos, rightPos);
    if (p) {
        p->x *= m_plane;
        p->y *= m_plane;
    }
    return p;
}

int FrameMapping::cellOf(double x, double y) const
{
    if (m_cells == 1)
        return 0;
    int nearest = 0;
    double best = std::numeric_limits<double>::infinity();
    for (int c = 0; c < m_cells; ++c) {
        std::array<ScreenPointF, 4> q;
        double cx = 0.0, cy = 0.0;
        const auto corners = cellCorners(c, false);
        for (int k = 0; k < 4; ++k) {
            const records::StPoint16& e = m_block.EvalPt[corners[static_cast<size_t>(k)]];
            q[static_cast<size_t>(k)] = {double(e.x), double(e.y)};
            cx += e.x / 4.0;
            cy += e.y / 4.0;
        }
        if (inside(q, x, y))
            return c;
        const double d = std::hypot(x - cx, y - cy);
        if (d < best) {
            best = d;
            nearest = c;
        }
    }
    return nearest;
}

std::optional<ScreenPointF> FrameMapping::map(std::int32_t leftPos, std::int32_t rightPos) const
{
    const auto raw = onPlane(leftPos, rightPos);
    if (!raw)
        return std::nullopt;
    const std::int32_t* h = m_block.X[cellOf(raw->x, raw->y)];
    const double x = raw->x, y = raw->y;
    const double den = h[6] / kQ20 * x + h[7] / kQ20 * y + 1.0;
    if (!(std::fabs(den) > 1e-12))
        return std::nullopt;
    const double u = (h[0] / kQ20 * x + h[1] / kQ20 * y + h[2] / kQ20) / den;
    const double v = (h[3] / kQ20 * x + h[4] / kQ20 * y + h[5] / kQ20) / den;
    if (!std::isfinite(u) || !std::isfinite(v))
        return std::nullopt;
    return ScreenPointF{u, v};
}

std::optional<double> diagonalInches(int screenSizeClass)
{
    // 31-42, 43-55, 56-65, 66-75, 76-85, 86-95 inches.
    static constexpr double kMiddle[] = {36.5, 49.0, 60.5, 70.5, 80.5, 90.5};
    if (screenSizeClass < 1 || screenSizeClass > 6)
        return std::nullopt;
    return kMiddle[screenSizeClass - 1];
}

} // namespace tovrin::calib
