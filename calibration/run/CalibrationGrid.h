#pragma once
// The targets of the two calibration runs, in capture order: 16 points of
// the 4 x 4 grid (row by row from the top, left to right), or its four
// corners (points 0, 3, 12 and 15 of that grid). The spot choice and the
// point tables speak of grid indices; the solver of capture indices, with
// the right camera's positions kept row-mirrored.

#include "calibration/math/Solver.h"
#include "calibration/math/SpotSelect.h"

#include <array>

namespace tovrin::calib {

enum class GridKind { Sixteen, Four };

struct CalibrationGrid {
    GridKind kind = GridKind::Sixteen;
    int points = 16;
    std::array<ScreenPoint, 16> targets{};  // capture order; the first `points` are used

    static CalibrationGrid make(GridKind kind, int width, int height)
    {
        CalibrationGrid g;
        g.kind = kind;
        if (kind == GridKind::Sixteen) {
            g.points = 16;
            g.targets = screenPoints16(width, height);
        } else {
            g.points = 4;
            const auto four = screenPoints4(width, height);
            std::copy(four.begin(), four.end(), g.targets.begin());
        }
        return g;
    }

    // Index of capture point i in the 4 x 4 grid.
    int gridIndex(int i) const
    {
        constexpr int kCorners[4] = {0, 3, 12, 15};
        return kind == GridKind::Sixteen ? i : kCorners[i & 3];
    }
    int columnType(int i) const { return kind == GridKind::Sixteen ? columnTypeOf16(i) : columnTypeOf4(i); }
    // Where the right camera's position of capture point i is stored.
    int mirrorIndex(int i) const { return kind == GridKind::Sixteen ? mirror16(i) : mirror4(i); }
    ScreenPoint target(int i) const { return targets[static_cast<std::size_t>(i)]; }
};

} // namespace tovrin::calib
