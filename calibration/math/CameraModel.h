#pragma once
// Geometry model of the frame: where a touch at a screen point appears on each
// camera's sensor. It is the inverse of the mapping the solver uses: the ray
// from the camera to the point gives an angle, the lens table gives the sensor
// column of that angle, and the pixel shift moves it on the sensor.
//
// The simulated frame reports touches with it; the tests synthesise captured
// calibration points with it.

#include "calibration/math/LensTable.h"
#include "calibration/math/Solver.h"
#include "records/ClbInfo.h"

#include <optional>

namespace tovrin::calib {

struct CameraPose {
    double x = 0.0;       // solution plane: screen pixels x R to the right of the left screen edge
    double y = 0.0;       // screen pixels below the top edge (negative: above it)
    int shift = 0;        // pixels added to position / 2 before the lens lookup
    double offset = 0.0;  // degrees added to the lens angle
};

struct FrameGeometry {
    int variant = 0;  // lens table A (0) or B (1)
    double r = 1.0;   // horizontal scale of the solution plane
    CameraPose left;
    CameraPose right;
};

class CameraModel {
public:
    explicit CameraModel(const FrameGeometry& geometry);

    // A frame for a W x H screen with both cameras a little outside the top
    // corners, as the production frames are built.
    static FrameGeometry typical(int width, int height, int variant = 0);

    // Exact sensor position (half pixels) of a screen point; nullopt when the
    // point lies behind the camera (above its axis line).
    std::optional<double> sensorPosition(Camera camera, double sx, double sy) const;

    // The position the frame reports: rounded to whole half pixels; nullopt
    // outside 0-1279 or behind the camera.
    std::optional<int> reportedPosition(Camera camera, double sx, double sy) const;

    // The solution block the solver would ideally find for this frame (camera
    // parts and r_fix; no correction).
    records::StClbInfo idealBlock() const;

    const FrameGeometry& geometry() const { return m_geometry; }
    const LensTable& table() const { return m_table; }

private:
    FrameGeometry m_geometry;
    LensTable m_table;
};

} // namespace tovrin::calib
