#pragma once
// How a frame travels: which pieces of the units' line memory are asked
// for, and where each lands in the frame buffer.
//
// A unit's line memory has two regions (flag bits of ReadLineData's
// position word): region A (0x80000000) holds the upper lines of the frame,
// line i at i * 640; region B (0x40000000) the last line, at 0 on an
// ordinary unit and at 7168 on an extended-frame unit. Plain chunks are 61
// bytes, the last chunk of a frame 30.
//
// Ordinary unit, 9 lines (95 chunks):
//   0..82   region A at k * 61                     -> buffer k * 61
//   83      region A at 5063, 57 bytes (A ends at 5120 = 8 lines)
//   84..94  region B at (k - 84) * 61              -> buffer 5120 + (k - 84) * 61
// Extended-frame unit, 11 lines (116 chunks):
//   0..103  region A at k * 61
//   104     region A at 6344, 56 bytes (A ends at 6400 = 10 lines)
//   105..   region B at 7168 + (k - 105) * 61      -> buffer 6400 + (k - 105) * 61
// An extended-frame unit with fewer lines is read from region A only; its
// last chunk is 30 bytes, or the rest of the frame when that is longer.
//
// Packed lines come as a header (61 reply bytes: stream length u16, 59
// stream bytes) and follow-ups of up to 59 bytes at k * 59.

#include <cstdint>
#include <optional>
#include <vector>

namespace tovrin::leveling {

constexpr int kFrameBytes = 7040;  // 11 lines, the largest frame
constexpr int kChunk = 61;
constexpr int kLastChunk = 30;
constexpr int kStreamPiece = 59;
constexpr int kMaxStream = 640;
constexpr uint32_t kRegionA = 0x80000000u;
constexpr uint32_t kRegionB = 0x40000000u;
constexpr int kRegionBExtended = 7168;

struct Chunk {
    uint32_t region = kRegionA;  // kRegionA or kRegionB
    uint16_t regionOffset = 0;
    uint8_t length = 0;
    uint16_t bufferOffset = 0;

    uint32_t position() const { return region | regionOffset; }
    bool operator==(const Chunk&) const = default;
};

// The chunks of a frame for the leveling thread. onlyLastLine (extended
// unit with the image-debug panel's "Only Last Line") keeps only chunk 0
// and the region-B chunks.
std::vector<Chunk> levelingFramePlan(int lineNum, bool extended, bool onlyLastLine);

// The chunks of a frame for the Preview page. An ordinary unit's 9-line
// frame splits region A after (LineNum - 1) lines as above; an
// extended-frame unit is read exactly as the leveling thread reads it, so
// that its frame keeps line i at i * 640 whatever its line count.
std::vector<Chunk> previewFramePlan(int lineNum, bool extended);

// The frame's line count: 9 on an ordinary unit; on an extended-frame unit
// the INI's LineNum cut to 1..11, and 11 while the image-debug panel is on.
int frameLineCount(bool extended, int iniLineNum, bool adjustDebug);

// One follow-up request of a packed stream.
struct StreamPiece {
    uint16_t offset = 0;
    uint8_t length = 0;
    // A piece that would pass the 640-byte stream buffer is never asked for.
    bool fits() const { return offset + length <= kMaxStream; }
    bool operator==(const StreamPiece&) const = default;
};

// The follow-ups after a header reporting a stream of `length` bytes:
// none up to 59; else pieces k = 1 .. n-1 (n = length / 59 rounded up) at
// k * 59, 59 bytes each except the last, which has length mod 59 (59 when
// that is 0). A length beyond 640 yields a piece that does not fit.
std::vector<StreamPiece> streamFollowUps(int length);

} // namespace tovrin::leveling
