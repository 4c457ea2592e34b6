#pragma once
// From captured key corners to the key rectangles the frame works with.
//
// Each captured corner (the two cameras' positions) is mapped with the touch
// calibration the Slave record holds, exactly as the frame maps touches, so
// that the rectangles lie in the frame's own calibrated coordinates (outside
// 0..W-1 / 0..H-1 for keys outside the picture). A group's first and last
// keys come from their corners; the keys between are interpolated.

#include "calibration/math/Evaluation.h"
#include "calibration/math/Solver.h"
#include "keys/core/KeyLayout.h"
#include "records/CalibrationRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovrin::keys {

// The touch mapping of a stored calibration: the record's solution block,
// r_fix / 1024 as the scale, L_Angle_fix / 1024 as the angle offsets, and the
// lens table the record carries in P_Pos.
calib::TouchMapper mapperOfRecord(const records::CalInfo& record);

// Maps every target's captured positions (half pixels) to its calibrated
// screen position, truncated to whole pixels, and logs each. False when a
// target does not map to a point that fits a key rectangle's 16-bit fields
// (parallel rays, nonsense calibration): nothing may be stored then.
bool mapTargets(std::vector<KeyTarget>& targets, const std::vector<int32_t>& oneDLeft,
                const std::vector<int32_t>& oneDRight, const calib::TouchMapper& mapper);

// Key rectangles per edge (index edge - 1), in group order.
using EdgeRects = std::array<std::vector<records::KeyRect>, 4>;

// Integer rounding of value k / (n - 1) of the way from a to b, to the
// nearest pixel (halves away from zero).
int16_t interpolate(int a, int b, int k, int n);

// The rectangles of every key from the measured targets of a laid-out
// configuration. A group of one key takes its two corners; a group of n keys
// takes the first and the last key from their corners and the others by
// interpolation.
EdgeRects buildKeyRectangles(const KeyDepiction& depiction);

// The area the keys span, in calibrated screen pixels: x from the smaller
// left edge of the first and last left key (0 without left keys) to the
// larger right edge of the first and last right key (W without right keys),
// y likewise from the top keys (0) to the bottom keys (H).
struct KeyArea {
    int xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};
KeyArea keyArea(const EdgeRects& rects, int width, int height);

// The image windows of both cameras over the key area: every pair of
// columns is mapped, and the pair nearest each corner of the area (among
// the points inside it) gives the windows' ends. Logs the area as
// "width=(xmin,xmax), height=(ymin, ymax)".
calib::CornerWindow searchKeyAreaCorners(const calib::TouchMapper& mapper, const KeyArea& area);

// Writes the key layout into the Slave record: the solution copy taken
// now, the four key counts and the rectangles (unused entries zero).
void applyKeyLayout(records::CalInfo& slave, const EdgeRects& rects);

// Logs "LeftKeyPosition[%d]: TopLeft(x:%d, y:%d)   BottomRight(x:%d, y:%d)"
// and its Right, Bottom and Top twins; prefix "" or "CalInfo_Rtemp_".
void logKeyRectangles(const records::CalInfo& record, const char* prefix);

} // namespace tovrin::keys
