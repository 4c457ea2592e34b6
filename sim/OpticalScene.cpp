#include "sim/OpticalScene.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

// The frame's own exposure table, shortest first (high byte, low byte).
const std::array<uint16_t, 26> kExposureScale = {
    0x0440, 0x0640, 0x0840, 0x0450, 0x0650, 0x0460, 0x0470, 0x1040, 0x0660, 0x0670, 0x0480, 0x0860, 0x04C0,
    0x04B0, 0x1050, 0x06A0, 0x06C0, 0x08A0, 0x1060, 0x1080, 0x10B0, 0x1460, 0x1470, 0x14B0, 0x1870, 0x1C70,
};

namespace {

constexpr double kBandSigma = 1.1;  // rows

// A repeatable pseudo-random value in [-0.5, 0.5) for one pixel of one frame.
double jitter(uint64_t frame, int unit, int row, int column)
{
    uint64_t z = frame * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(unit) * 0xBF58476D1CE4E5B9ull +
                 static_cast<uint64_t>(row) * 0x94D049BB133111EBull + static_cast<uint64_t>(column);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0 - 0.5;
}

// 1 inside the border's columns; the border's ends fade out over three
// columns.
double columnWeight(const CameraView& view, int column)
{
    if (column >= view.startColumn && column <= view.endColumn)
        return 1.0;
    const int outside = column < view.startColumn ? view.startColumn - column : column - view.endColumn;
    constexpr double kFade[] = {1.0, 0.45, 0.2, 0.08};
    return outside > 3 ? 0.0 : kFade[outside];
}

// How much brighter the band gets with an exposure of the scale.
double gain(uint16_t word)
{
    const int index = exposureIndex(word);
    return index < 0 ? 1.0 : 0.5 + 0.06 * index;
}

} // namespace

int exposureIndex(uint16_t word)
{
    const auto it = std::find(kExposureScale.begin(), kExposureScale.end(), word);
    return it == kExposureScale.end() ? -1 : static_cast<int>(it - kExposureScale.begin());
}

double OpticalScene::bandRow(int unit, double column) const
{
    const CameraView& v = view(unit);
    return v.surfaceRow + v.roll * (column - 319.5) / 639.0;
}

double OpticalScene::brightness(int unit, int row, int column, uint16_t exposure, uint64_t frame, bool noisy) const
{
    const CameraView& v = view(unit);
    const double d = row - bandRow(unit, column);
    const double cw = columnWeight(v, column);
    // A slow ripple runs along the band, as the room light flickers.
    const double ripple = 1.0 + 0.02 * std::sin(static_cast<double>(frame) * 0.23 + column * 0.021);
    const double light = 255.0 * v.reflectance / 100.0 * gain(exposure) * ripple * cw *
                         std::exp(-d * d / (2 * kBandSigma * kBandSigma));
    // Below the band the camera sees the screen, above it the dark room.
    const double ambient = d > 0 ? 12.0 + 10.0 * cw : 9.0;
    const double noise = noisy ? m_config.noise * jitter(frame, unit, row, column) : 0.0;
    return light + ambient + noise;
}

void OpticalScene::renderRow(int unit, int row, uint16_t exposure, uint64_t frame, bool noisy, uint8_t brokenBits,
                             std::span<uint8_t> out) const
{
    const auto keep = static_cast<uint8_t>(~brokenBits);
    const int n = std::min<int>(kColumns, static_cast<int>(out.size()));
    for (int c = 0; c < n; ++c) {
        const double b = std::clamp(brightness(unit, row, c, exposure, frame, noisy), 0.0, 255.0);
        out[static_cast<size_t>(c)] = static_cast<uint8_t>(static_cast<uint8_t>(std::lround(b)) & keep);
    }
}

} // namespace tovrin::sim
