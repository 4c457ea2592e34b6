#include "calibration/math/Evaluation.h"

#include "shell/Log.h"

#include <array>

namespace tovrin::calib {

namespace {

struct Corner {
    double x, y;
    double best = 0.0;
    int column = 0;
};

} // namespace

CornerWindow SearchCorners(const TouchMapper& m, const CornerBox& box)
{
    CornerWindow out;
    if (box.empty() || !(m.r > 0.0)) {
        shell::LogF("Left_Start=%d, Left_End=%d\n", out.leftStart, out.leftEnd);
        shell::LogF("Right_Start=%d, Right_End=%d\n\n", out.rightStart, out.rightEnd);
        return out;
    }
    const double x0 = box.xmin, x1 = box.xmax, y0 = box.ymin, y1 = box.ymax;
    // The mapped points are kept as floats. The box's ends are whole pixels
    // (16-bit record positions, far below 2^24), exact in float: comparing
    // a float point with them there gives what comparing both as doubles
    // gives, and lets the row pass below mark the points inside.
    const float fx0 = static_cast<float>(box.xmin), fx1 = static_cast<float>(box.xmax);
    const float fy0 = static_cast<float>(box.ymin), fy1 = static_cast<float>(box.ymax);

    // A ray depends on its own camera only: 640 slopes and intercepts per
    // camera, computed exactly as a single mapping computes them.
    std::array<double, kSensorColumns> mL{}, bL{}, mR{}, bR{};
    const double xL = m.left.Po_l4.x, yL = m.left.Po_l4.y;
    const double xR = m.right.Po_l4.x, yR = m.right.Po_l4.y;
    for (int c = 0; c < kSensorColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        mL[i] = raySlope(Camera::Left, clampAngle(rayAngle(m.table, 2 * c, m.left.L_A, m.leftOffset)));
        bL[i] = yL - xL * mL[i];
        mR[i] = raySlope(Camera::Right, clampAngle(rayAngle(m.table, 2 * c, m.right.L_A, m.rightOffset)));
        bR[i] = yR - xR * mR[i];
    }

    // Corners: Left_Start (xmin, ymax), Left_End (xmax, ymin), Right_Start
    // (xmax, ymax), Right_End (xmin, ymin); on the screen (0, H), (W, 0), (W, H), (0, 0).
    Corner ls{x0, y1}, le{x1, y0}, rs{x1, y1}, re{x0, y0};
    std::array<float, kSensorColumns> xs{}, ys{};
    std::array<unsigned char, kSensorColumns> inside{};
    const double r = m.r;
    for (int a = 0; a < kSensorColumns; ++a) {
        const auto ia = static_cast<std::size_t>(a);
        const double ma = mL[ia], ba = bL[ia];
        // Whole row first (no branches, so it vectorises): the points and
        // which of them lie inside the box; then the scan of those.
        for (std::size_t ib = 0; ib < kSensorColumns; ++ib) {
            const double den = mR[ib] - ma;
            const double u = (ba - bR[ib]) / den;
            const float fx = static_cast<float>(u * 0.0625 / r);
            const float fy = static_cast<float>((u * ma + ba) * 0.0625);
            xs[ib] = fx;
            ys[ib] = fy;
            inside[ib] = (den != 0.0) & (fx >= fx0) & (fx < fx1) & (fy >= fy0) & (fy < fy1);
        }
        for (int b = 0; b < kSensorColumns; ++b) {
            const auto ib = static_cast<std::size_t>(b);
            if (!inside[ib])
                continue;  // outside the box, or parallel rays (no point)
            const double x = xs[ib], y = ys[ib];
            auto consider = [x, y](Corner& c, int column, bool first) {
                const double dx = x - c.x, dy = y - c.y;
                const double d = dx * dx + dy * dy;
                if (first || d < c.best) {
                    c.best = d;
                    c.column = column;
                }
            };
            const bool first = !out.found;
            out.found = true;
            consider(ls, a, first);
            consider(le, a, first);
            consider(rs, b, first);
            consider(re, b, first);
        }
    }
    if (out.found) {
        out.leftStart = ls.column;
        out.leftEnd = le.column;
        out.rightStart = rs.column;
        out.rightEnd = re.column;
    }
    shell::LogF("Left_Start=%d, Left_End=%d\n", out.leftStart, out.leftEnd);
    shell::LogF("Right_Start=%d, Right_End=%d\n\n", out.rightStart, out.rightEnd);
    return out;
}

void WidenByImage(int& start, int& end, std::span<const std::uint8_t, kSensorColumns> line)
{
    if (start >= 16 && start < kSensorColumns) {
        for (int c = start - 1; c >= start - kWidenColumns; --c)
            if (line[static_cast<std::size_t>(c)] < kBrightThreshold) {
                start = c + 1;
                break;
            }
    }
    if (end >= 0 && end < kSensorColumns - 16) {
        for (int c = end + 1; c <= end + kWidenColumns; ++c)
            if (line[static_cast<std::size_t>(c)] < kBrightThreshold) {
                end = c - 1;
                break;
            }
    }
}

} // namespace tovrin::calib
