#include "keys/core/KeyChooser.h"

#include "keys/core/KeyLayout.h"

#include <cstdlib>

namespace tovrin::keys {

int keyEdgeType(int edge)
{
    switch (edge) {
    case kEdgeLeft: return kLeftKeys;
    case kEdgeRight: return kRightKeys;
    case kEdgeTop: return kTopKeys;
    default: return kAcrossKeys;
    }
}

std::optional<int> chooseKeySpot(calib::SpotReport& spots, calib::Side side, int edgeType)
{
    const int count = spots.valid();
    // Top keys: both cameras look along the top edge, neither is near.
    const bool near = (edgeType == kLeftKeys && side == calib::Side::Left) ||
                      ((edgeType == kRightKeys || edgeType == kAcrossKeys) && side == calib::Side::Right);
    const int low = near ? kNearLow : kFarLow;
    const int high = near ? kNearHigh : kFarHigh;

    int kept = 0;
    int lastKept = -1;
    for (int i = 0; i < count; ++i) {
        calib::Spot& s = spots.spots[static_cast<size_t>(i)];
        s.flag = s.position >= low && s.position <= high ? 1 : 0;
        if (s.flag) {
            ++kept;
            lastKept = i;
        }
    }
    if (kept == 0)
        return std::nullopt;
    if (kept == 1)
        return spots.spots[static_cast<size_t>(lastKept)].position;

    // Several: two or more spots at the bezel edge mean the key sits right
    // there; the outermost of them (largest position) is the finger.
    int belowCount = 0;
    int below = -1;
    for (int i = 0; i < count; ++i) {
        const calib::Spot& s = spots.spots[static_cast<size_t>(i)];
        if (s.position < kBezelLimit) {
            ++belowCount;
            if (below < 0 || s.position > spots.spots[static_cast<size_t>(below)].position)
                below = i;
        }
    }
    if (belowCount >= 2)
        return spots.spots[static_cast<size_t>(below)].position;

    // A clearly wide spot is the finger (of equal widths the later one).
    int widest = -1;
    for (int i = 0; i < count; ++i) {
        const calib::Spot& s = spots.spots[static_cast<size_t>(i)];
        if (s.flag && (widest < 0 || s.width >= spots.spots[static_cast<size_t>(widest)].width))
            widest = i;
    }
    if (spots.spots[static_cast<size_t>(widest)].width >= kWideSpot)
        return spots.spots[static_cast<size_t>(widest)].position;

    // Otherwise the kept spot nearest the line's middle (positions are half
    // pixels: position / 2 is the exact column, 312.5 included).
    int best = -1;
    double bestDistance = 0.0;
    for (int i = 0; i < count; ++i) {
        const calib::Spot& s = spots.spots[static_cast<size_t>(i)];
        if (!s.flag)
            continue;
        const double distance = std::abs(s.position / 2.0 - 320.0);
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best < 0)
        return std::nullopt;
    return spots.spots[static_cast<size_t>(best)].position;
}

calib::Spot keySpot(calib::SpotReport& spots, calib::Side side, int edgeType)
{
    const std::optional<int> position = chooseKeySpot(spots, side, edgeType);
    if (!position)
        return {};
    for (int i = 0; i < spots.valid(); ++i) {
        calib::Spot s = spots.spots[static_cast<size_t>(i)];
        if (s.position == *position) {
            s.flag = 1;
            return s;
        }
    }
    return {};
}

} // namespace tovrin::keys
