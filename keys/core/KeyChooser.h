#pragma once
// Choosing each camera's spot of a key touch. Keys lie outside the picture,
// so the spot selection of the touch calibration (which reasons about the
// 4 x 4 grid) does not apply; the key chooser reasons about where a key can
// appear on each camera instead. A camera's line runs from looking straight
// down its own edge (position 0) to looking along the top edge (the far
// end): the camera on the keys' side sees left, right and bottom keys in
// the first part of its line (the Slave camera counts as the bottom keys'
// side), the other camera in the far part. Top keys lie along the edge both
// cameras look along: both see them in the far part of their lines (a top
// key in the middle of the edge is at about 1150 on both), so neither is
// near.

#include "calibration/math/SpotSelect.h"

#include <optional>

namespace tovrin::keys {

// Edge types of the chooser: left keys, right keys, bottom keys, top keys.
enum KeyEdgeType : int { kLeftKeys = 0, kRightKeys = 1, kAcrossKeys = 2, kTopKeys = 3 };

// The edge type of an edge code (1 left, 2 right, 3 bottom, 4 top).
int keyEdgeType(int edge);

// Position ranges kept (half pixels, ends included).
constexpr int kNearLow = 0, kNearHigh = 900;
constexpr int kFarLow = 600, kFarHigh = 1220;
constexpr int kBezelLimit = 201;  // spots below this are the frame's own bezel edge
constexpr int kWideSpot = 10;     // a spot this wide is a finger

// Picks the key spot of one camera from its sorted spots; sets each spot's
// flag (1 kept, 0 not) and returns the chosen position, or nothing.
std::optional<int> chooseKeySpot(calib::SpotReport& spots, calib::Side side, int edgeType);

// The same as the spot choice of a calibration capture takes it: the chosen
// spot with flag 1, or an empty spot (flag 0) when there is none.
calib::Spot keySpot(calib::SpotReport& spots, calib::Side side, int edgeType);

} // namespace tovrin::keys
