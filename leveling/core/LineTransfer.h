#pragma once
// Fetching frames from both units: single chunks, the packed (compressed)
// frame of 9 lines, the plain frame of a chunk plan, and the last line of
// each unit. The preview, leveling and calibration workers all fetch with
// these, and differ only in how they react to a failure (the policy).
//
// Every request goes through a check first (the caller's), so that a stop
// request, a preview switched off or a lost frame ends a frame between two
// requests.

#include "ChunkPlan.h"
#include "FrameBuffers.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tovrin::leveling {

enum class FetchOutcome {
    Complete,      // every line or chunk was asked for (some may have failed, see the policy)
    Stopped,       // the check said stop
    Failed,        // a request failed where the policy stops the frame
    StreamTooLong, // a packed stream would pass 640 bytes
};

struct FetchHooks {
    // Runs before each request; false ends the frame with Stopped.
    std::function<bool()> check;
    // A plain chunk failed where the policy goes on (the leveling thread's code 8).
    std::function<void()> chunkFailed;
};

// One plain chunk of a unit into dest (length bytes): ReadLineData with the
// region flags in the position word. Sets g_PreviewSucFlag to the result;
// success sets g_isDeviceCommunicate, a request without reply marks the
// frame gone. On refusal dest holds the frame's 0xFF fill.
bool fetchChunk(int unit, uint32_t position, int length, std::span<uint8_t> dest);

// One packed request: the header of a line (offset = line * 640, length
// byte 255) or a follow-up (offset k * 59, length <= 59). 59 stream bytes
// go to dest, the total stream length to total. Same flags as fetchChunk.
bool fetchPacked(int unit, uint16_t offset, uint8_t lengthByte, std::span<uint8_t, kStreamPiece> dest,
                 uint16_t& total);

class LineTransfer {
public:
    enum class Policy {
        // The leveling thread: a failed header keeps the unit's previous
        // stream for the line, failed follow-ups and plain chunks are
        // skipped (chunkFailed), the frame goes on.
        Leveling,
        // The Preview page: any failed request stops the frame.
        Preview,
    };

    explicit LineTransfer(Policy policy);

    // 9 packed lines of both units into the working frames.
    FetchOutcome fetchCompressed(FrameBuffers& frames, const FetchHooks& hooks);
    // The chunks of plan, Master then Slave for each chunk.
    FetchOutcome fetchPlain(FrameBuffers& frames, const std::vector<Chunk>& plan, const FetchHooks& hooks);

    // The packed stream of a unit as last received.
    std::span<const uint8_t> stream(int unit) const { return m_stream[unit ? 1 : 0]; }
    int streamLength(int unit) const { return m_length[unit ? 1 : 0]; }

    static constexpr int kCompressedLines = 9;

private:
    FetchOutcome fetchHeader(int unit, int line, const FetchHooks& hooks);
    FetchOutcome fetchFollowUps(int unit, const FetchHooks& hooks);

    Policy m_policy;
    std::array<std::array<uint8_t, kMaxStream>, 2> m_stream{};
    std::array<int, 2> m_length{};
    std::array<bool, 2> m_headerOk{};
};

// The last line of both units straight from region B (for the calibration
// run): 61-byte chunks at regionBase + 61 * k, k = 0..10, the last one 30
// bytes, Master then Slave for each k. regionBase is 0 on an ordinary unit
// and 7168 on an extended-frame unit. False at the first failed chunk.
bool readLastLines(int regionBase, std::span<uint8_t, 640> master, std::span<uint8_t, 640> slave);

} // namespace tovrin::leveling
