#include "ChunkPlan.h"

#include <algorithm>

namespace tovrin::leveling {

namespace {

constexpr int kLineBytes = 640;

int chunkCount(int lineNum) { return lineNum * kLineBytes / kChunk + 1; }

uint8_t chunkLength(int k, int count) { return static_cast<uint8_t>(k == count - 1 ? kLastChunk : kChunk); }

// The last chunk of a frame read from region A only: 30 bytes, or the rest
// of the frame when that is longer (2, 4, 6 or 8 lines leave 57 to 60 bytes
// after the last full chunk; 30 would never fetch the end of the last line).
uint8_t lastRegionAChunk(int lineNum, int k)
{
    return static_cast<uint8_t>(std::max(kLastChunk, lineNum * kLineBytes - k * kChunk));
}

Chunk regionA(int offset, int length)
{
    return Chunk{kRegionA, static_cast<uint16_t>(offset), static_cast<uint8_t>(length), static_cast<uint16_t>(offset)};
}

} // namespace

std::vector<Chunk> levelingFramePlan(int lineNum, bool extended, bool onlyLastLine)
{
    lineNum = std::clamp(lineNum, 1, 11);
    const int count = chunkCount(lineNum);
    // The chunk that ends region A, and the first one of region B.
    const int splitChunk = extended ? 104 : 83;
    const int regionAEnd = extended ? 6400 : 5120;
    const int regionBBase = extended ? kRegionBExtended : 0;
    std::vector<Chunk> plan;
    plan.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        Chunk c;
        if (k < splitChunk && k == count - 1) {
            c = regionA(k * kChunk, lastRegionAChunk(lineNum, k));
        } else if (k < splitChunk) {
            c = regionA(k * kChunk, chunkLength(k, count));
        } else if (k == splitChunk) {
            c = regionA(k * kChunk, regionAEnd - k * kChunk);
        } else {
            const int j = k - splitChunk - 1;
            c = Chunk{kRegionB, static_cast<uint16_t>(regionBBase + j * kChunk), chunkLength(k, count),
                      static_cast<uint16_t>(regionAEnd + j * kChunk)};
        }
        if (onlyLastLine && c.regionOffset >= 1 && c.regionOffset <= kRegionBExtended - 1)
            continue;
        plan.push_back(c);
    }
    return plan;
}

std::vector<Chunk> previewFramePlan(int lineNum, bool extended)
{
    lineNum = std::clamp(lineNum, 1, 11);
    if (extended)
        return levelingFramePlan(lineNum, true, false);
    const int count = chunkCount(lineNum);
    const int regionAEnd = (lineNum - 1) * kLineBytes;
    const int split = regionAEnd / kChunk;
    std::vector<Chunk> plan;
    plan.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        if (k < split) {
            plan.push_back(regionA(k * kChunk, chunkLength(k, count)));
        } else if (k == split) {
            if (regionAEnd > split * kChunk)
                plan.push_back(regionA(k * kChunk, regionAEnd - split * kChunk));
        } else {
            const int j = k - split - 1;
            plan.push_back(Chunk{kRegionB, static_cast<uint16_t>(j * kChunk), chunkLength(k, count),
                                 static_cast<uint16_t>(regionAEnd + j * kChunk)});
        }
    }
    return plan;
}

int frameLineCount(bool extended, int iniLineNum, bool adjustDebug)
{
    if (!extended)
        return 9;
    if (adjustDebug)
        return 11;
    return std::clamp(iniLineNum, 1, 11);
}

std::vector<StreamPiece> streamFollowUps(int length)
{
    std::vector<StreamPiece> pieces;
    if (length < 60)
        return pieces;
    const int n = (length + kStreamPiece - 1) / kStreamPiece;
    for (int k = 1; k < n; ++k) {
        const int rest = length % kStreamPiece;
        const int len = k == n - 1 ? (rest == 0 ? kStreamPiece : rest) : kStreamPiece;
        pieces.push_back(StreamPiece{static_cast<uint16_t>(k * kStreamPiece), static_cast<uint8_t>(len)});
    }
    return pieces;
}

} // namespace tovrin::leveling
