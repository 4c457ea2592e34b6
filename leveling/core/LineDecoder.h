#pragma once
// The frame's packed line stream: 8 grey levels, run-length coded.
//
//   one byte   b > 15         run = b >> 4 (1..15), level = b & 15
//   two bytes  b <= 15, r     level = b, run = r (0..255)
//
// A level l is the pixel value (l * 32 - 16) mod 256: levels 1..8 give
// 16, 48, ... 240; level 0 gives 240 and levels 9..15 repeat levels 1..7.

#include <cstdint>
#include <span>

namespace tovrin::leveling {

constexpr int kLinePixels = 640;

// The pixel value of a level (0..15).
constexpr uint8_t levelValue(int level) { return static_cast<uint8_t>(level * 32 - 16); }

// Decodes the first `length` bytes of stream into out and returns the
// number of pixels written. Never reads past min(length, stream.size()) nor
// writes past min(out.size(), 640): output stops at 640 pixels, and a
// two-byte item whose count byte lies beyond the stream ends the line. A
// negative length decodes nothing.
int decodeLine(std::span<const uint8_t> stream, int length, std::span<uint8_t> out);

} // namespace tovrin::leveling
