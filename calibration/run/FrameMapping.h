#pragma once
// A touch as the frame maps it with a stored calibration: the two sensor
// positions through the stored camera parts (positions x 16, pixel shifts,
// angle offsets x 1024, r_fix x 1024, all as stored, not the solver's
// doubles), then the projective correction of the grid cell the point falls
// in (the cell whose measured corners, EvalPt, enclose it; outside the grid
// the nearest cell). A 4-point record has one cell. The camera parts map onto
// the solution plane (the screen divided by the plane divisor the block was
// solved on, Solver.h); the corrections take the plane onto the screen.
//
// This is how the tool measures what a user will feel after a calibration:
// the truth is known on the simulated frame only.

#include "calibration/math/Solver.h"
#include "records/ClbInfo.h"

#include <array>
#include <optional>

namespace tovrin::calib {

struct ScreenPointF {
    double x = 0.0;
    double y = 0.0;
};

class FrameMapping {
public:
    FrameMapping(const records::StClbInfo& block, int variantFlag, int plane = 1);

    // Screen point of two sensor positions; nothing for parallel rays or a
    // cell without a usable correction.
    std::optional<ScreenPointF> map(std::int32_t leftPos, std::int32_t rightPos) const;
    // The uncorrected point (camera parts and scale only), brought from the
    // plane to the screen.
    std::optional<ScreenPointF> mapUncorrected(std::int32_t leftPos, std::int32_t rightPos) const;

    bool fourPoint() const { return m_cells == 1; }

private:
    int cellOf(double x, double y) const;
    std::optional<ScreenPointF> onPlane(std::int32_t leftPos, std::int32_t rightPos) const;

    records::StClbInfo m_block;
    CalibSolver m_solver;
    int m_plane = 1;
    int m_cells = 9;
};

// The diagonal (inches) a screen size class stands for: the middle of its
// range; none for the open classes (0 "<=30", 7 ">=96") and unknown ones.
std::optional<double> diagonalInches(int screenSizeClass);

} // namespace tovrin::calib
