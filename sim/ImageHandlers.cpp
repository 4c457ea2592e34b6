// The handlers of the frame's line image and leveling commands
// (CommandProtocol.h). Byte numbers count from the first payload byte
// (output byte 2) and the first reply payload byte (input byte 3).
#include "sim/CommandProtocol.h"

#include "sim/FrameCore.h"
#include "sim/LineCodec.h"
#include "sim/SimBytes.h"

#include <algorithm>
#include <cstring>

namespace tovrin::sim::handlers {

namespace {

constexpr int kReplySize = 61;
constexpr int kStreamBytes = 59;
constexpr int kRegionBExtendedBase = 7168;
constexpr uint8_t kRegionA = 0x80, kRegionB = 0x40, kPacked = 0xC0;

int unitNumber(const Request& r) { return static_cast<int>(unitIndex(r.unit)); }

} // namespace

// 0-1: byte offset, 2: length. Flags: 0x80 region A (the upper lines),
// 0x40 region B (the last line: at 0, or at 7168 on an extended-frame unit),
// 0xC0 the packed form: length 255 asks for the header of the line at
// offset (line * 640), other lengths for stream bytes from offset; its
// reply is the stream length (u16) and 59 stream bytes.
bool readLineData(FrameCore& core, const Request& r)
{
    const bool extended = core.firmware.extended;
    const int lines = extended ? kMaxLines : kOrdinaryLines;
    const int offset = readU16le(r.payload);
    const int length = r.payload[2];
    const int unit = unitNumber(r);
    // Asking for the first bytes of region A, or the header of line 0,
    // starts a new frame.
    if (offset == 0 && (r.flags == kRegionA || r.flags == 0 || (r.flags == kPacked && length == 255)))
        core.leveling.newFrame(unit);
    const auto image = core.leveling.image(unit, extended);
    PackedLine& p = core.firmware.packed[unitIndex(r.unit)];

    if (r.flags == kPacked) {
        if (length == 255) {
            const int line = offset / kLinePixels;
            if (line >= lines)
                return false;
            p.length = encodePackedLine(image.data() + line * kLinePixels, kLinePixels, p.stream.data());
            writeU16le(r.reply, static_cast<uint16_t>(core.leveling.reportedStreamLength(unit, p.length)));
            std::memcpy(r.reply + 2, p.stream.data(), static_cast<size_t>(std::min(p.length, kStreamBytes)));
            return true;
        }
        if (length > kStreamBytes)
            return false;
        writeU16le(r.reply, static_cast<uint16_t>(core.leveling.reportedStreamLength(unit, p.length)));
        for (int i = 0; i < length && offset + i < kMaxPackedLineLength; ++i)
            r.reply[2 + i] = p.stream[static_cast<size_t>(offset + i)];
        return true;
    }

    if (length > kReplySize)
        return false;
    const int regionALength = (lines - 1) * kLinePixels;
    const int lastLine = (lines - 1) * kLinePixels;
    const int regionBBase = extended ? kRegionBExtendedBase : 0;
    for (int i = 0; i < length; ++i) {
        const int at = offset + i;
        uint8_t value = 0;
        if (r.flags == kRegionB) {
            if (at >= regionBBase && at < regionBBase + kLinePixels)
                value = image[static_cast<size_t>(lastLine + at - regionBBase)];
        } else if (at < regionALength) {
            // Region A (also what a request without flags reads).
            value = image[static_cast<size_t>(at)];
        }
        r.reply[i] = value;
    }
    return true;
}

// 0-1: lower bound, 2-3: upper bound / reply 0-1: the row found (65535: none).
bool searchLine(FrameCore& core, const Request& r)
{
    uint16_t line = 0;
    if (!core.leveling.searchLine(unitNumber(r), readU16le(r.payload), readU16le(r.payload + 2), line))
        return false;
    writeU16le(r.reply, line);
    return true;
}

// 0-1: start line.
bool setLine(FrameCore& core, const Request& r)
{
    return core.leveling.setLine(unitNumber(r), readU16le(r.payload));
}

// Reply 0-1: start column, 2-3: end column.
bool readLineRange(FrameCore& core, const Request& r)
{
    uint16_t first = 0, last = 0;
    if (!core.leveling.lineRange(unitNumber(r), first, last))
        return false;
    writeU16le(r.reply, first);
    writeU16le(r.reply + 2, last);
    return true;
}

// Reply: 0x22, seven zone ends in tens of columns, then the eight 3-bit
// codes two per byte (even zone in the low nibble).
bool readZones(FrameCore& core, const Request& r)
{
    ZoneTable table;
    if (!core.leveling.zones(unitNumber(r), table))
        return false;
    r.reply[0] = kStatusDone;
    std::copy(table.positions.begin(), table.positions.end(), r.reply + 1);
    for (size_t k = 0; k < 4; ++k)
        r.reply[8 + k] = static_cast<uint8_t>((table.codes[2 * k] & 7) | ((table.codes[2 * k + 1] & 7) << 4));
    return true;
}

// Reply 0-1: exposure word, 2-3: start column, 4-5: end column.
bool readExposure(FrameCore& core, const Request& r)
{
    uint16_t word = 0, first = 0, last = 0;
    if (!core.leveling.exposure(unitNumber(r), word, first, last))
        return false;
    writeU16le(r.reply, word);
    writeU16le(r.reply + 2, first);
    writeU16le(r.reply + 4, last);
    return true;
}

} // namespace tovrin::sim::handlers
