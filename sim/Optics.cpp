#include "sim/Optics.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMmPerInch = 25.4;
constexpr double kSensorColumns = 640.0;
// The lens takes rays up to this far from its axis (radians, about 57 degrees).
constexpr double kHalfField = 1.0;

// The design lens of each family: axis column, pixels per radian, third and
// fifth order terms, and the table angle its axis looks along (degrees).
// Fitted once to the firmware's tables; what is left over, a few tenths of
// a pixel either way, is how a smooth lens differs from a table of steps.
struct DesignLens {
    double centre, focal, k3, k5, axisAngle;
};
constexpr DesignLens kDesignLens[2] = {
    {296.820, 278.409, 0.47171, 0.02955, 45.8144},
    {320.361, 324.265, 0.08522, -0.03105, 46.3096},
};
// The units are designed to sit 2 % of the diagonal outside the corners,
// their axes turned in a little less than halfway, so that the whole screen
// falls on the sensor with room to spare.
constexpr double kDesignMargin = 0.02;
constexpr double kDesignTurn[2] = {-2.03, -1.47};

double toRadians(double degrees) { return degrees * kPi / 180.0; }
double toDegrees(double radians) { return radians * 180.0 / kPi; }

} // namespace

Optics::Optics()
    : Optics(*opticsVariant("typical"), 1920, 1080, 0)
{
}

Optics::Optics(const OpticsConfig& config, int width, int height, int lensFamily)
    : m_config(config)
    , m_width(std::max(1, width))
    , m_height(std::max(1, height))
    , m_family(lensFamily == 1 ? 1 : 0)
{
    build();
}

void Optics::build()
{
    m_diagonalMm = std::max(1.0, m_config.diagonalInch) * kMmPerInch;
    const double aspect = m_config.pixelAspect > 0.0 ? m_config.pixelAspect : 1.0;
    m_pitchY = m_diagonalMm / std::hypot(m_width * aspect, double(m_height));
    m_pitchX = aspect * m_pitchY;
    const double widthMm = m_width * m_pitchX;
    const double margin = kDesignMargin * m_diagonalMm;
    const DesignLens& design = kDesignLens[m_family];
    for (size_t s = 0; s < 2; ++s) {
        const Mount& m = m_config.mounts[s];
        Lens& l = m_lens[s];
        const double out = margin + m.outMm;
        l.at = {s == 0 ? -out : widthMm + out, -(margin + m.upMm)};
        l.heading = design.axisAngle + kDesignTurn[s] + m.turnDeg;
        l.centre = design.centre + m.centrePx;
        l.focal = design.focal * (1.0 + m.focalPct / 100.0);
        l.k3 = design.k3 + m.distortion;
        l.k5 = design.k5;
    }
}

double Optics::columnOfField(const Lens& l, double phi) const
{
    const double p2 = phi * phi;
    return l.centre + l.focal * phi * (1.0 + l.k3 * p2 + l.k5 * p2 * p2);
}

double Optics::rayAngle(Side side, double x, double y) const
{
    const Lens& l = lens(side);
    const double dx = x * m_pitchX - l.at.x;
    const double dy = y * m_pitchY - l.at.y;
    const double toward = side == Side::Left ? dx : -dx;
    return toDegrees(std::atan2(toward, dy));
}

std::optional<double> Optics::position(Side side, double x, double y) const
{
    const Lens& l = lens(side);
    if (!(y * m_pitchY - l.at.y > 0.0))
        return std::nullopt;  // level with the camera or behind it
    const double phi = toRadians(rayAngle(side, x, y) - l.heading);
    if (std::abs(phi) > kHalfField)
        return std::nullopt;
    const double column = columnOfField(l, phi);
    if (!(column >= 0.0 && column < kSensorColumns))
        return std::nullopt;
    return 2.0 * column;
}

double Optics::columnAngle(Side side, double column) const
{
    // The lens law rises steadily over its field: Newton's steps from the
    // axis find the field angle of a column.
    const Lens& l = lens(side);
    double phi = (column - l.centre) / l.focal;
    for (int i = 0; i < 30; ++i) {
        const double p2 = phi * phi;
        const double f = columnOfField(l, phi) - column;
        const double slope = l.focal * (1.0 + 3.0 * l.k3 * p2 + 5.0 * l.k5 * p2 * p2);
        const double step = f / slope;
        phi -= step;
        if (std::abs(step) < 1e-12)
            break;
    }
    return l.heading + toDegrees(phi);
}

double Optics::distanceMm(Side side, double x, double y) const
{
    const Lens& l = lens(side);
    return std::hypot(x * m_pitchX - l.at.x, y * m_pitchY - l.at.y);
}

double Optics::spotWidth(Side side, double x, double y, double fingerMm) const
{
    const Lens& l = lens(side);
    const double distance = std::max(1.0, distanceMm(side, x, y));
    const double fills = 2.0 * std::atan(fingerMm / 2.0 / distance);
    const double phi = toRadians(rayAngle(side, x, y) - l.heading);
    return std::abs(columnOfField(l, phi + fills / 2.0) - columnOfField(l, phi - fills / 2.0));
}

PlanePoint Optics::camera(Side side) const
{
    const Lens& l = lens(side);
    return {l.at.x / m_pitchX, l.at.y / m_pitchY};
}

} // namespace tovrin::sim
