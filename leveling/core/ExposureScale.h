#pragma once
// The frame's scale of exposure settings and the out-of-range mark.
//
// An exposure word is shown as its high and low byte. The 26 settings, from
// the shortest (index 0) to the longest (index 25):
//
//    0 04 40    1 06 40    2 08 40    3 04 50    4 06 50    5 04 60    6 04 70
//    7 10 40    8 06 60    9 06 70   10 04 80   11 08 60   12 04 C0   13 04 B0
//   14 10 50   15 06 A0   16 06 C0   17 08 A0   18 10 60   19 10 80   20 10 B0
//   21 14 60   22 14 70   23 14 B0   24 18 70   25 1C 70
//
// A unit whose exposure lies at or above the limit index needed a long
// exposure: its screen border is dim, and its result is shown in red.

#include <cstdint>

namespace tovrin::leveling {

constexpr int kExposureScaleSize = 26;
constexpr int kDefaultExposureLimit = 18;

// The index of a setting in the scale, or -1 when it is not in it.
int exposureScaleIndex(uint8_t high, uint8_t low);

// The limit index from the INI value ExpValue: cut to 0..25.
int exposureLimitIndex(int iniValue);

// The mark after a reading: set at or above the limit, clear below it, and
// left as it was for a word that is not in the scale.
bool exposureMark(bool previous, uint8_t high, uint8_t low, int limit);

} // namespace tovrin::leveling
