#pragma once
// What the two line cameras of the simulated frame see along the screen.
//
// Each camera sits in an upper corner of the screen and looks along its
// surface. Its sensor has rows (sensor lines) of 640 columns; the row that
// grazes the surface sees the screen's bright border as a band of light
// between a first and a last column. Where that row lies depends on how the
// unit is mounted: tilting the camera moves the band up or down the sensor,
// rolling it makes the band climb across the columns. How bright the band
// is depends on the border's reflectance and on the exposure; the sensor
// adds its noise, and a data line between sensor and FPGA that is stuck at
// 0 takes its bit out of every pixel.
//
// The scene only renders rows; the firmware that looks at them is
// LevelingFirmware.h. Every call happens under the simulated frame's lock.

#include <array>
#include <cstdint>
#include <span>

namespace tovrin::sim {

// How one camera unit is mounted and what its sensor sees.
struct CameraView {
    double surfaceRow = 236;  // sensor row that grazes the surface at column 320
    double roll = 0;          // rows the band rises from column 0 to column 639
    int startColumn = 40;     // first and last column that see the bright border
    int endColumn = 600;
    int reflectance = 62;     // percent of full scale the band gives at exposure gain 1

    bool operator==(const CameraView&) const = default;
};

struct SceneConfig {
    std::array<CameraView, 2> units{CameraView{236, 3, 40, 600, 62}, CameraView{248, -4, 34, 610, 55}};
    int noise = 6;  // peak-to-peak sensor noise in grey levels

    bool operator==(const SceneConfig&) const = default;
};

// The exposure settings the firmware chooses from, index 0 (shortest) to 25.
extern const std::array<uint16_t, 26> kExposureScale;
// Index of an exposure word in the scale, -1 when it is not one of them.
int exposureIndex(uint16_t word);

class OpticalScene {
public:
    static constexpr int kColumns = 640;
    static constexpr int kRows = 640;

    void configure(const SceneConfig& config) { m_config = config; }
    const SceneConfig& config() const { return m_config; }
    const CameraView& view(int unit) const { return m_config.units[unit ? 1 : 0]; }

    // The band's row at a column.
    double bandRow(int unit, double column) const;
    // Brightness of one sensor pixel at an exposure, in grey levels before
    // the sensor clips it; frame numbers the noise.
    double brightness(int unit, int row, int column, uint16_t exposure, uint64_t frame, bool noisy) const;
    // One sensor row as the FPGA receives it: clipped to 0..255, broken
    // data lines (bits of brokenBits) stuck at 0.
    void renderRow(int unit, int row, uint16_t exposure, uint64_t frame, bool noisy, uint8_t brokenBits,
                   std::span<uint8_t> out) const;

private:
    SceneConfig m_config;
};

} // namespace tovrin::sim
