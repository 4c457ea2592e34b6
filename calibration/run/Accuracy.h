#pragma once
// How accurate a calibration is, as the user will feel it.
//
// The residuals at the calibration points (the solver's report) mostly
// measure the capture noise of those same points, and the cell corrections
// take every calibration point exactly onto its target. What a user feels
// is the error everywhere else: on the simulated frame, where the truth is
// known, a dense grid of other points is touched, each touch is mapped
// through the stored record as the frame maps it, and compared with where
// the finger really was. On a real frame only the calibration-point report
// exists; it is shown with the completion message, with a warning when its
// maximum is far beyond what a sound calibration gives.

#include "calibration/math/Solver.h"
#include "calibration/run/CalibrationStore.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/TouchCapture.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tovrin::calib {

// A sound calibration maps its points within a few pixels before the cell
// corrections (capture noise of +-1 half pixel, human aim); far beyond that
// a spot was mistaken or the frame has moved.
constexpr double kResidualWarningPx = 15.0;
bool residualsFarOff(const AccuracyReport& report);

// "mean 1.23 px, max 4.56 px (point 12)"
QString residualText(const AccuracyReport& report);

struct GridFigure {
    int columns = 0;
    int rows = 0;
    int touched = 0;   // touches mapped
    int missed = 0;    // touches the frame did not see or could not map
    double meanPx = 0.0;
    double maxPx = 0.0;
    std::optional<double> meanMm;  // when the screen size class gives a diagonal
    std::optional<double> maxMm;
    std::vector<double> rowMeanPx;  // mean of each grid row, top first
};

// Touches the finger at (x, y) and gives the sensor position each camera
// reports; false when a camera did not see it.
using TouchAt = std::function<bool(double x, double y, std::int32_t& left, std::int32_t& right)>;

// Touches a columns x rows grid of points over the screen, each in the
// middle of its grid cell (so none is a calibration point), maps each touch
// through the stored record and compares it with the finger. `corrected`
// false leaves the cell corrections out (camera parts and scale only).
GridFigure measureGrid(const FrameMapping& mapping, int width, int height, int columns, int rows,
                       const TouchAt& touchAt, std::optional<double> diagonalInches = std::nullopt,
                       bool corrected = true);

// "grid 15x9: mean 1.23 px, max 4.56 px (mean 0.97 mm, max 3.60 mm), 135 touches"
QString gridText(const GridFigure& figure);
void logGridFigure(const GridFigure& figure);

// Places the finger at (x, y), reads one frame of spots and lifts it;
// false when the frame did not answer.
using FrameTouch = std::function<bool(double x, double y, TouchFrame& frame)>;

// One touch through the frame's own reports: place the finger, read one
// frame of spots (ReadTouchPoints), lift.
FrameTouch touchThroughFrame(std::function<void(double x, double y)> place, std::function<void()> lift);

// Which reported spot of a camera the frame takes for the finger: one it
// looks at (inside the position range a finger can have and, when known,
// the unit's image window START..END) that is not a spot the run saw
// without a touch (its background list, matched as the spot choice matches
// it); among several the widest. Never a reflection or an edge spot just
// because it is wider than the finger.
struct SpotPick {
    BackgroundList left;   // Master
    BackgroundList right;  // Slave
    std::optional<ImageWindows> windows;
};
std::optional<std::int32_t> pickedSpot(const SpotReport& spots, const BackgroundList& background,
                                       std::optional<std::pair<int, int>> window);

// A frame touch whose spots are picked as the frame would pick them.
TouchAt pickedTouch(FrameTouch touch, SpotPick pick);

// measureGrid with each touch read through the frame and picked by `pick`.
GridFigure measureGrid(const FrameMapping& mapping, int width, int height, int columns, int rows,
                       const FrameTouch& touch, std::optional<double> diagonalInches = std::nullopt,
                       bool corrected = true, const SpotPick& pick = {});

// Where the truth is known (the simulated frame), start-up installs a probe
// and every stored calibration is measured on a columns x rows grid right
// after its records are read back, the spots picked with the run's
// background and the stored image windows; the figure goes to the log and
// into the run's report. None is installed on a real frame.
struct GridProbe {
    FrameTouch touch;
    int columns = 15;
    int rows = 9;
};
void setGridProbe(std::optional<GridProbe> probe);
std::optional<GridProbe> gridProbe();

} // namespace tovrin::calib
