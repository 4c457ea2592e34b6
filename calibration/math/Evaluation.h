#pragma once
// Image-window evaluation after a solve: which sensor columns of each camera
// see the screen. The corner search maps every pair of left and right columns
// and keeps, for each screen corner, the pair that lands nearest to it; the
// window of each camera then spans its columns of the two corners it sees at
// the ends of its field. The last image line then widens each window over
// columns that are still bright.

#include "calibration/math/Solver.h"

#include <cstdint>
#include <span>

namespace tovrin::calib {

constexpr int kSensorColumns = 640;

struct CornerWindow {
    bool found = false;  // some pair mapped inside the screen
    int leftStart = 0;   // left column nearest to (0, H)
    int leftEnd = 0;     // left column nearest to (W, 0)
    int rightStart = 0;  // right column nearest to (W, H)
    int rightEnd = 0;    // right column nearest to (0, 0)
    bool operator==(const CornerWindow&) const = default;
};

// The area a corner search looks in: xmin <= x < xmax, ymin <= y < ymax
// (screen pixels). The touch calibration searches the screen; the key
// calibration the wider area its keys span, beyond the picture.
struct CornerBox {
    int xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    static constexpr CornerBox screen(int width, int height) { return {0, width, 0, height}; }
    bool empty() const { return xmax <= xmin || ymax <= ymin; }
    bool operator==(const CornerBox&) const = default;
};

// For a = 0-639 (outer) and b = 0-639, maps positions (2a, 2b). Among the
// results inside the box the first initialises all four corners; a later
// one replaces a corner only when strictly nearer (squared Euclidean
// distance) to the box's corner: leftStart (xmin, ymax), leftEnd (xmax,
// ymin), rightStart (xmax, ymax), rightEnd (xmin, ymin). No result inside
// the box (or an empty box) leaves all four 0.
// Logs "Left_Start=..., Left_End=..." and "Right_Start=..., Right_End=...".
CornerWindow SearchCorners(const TouchMapper& mapper, const CornerBox& box);
// The screen 0 <= x < W, 0 <= y < H, on the mapper's plane (W / plane by
// H / plane).
inline CornerWindow SearchCorners(const TouchMapper& mapper, int width, int height)
{
    const int n = mapper.plane > 0 ? mapper.plane : 1;
    return SearchCorners(mapper, CornerBox::screen(width / n, height / n));
}

// Widening of one unit's window by its last image line (640 pixels): from
// START - 1 down to START - 15 (when START >= 16) the first column darker than
// 200 moves START to the column after it; from END + 1 up to END + 15 (when
// END < 624) the first such column moves END to the column before it.
// Windows outside the line are left alone.
constexpr int kBrightThreshold = 200;
constexpr int kWidenColumns = 15;
void WidenByImage(int& start, int& end, std::span<const std::uint8_t, kSensorColumns> line);

} // namespace tovrin::calib
