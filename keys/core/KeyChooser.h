#pragma once
// Choosing each camera's spot of a key touch. Keys lie outside the picture,
// so the spot selection of the touch calibration (which reasons about the
// 4 x 4 grid) does not apply; the key chooser reasons about where a key can
// appear on each camera instead: the camera on the keys' side sees them in
// the first part of its line, the other camera in the far part.

#include "calibration/math/SpotSelect.h"

#include <optional>

namespace tovrin::keys {

// Edge types of the chooser: left keys, right keys, top and bottom keys.
enum KeyEdgeType : int { kLeftKeys = 0, kRightKeys = 1, kAcrossKeys = 2 };

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

} // namespace tovrin::keys
