#include "calibration/math/CameraModel.h"

#include <cmath>

namespace tovrin::calib {

CameraModel::CameraModel(const FrameGeometry& geometry)
    : m_geometry(geometry)
    , m_table(geometry.variant)
{
}

FrameGeometry CameraModel::typical(int width, int height, int variant)
{
    FrameGeometry g;
    g.variant = variant;
    // Cameras sit about 2 % of the diagonal outside the corners, their lenses
    // turned so that the screen lies inside the table with room to spare.
    const double margin = 0.02 * std::hypot(double(width), double(height));
    // A wide screen here has pixels half as wide as tall (R 0.5), so that its
    // right camera's x scaled by R fits the records even on the screen
    // itself. Square pixels on a wide screen need the solution plane
    // (planeDivisor).
    g.r = (width + margin) * 16.0 <= 32767.0 ? 1.0 : 0.5;
    g.left = {-margin * g.r, -margin, 3, -2.0};
    g.right = {(width + margin) * g.r, -margin, -2, -1.5};
    return g;
}

std::optional<double> CameraModel::sensorPosition(Camera camera, double sx, double sy) const
{
    const CameraPose& pose = camera == Camera::Left ? m_geometry.left : m_geometry.right;
    const double dx = sx * m_geometry.r - pose.x;
    const double dy = sy - pose.y;
    if (!(dy > 0.0))
        return std::nullopt;
    // Angle from the downward vertical, towards the screen's inside.
    const double toward = camera == Camera::Left ? dx : -dx;
    const double angle = std::atan2(toward, dy) * 180.0 / kPi;
    const double index = (angle - pose.offset) / kAngleStep;
    const double column = m_table.columnAtIndex(index);
    return 2.0 * (column - pose.shift);
}

std::optional<int> CameraModel::reportedPosition(Camera camera, double sx, double sy) const
{
    const auto exact = sensorPosition(camera, sx, sy);
    if (!exact)
        return std::nullopt;
    const double rounded = std::round(*exact);
    if (rounded < 0.0 || rounded > 2 * 640 - 1)
        return std::nullopt;
    return static_cast<int>(rounded);
}

records::StClbInfo CameraModel::idealBlock() const
{
    records::StClbInfo b;
    b.LCam.Po_l4 = {static_cast<std::int16_t>(std::trunc(m_geometry.left.x * 16.0)),
                    static_cast<std::int16_t>(std::trunc(m_geometry.left.y * 16.0))};
    b.LCam.L_A = m_geometry.left.shift;
    b.LCam.L_Angle_fix = static_cast<std::int32_t>(std::trunc(m_geometry.left.offset * 1024.0));
    b.RCam.Po_l4 = {static_cast<std::int16_t>(std::trunc(m_geometry.right.x * 16.0)),
                    static_cast<std::int16_t>(std::trunc(m_geometry.right.y * 16.0))};
    b.RCam.L_A = m_geometry.right.shift;
    b.RCam.L_Angle_fix = static_cast<std::int32_t>(std::trunc(m_geometry.right.offset * 1024.0));
    b.r_fix = static_cast<std::int32_t>(std::trunc(m_geometry.r * 1024.0));
    return b;
}

} // namespace tovrin::calib
