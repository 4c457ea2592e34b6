#include "FrameRender.h"

#include <algorithm>

namespace tovrin::leveling {

namespace {

constexpr int kLine = 640;
constexpr int kPictureBytes = 6400;  // ten lines of 4-bit pictures

uint32_t grey(uint8_t v) { return 0xFF000000u | (uint32_t{v} << 16) | (uint32_t{v} << 8) | v; }

void resize(RenderedFrame& out, int lines)
{
    out.width = kLine;
    out.height = lines * kRowsPerLine;
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
}

} // namespace

void renderFrame(const FrameBytes& frame, int lines, bool extended, RenderedFrame& out)
{
    lines = std::clamp(lines, 1, 11);
    resize(out, lines);
    for (int line = 0; line < lines; ++line) {
        const bool picture = extended && line < lines - 1;
        uint32_t* row = out.pixels.data() + static_cast<size_t>(line) * kRowsPerLine * kLine;
        const uint8_t* src = frame.data() + line * kLine;
        for (int x = 0; x < kLine; ++x)
            row[x] = grey(picture ? static_cast<uint8_t>((src[x] & 0x0F) * 16) : src[x]);
        for (int r = 1; r < kRowsPerLine; ++r)
            std::copy_n(row, kLine, row + r * kLine);
    }
}

void paintZoneBars(const device::ZoneTable& zones, int startColumn, RenderedFrame& out)
{
    const int first = std::clamp(startColumn, 0, kLine);
    for (const device::ZoneEntry& zone : zones) {
        const int end = std::clamp<int>(zone.position, 0, kLine);
        const int top = (zone.code & 7) * kRowsPerLine + 4;
        for (int y = top; y < top + 4 && y < out.height; ++y)
            for (int x = first; x < end; ++x)
                out.pixels[static_cast<size_t>(y) * kLine + static_cast<size_t>(x)] = kZoneRed;
    }
}

FrameBytes backgroundPicture(const FrameBytes& frame)
{
    FrameBytes b = frame;
    for (int i = 0; i < kPictureBytes; ++i)
        b[static_cast<size_t>(i)] = frame[static_cast<size_t>(i)] & 0xF0;
    return b;
}

FrameBytes currentPicture(const FrameBytes& frame)
{
    FrameBytes c = frame;
    for (int i = 0; i < kPictureBytes; ++i)
        c[static_cast<size_t>(i)] = static_cast<uint8_t>((frame[static_cast<size_t>(i)] & 0x0F) * 16);
    return c;
}

void renderDebugFrame(const FrameBytes& frame, int startColumn, int endColumn, RenderedFrame& out)
{
    renderFrame(frame, 11, false, out);
    for (int column : {startColumn, endColumn}) {
        if (column < 0 || column >= kLine)
            continue;
        for (int y = 0; y < out.height; ++y)
            out.pixels[static_cast<size_t>(y) * kLine + static_cast<size_t>(column)] = kZoneRed;
    }
}

} // namespace tovrin::leveling
