#pragma once
// The lens angle table of a camera unit and the ray of a sensor position.
//
// A camera unit sees a touch as a position on its line sensor (half pixels,
// 0-1279). The lens maps sensor columns to angles: column T[k] looks along
// k angle steps of kAngleStep degrees; between two entries the angle is
// interpolated linearly, beyond the ends the first or last segment is
// extended. T is the unit's P_Pos table halved exactly (P_Pos is stored in
// half pixels; 313 / 2 is 156.5, not 156).

#include "records/ClbInfo.h"

#include <array>
#include <cmath>

namespace tovrin::calib {

constexpr double kAngleStep = 1.4263074484944531;  // degrees per table entry
constexpr double kPi = 3.1415926;                  // as the firmware uses it
constexpr double kMinAngle = 0.001;                // rays closer to the axis than this are bent to it
constexpr int kLensEntries = records::kPPosCount;

enum class Camera { Left = 1, Right = 2 };

class LensTable {
public:
    explicit LensTable(int variantFlag);

    int variant() const { return m_variant; }
    double operator[](int k) const { return m_t[static_cast<std::size_t>(k)]; }
    double first() const { return m_t.front(); }
    double last() const { return m_t.back(); }

    // Whether a column (pixels) lies on the table: T[0] <= q < T[67], the
    // segments T[k] <= q < T[k+1]. The last entry itself is not on it (it is
    // reached only by the extension beyond the table), just as the shift
    // range keeps the farthest point one pixel below it.
    bool contains(double q) const { return q >= m_t.front() && q < m_t.back(); }

    // Fractional table index of a column: segment k with T[k] <= q < T[k+1],
    // the first segment extended below T[0], the last one from T[67] on.
    double angleIndex(double q) const;

    // Inverse of angleIndex: the column seen at a fractional index.
    double columnAtIndex(double index) const;

private:
    int m_variant = 0;
    std::array<double, kLensEntries> m_t{};
};

// Angle in degrees of a sensor position (half pixels) for a camera whose
// sensor is shifted by `shift` whole pixels and whose lens is turned by
// `offset` degrees.
inline double rayAngle(const LensTable& table, double position, int shift, double offset)
{
    const double q = position / 2.0 + shift;
    return table.angleIndex(q) * kAngleStep + offset;
}

// Rays (almost) along the camera axis would give slopes of ±infinity; the
// mapping bends angles inside (-0.001, 0.001) degrees to ±0.001.
inline double clampAngle(double angle)
{
    if (angle >= 0.0 && angle < kMinAngle)
        return kMinAngle;
    if (angle > -kMinAngle && angle < 0.0)
        return -kMinAngle;
    return angle;
}

// Slope of a ray in the solution plane (x to the right scaled by R, y down).
// The left camera's angle counts from the downward vertical towards +x, the
// right camera's towards -x.
inline double raySlope(Camera camera, double angle)
{
    if (camera == Camera::Left)
        return std::tan((90.0 - angle) * kPi / 180.0);
    return std::tan((90.0 + angle) * kPi / 180.0);
}

} // namespace tovrin::calib
