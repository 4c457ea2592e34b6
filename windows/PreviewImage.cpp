#include "PreviewImage.h"

namespace tovrin::windows {

QImage renderPreviewImage(std::span<const uint8_t> frame, int lines, std::span<const int> markerColumns)
{
    QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_ARGB32);
    image.fill(0xFF000000u);
    for (int y = 0; y < kPreviewHeight; ++y) {
        const int line = y / kPreviewRowsPerLine;
        const size_t start = static_cast<size_t>(line) * kPreviewWidth;
        if (line >= lines || start + kPreviewWidth > frame.size())
            continue;
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kPreviewWidth; ++x) {
            const uint8_t v = frame[start + static_cast<size_t>(x)];
            row[x] = qRgb(v, v, v);
        }
    }
    for (int column : markerColumns) {
        if (column < 0 || column >= kPreviewWidth)
            continue;
        for (int y = 0; y < kPreviewHeight; ++y)
            image.setPixel(column, y, 0xFFFF0000u);
    }
    return image;
}

} // namespace tovrin::windows
