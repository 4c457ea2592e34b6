#include "LineTransfer.h"

#include "LevelingState.h"
#include "LineDecoder.h"

#include "device/DeviceOps.h"
#include "device/UnitOps.h"

#include <QDebug>

#include <algorithm>

namespace tovrin::leveling {

namespace {

constexpr uint8_t kPackedSelector = 0xC0;  // bits 6-7 of m: the packed form
constexpr uint8_t kHeaderLength = 255;

bool settle(bool ok)
{
    g_PreviewSucFlag = ok ? 1 : 0;
    if (ok)
        device::g_isDeviceCommunicate = 1;
    else
        device::markGoneOnNoReply();
    return ok;
}

std::atomic<int>& streamLengthFlag(int unit) { return unit ? g_PrevDataCmpLenS : g_PrevDataCmpLenM; }

} // namespace

bool fetchChunk(int unit, uint32_t position, int length, std::span<uint8_t> dest)
{
    if (length <= 0 || static_cast<size_t>(length) > dest.size())
        return false;
    uint16_t unused = 0;
    return settle(device::ReadLineData(static_cast<uint8_t>(unit ? 1 : 0), position, length, dest, unused));
}

bool fetchPacked(int unit, uint16_t offset, uint8_t lengthByte, std::span<uint8_t, kStreamPiece> dest,
                 uint16_t& total)
{
    const uint8_t m = static_cast<uint8_t>(kPackedSelector | (unit ? 1 : 0));
    return settle(device::ReadLineData(m, offset, lengthByte, dest, total));
}

LineTransfer::LineTransfer(Policy policy)
    : m_policy(policy)
{
}

FetchOutcome LineTransfer::fetchHeader(int unit, int line, const FetchHooks& hooks)
{
    const size_t u = unit ? 1 : 0;
    if (!hooks.check())
        return FetchOutcome::Stopped;
    std::array<uint8_t, kStreamPiece> piece{};
    uint16_t total = 0;
    m_headerOk[u] = fetchPacked(unit, static_cast<uint16_t>(line * kLinePixels), kHeaderLength, piece, total);
    if (!m_headerOk[u]) {
        // The leveling thread keeps the unit's previous stream for this line.
        return m_policy == Policy::Leveling ? FetchOutcome::Complete : FetchOutcome::Failed;
    }
    m_length[u] = total;
    streamLengthFlag(unit) = total;
    std::copy_n(piece.begin(), std::min<int>(total, kStreamPiece), m_stream[u].begin());
    return FetchOutcome::Complete;
}

FetchOutcome LineTransfer::fetchFollowUps(int unit, const FetchHooks& hooks)
{
    const size_t u = unit ? 1 : 0;
    if (!m_headerOk[u])
        return FetchOutcome::Complete;
    std::array<uint8_t, kStreamPiece> piece{};
    for (const StreamPiece& p : streamFollowUps(m_length[u])) {
        if (!p.fits())
            return FetchOutcome::StreamTooLong;
        if (!hooks.check())
            return FetchOutcome::Stopped;
        uint16_t total = 0;
        if (!fetchPacked(unit, p.offset, p.length, piece, total)) {
            if (m_policy == Policy::Preview)
                return FetchOutcome::Failed;
            continue;  // skipped: those stream bytes stay as they were
        }
        std::copy_n(piece.begin(), p.length, m_stream[u].begin() + p.offset);
    }
    return FetchOutcome::Complete;
}

FetchOutcome LineTransfer::fetchCompressed(FrameBuffers& frames, const FetchHooks& hooks)
{
    for (int line = 0; line < kCompressedLines; ++line) {
        // Both headers, then each unit's follow-ups, then both lines decoded.
        for (int unit : {kMaster, kSlave}) {
            if (const FetchOutcome o = fetchHeader(unit, line, hooks); o != FetchOutcome::Complete)
                return o;
        }
        for (int unit : {kMaster, kSlave}) {
            if (const FetchOutcome o = fetchFollowUps(unit, hooks); o != FetchOutcome::Complete)
                return o;
        }
        for (int unit : {kMaster, kSlave}) {
            std::span<uint8_t> frame = frames.working(unit);
            if (frame.empty())
                return FetchOutcome::Stopped;
            const size_t u = unit ? 1 : 0;
            const int decoded = decodeLine(m_stream[u], std::min(m_length[u], kMaxStream),
                                           frame.subspan(static_cast<size_t>(line * kLinePixels), kLinePixels));
            if (decoded != kLinePixels) {
                if (unit == kMaster)
                    qDebug("---------------------Ai=%d,destlen =%d,g_PrevDataCmpLenM =%d\n", line, decoded, m_length[u]);
                else
                    qDebug("--------------------Bi=%d,destlen =%d,g_PrevDataCmpLenS =%d\n", line, decoded, m_length[u]);
            }
        }
    }
    return FetchOutcome::Complete;
}

FetchOutcome LineTransfer::fetchPlain(FrameBuffers& frames, const std::vector<Chunk>& plan, const FetchHooks& hooks)
{
    for (const Chunk& c : plan) {
        if (!hooks.check())
            return FetchOutcome::Stopped;
        std::span<uint8_t> a = frames.working(kMaster);
        std::span<uint8_t> b = frames.working(kSlave);
        if (a.empty() || b.empty() || c.bufferOffset + c.length > kFrameBytes)
            return FetchOutcome::Stopped;
        // Master first; the Slave only when the Master's chunk came.
        bool ok = fetchChunk(kMaster, c.position(), c.length, a.subspan(c.bufferOffset, c.length));
        if (ok) {
            if (!hooks.check())
                return FetchOutcome::Stopped;
            ok = fetchChunk(kSlave, c.position(), c.length, b.subspan(c.bufferOffset, c.length));
        }
        if (!ok) {
            if (m_policy == Policy::Preview)
                return FetchOutcome::Failed;
            if (hooks.chunkFailed)
                hooks.chunkFailed();
        }
    }
    return FetchOutcome::Complete;
}

bool readLastLines(int regionBase, std::span<uint8_t, 640> master, std::span<uint8_t, 640> slave)
{
    for (int k = 0; k <= 10; ++k) {
        const int length = k == 10 ? kLastChunk : kChunk;
        const uint32_t position = kRegionB | static_cast<uint32_t>(regionBase + kChunk * k);
        const size_t at = static_cast<size_t>(kChunk * k);
        if (!fetchChunk(kMaster, position, length, std::span<uint8_t>(master).subspan(at, static_cast<size_t>(length))))
            return false;
        if (!fetchChunk(kSlave, position, length, std::span<uint8_t>(slave).subspan(at, static_cast<size_t>(length))))
            return false;
    }
    return true;
}

} // namespace tovrin::leveling
