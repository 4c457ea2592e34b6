#pragma once
// The picture of one unit on the Preview page: 640 x 72 pixels, row y
// showing frame line y / 8 (so nine lines, eight rows each), pixel value v
// as the grey (v, v, v); marker columns are then set in red (0xFFFF0000).
// Lines the frame does not have stay black.

#include <QImage>

#include <cstdint>
#include <span>

namespace tovrin::windows {

constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 72;
constexpr int kPreviewRowsPerLine = 8;

QImage renderPreviewImage(std::span<const uint8_t> frame, int lines, std::span<const int> markerColumns);

} // namespace tovrin::windows
