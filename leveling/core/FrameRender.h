#pragma once
// Frames as the leveling window shows them, rendered into 32-bit RGB pixels
// (0xFFRRGGBB, rows top to bottom) without any widget: the window wraps the
// pixels into an image, the benchmark times the rendering.
//
// Each frame line is drawn 8 rows high: image row y shows frame line y / 8.

#include "FrameBuffers.h"

#include "device/DeviceOps.h"

#include <cstdint>
#include <vector>

namespace tovrin::leveling {

constexpr int kRowsPerLine = 8;
constexpr uint32_t kZoneRed = 0xFFFF0000u;

struct RenderedFrame {
    int width = 640;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// The normal view: grey pixels of the frame's lines; on an extended-frame
// unit every line but the last carries the 4-bit current picture, drawn as
// (byte & 0x0F) * 16.
void renderFrame(const FrameBytes& frame, int lines, bool extended, RenderedFrame& out);

// The optimum-line zones of an ordinary unit as opaque red bars: zone e on
// rows code * 8 + 4 .. code * 8 + 7, from the start column up to (not
// including) the zone's position.
void paintZoneBars(const device::ZoneTable& zones, int startColumn, RenderedFrame& out);

// The debug view's two copies of a frame from an extended-frame unit: in
// the first ten lines the background (byte & 0xF0) or the current picture
// ((byte & 0x0F) * 16); the last line stays as it is in both.
FrameBytes backgroundPicture(const FrameBytes& frame);
FrameBytes currentPicture(const FrameBytes& frame);

// The debug view: 11 lines (640 x 88), grey = byte, red full-height columns
// at the start and end column.
void renderDebugFrame(const FrameBytes& frame, int startColumn, int endColumn, RenderedFrame& out);

} // namespace tovrin::leveling
