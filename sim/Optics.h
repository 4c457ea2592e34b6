#pragma once
// How the simulated frame's two cameras see the screen: the physical
// description of the frame, not the firmware's idea of it.
//
// The frame is a bezel around a screen of W x H pixels with a diagonal of D
// millimetres. Each camera unit sits a little outside its upper corner
// (Master left, Slave right) and looks along the glass. Its lens bends the
// ray from a point into a sensor column by a smooth law
//
//     column = centre + focal * (phi + k3 phi^3 + k5 phi^5)
//
// where phi (radians) is the ray's angle from the lens axis. The design
// law follows the firmware's lens table (A for ordinary units, B for
// extended-frame units) to a few tenths of a pixel, but it is not the
// table: it is smooth where the table is piecewise straight, and a built
// lens differs from the design by its focal length, its distortion and where
// its axis falls on the sensor. The unit is mounted with tolerances: its
// place and the turn of its axis are never exactly where the firmware's
// search would put them.
//
// Angles count from the downward vertical towards the screen's inside, for
// both cameras. Positions are half pixels (2 x column), as the frame reports
// them.
//
// Variants (OpticsVariants.cpp): "nominal" is the design itself, "typical" a
// unit off the design by ordinary production tolerances, "worst" one at the
// edge of them.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tovrin::sim {

enum class Side { Left = 0, Right = 1 };

// One camera unit as built and mounted, relative to the design.
struct Mount {
    double outMm = 0.0;      // lens further out sideways than designed (mm)
    double upMm = 0.0;       // lens further above the top edge than designed (mm)
    double turnDeg = 0.0;    // axis turned towards the screen's inside (degrees)
    double centrePx = 0.0;   // lens axis off its design column on the sensor (pixels)
    double focalPct = 0.0;   // focal length off the design (percent)
    double distortion = 0.0; // added to the lens's third-order term

    bool operator==(const Mount&) const = default;
};

struct OpticsConfig {
    std::string variant = "typical";
    double diagonalInch = 65.0;  // the screen the frame is built for
    double pixelAspect = 1.0;    // a pixel's width over its height
    std::array<Mount, 2> mounts{};

    bool operator==(const OpticsConfig&) const = default;
};

// The named variants; nothing for an unknown name.
std::optional<OpticsConfig> opticsVariant(std::string_view name);

// Applies TOVRIN_SIM_OPTICS items: a variant name ("nominal", "typical",
// "worst") starts again from that variant; "<unit>.<field>=<number>" with
// unit master or slave (or none for both) and field out, up, turn, centre,
// focal, distortion changes a mount; "diagonal=<inch>", "aspect=<ratio>".
// Returns the first item not understood (empty when all were).
std::string applyOpticsItems(OpticsConfig& config, std::string_view list);

struct PlanePoint {
    double x = 0.0;
    double y = 0.0;
};

class Optics {
public:
    Optics();
    // lensFamily: 0 the lenses of ordinary units (table A), 1 those of
    // extended-frame units (table B).
    Optics(const OpticsConfig& config, int width, int height, int lensFamily);

    const OpticsConfig& config() const { return m_config; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int lensFamily() const { return m_family; }

    // Exact sensor position (half pixels) of a screen point; nothing when the
    // camera cannot see it (behind it, or off its sensor).
    std::optional<double> position(Side side, double x, double y) const;
    // The angle (degrees) of the ray from a camera to a screen point.
    double rayAngle(Side side, double x, double y) const;
    // The ray angle a sensor column looks along (the lens law inverted).
    double columnAngle(Side side, double column) const;
    // Width in pixels of the spot a finger of `fingerMm` leaves on the
    // sensor at a screen point, from the angle it fills.
    double spotWidth(Side side, double x, double y, double fingerMm) const;
    double distanceMm(Side side, double x, double y) const;
    double diagonalMm() const { return m_diagonalMm; }
    // Millimetres per pixel across and down the screen.
    double pixelWidthMm() const { return m_pitchX; }
    double pixelHeightMm() const { return m_pitchY; }
    // A camera's lens centre in screen pixels (outside the picture).
    PlanePoint camera(Side side) const;

private:
    struct Lens {
        PlanePoint at;        // mm, screen corner 0,0, y down
        double heading = 0.0; // degrees
        double centre = 0.0;  // column of the axis
        double focal = 0.0;   // pixels per radian
        double k3 = 0.0;
        double k5 = 0.0;
    };
    const Lens& lens(Side side) const { return m_lens[side == Side::Right ? 1 : 0]; }
    double columnOfField(const Lens& lens, double phi) const;
    void build();

    OpticsConfig m_config;
    int m_width = 1920;
    int m_height = 1080;
    int m_family = 0;
    double m_diagonalMm = 0.0;
    double m_pitchX = 1.0;
    double m_pitchY = 1.0;
    std::array<Lens, 2> m_lens{};
};

} // namespace tovrin::sim
