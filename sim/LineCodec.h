#pragma once
// The frame's packed line stream: 8 grey levels, run-length coded. The frame
// sends a line this way when the host asks with the packed form of
// ReadLineData (codes 0xC0 / 0xC1).
//
// Stream items:
//   one byte   b > 15        run = b >> 4 (1..15), level = b & 15
//   two bytes  b <= 15, r    level = b, run = r (0..255)
// A level l stands for the pixel value (l * 32 - 16) mod 256, so levels 1..8
// give 16, 48, ... 240. The frame uses levels 1..8 only, and the two-byte form
// for every run longer than 15 pixels.

#include <cstdint>

namespace tovrin::sim {

constexpr int kMaxPackedLineLength = 640;

// The level that represents an 8-bit pixel value (1..8).
constexpr uint8_t packedLevel(uint8_t pixel)
{
    return static_cast<uint8_t>(pixel / 32 + 1);
}

// Encodes count pixels into out (room for kMaxPackedLineLength bytes) and
// returns the stream length. A 640-pixel line never needs more than 640 bytes.
int encodePackedLine(const uint8_t* pixels, int count, uint8_t* out);

} // namespace tovrin::sim
