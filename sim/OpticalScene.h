#pragma once
// What the two line cameras of the simulated frame see, and the leveling
// firmware that looks at it.
//
// Each camera sits in an upper corner of the screen and looks along its
// surface. Its sensor has rows (sensor lines) of 640 columns; the row that
// grazes the surface sees the screen's bright border as a band of light
// between a first and a last column. Where that row lies depends on how the
// unit is mounted: tilting the camera moves the band up or down the sensor,
// rolling it makes the band climb across the columns.
//
// The FPGA keeps a window of rows around the start line set by SetLine:
// frame line i shows sensor row (start line - 4 + i). An ordinary unit keeps
// 9 such lines. An extended-frame unit keeps 10 lines of 4-bit pictures
// (background in the high nibble, current picture in the low nibble) and, as
// its last line, the start row itself in 8 bits.
//
// The firmware's leveling commands work on the scene:
//   SearchLine     the row of the band inside the asked window, 65535 when
//                  the band is not there (or too dark to see)
//   SetLine        moves the window; lines 1..640 are accepted
//   ReadLineRange  the band's first and last column while the window sees it
//   ReadZones      eight zones over the band's columns: where each ends and
//                  which frame line (0..7) sees the band best in it
//   ReadExposure   chooses the shortest exposure of its scale that makes the
//                  band bright enough, and reports it with the columns
// Register 0x30 written with 1 latches a frame and the zone table into
// registers 0x20..0x26 / 0x2A..0x2D; it reads back 1 for a few polls first.
// Register 0x36 reads the data lines of the sensor at the column set in
// 0x33/0x34 (all ones while the sensor sends its test pattern).
//
// Every call happens under the simulated frame's lock.

#include <array>
#include <cstdint>
#include <optional>
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

// Faults of the optics and of the leveling firmware (index 0 Master, 1 Slave).
struct SceneFaults {
    std::array<bool, 2> failSetLine{};
    std::array<bool, 2> failLineRange{};
    std::array<bool, 2> failZones{};
    std::array<bool, 2> failExposure{};
    std::array<uint8_t, 2> brokenDataBits{};  // data lines between sensor and FPGA stuck at 0
    bool longStream = false;                  // packed headers of the Master report 700 bytes

    bool operator==(const SceneFaults&) const = default;
};

struct SceneConfig {
    std::array<CameraView, 2> units{CameraView{236, 3, 40, 600, 62}, CameraView{248, -4, 34, 610, 55}};
    int noise = 6;  // peak-to-peak sensor noise in grey levels
    SceneFaults faults;

    bool operator==(const SceneConfig&) const = default;
};

// The zone table as the FPGA lays it out: seven zone ends in tens of
// columns, eight 3-bit codes.
struct ZoneTable {
    std::array<uint8_t, 7> positions{};
    std::array<uint8_t, 8> codes{};
};

class OpticalScene {
public:
    static constexpr int kColumns = 640;
    static constexpr int kMaxLines = 11;
    static constexpr int kOrdinaryLines = 9;
    static constexpr uint16_t kNoLine = 65535;
    static constexpr int kCaptureReads = 3;  // reads of 0x30 that still see 1

    OpticalScene();

    void configure(const SceneConfig& config);
    const SceneConfig& config() const { return m_config; }

    // The firmware starts: the window of lines and the exposure come from
    // the unit's stored record when it holds usable values.
    void powerUp(int unit, std::optional<uint16_t> storedStartLine, std::optional<uint16_t> storedExposure);

    // Leveling commands; false: the firmware refuses.
    bool searchLine(int unit, uint16_t lower, uint16_t upper, uint16_t& line) const;
    bool setLine(int unit, uint16_t line);
    bool lineRange(int unit, uint16_t& startColumn, uint16_t& endColumn) const;
    bool zones(int unit, ZoneTable& table) const;
    bool exposure(int unit, uint16_t& word, uint16_t& startColumn, uint16_t& endColumn);

    uint16_t startLine(int unit) const { return m_units[idx(unit)].startLine; }
    uint16_t exposureWord(int unit) const { return m_units[idx(unit)].exposureWord; }

    // Canned answers for tests that want them; each replaces the scene's
    // answer until the scene is configured again.
    void pinSearchLine(int unit, uint16_t line);
    void pinLineRange(int unit, uint16_t startColumn, uint16_t endColumn);
    void pinZones(int unit, const ZoneTable& table);
    void pinExposure(int unit, uint16_t word);
    void pinLine(int unit, int line, std::span<const uint8_t> pixels);

    // Register 0x30 was written non-zero.
    void captureRequested(int unit);
    // Before a read of count registers from address: the capture handshake
    // and the data-line register take their values.
    void beforeRegisterRead(int unit, uint16_t address, int count, std::span<uint8_t> registers,
                            std::span<const uint8_t> sensorRegisters);

    // The FPGA starts a new frame (the host asks for the first bytes of one).
    void newFrame(int unit);
    // The unit's current frame: 11 lines of 640 bytes, line i at i * 640.
    std::span<const uint8_t> image(int unit, bool extended);

    // The stream length a packed header reports for a line whose stream has
    // actualLength bytes.
    int reportedStreamLength(int unit, int actualLength) const;

private:
    struct UnitOptics {
        uint16_t startLine = 236;
        uint16_t exposureWord = 0x04B0;
        int captureReads = 0;  // reads of 0x30 left before it clears; 0 idle
        uint64_t frame = 0;
        bool stale = true;
        bool renderedExtended = false;
        std::array<uint8_t, kMaxLines * kColumns> image{};
        std::optional<uint16_t> pinnedSearch;
        std::optional<std::array<uint16_t, 2>> pinnedRange;
        std::optional<ZoneTable> pinnedZones;
        std::optional<uint16_t> pinnedExposure;
        std::array<bool, kMaxLines> pinnedLine{};
        std::array<uint8_t, kMaxLines * kColumns> pinnedPixels{};
    };

    static size_t idx(int unit) { return unit ? 1 : 0; }
    double bandRow(int unit, double column) const;
    bool windowSeesBand(int unit) const;
    double brightness(int unit, int row, int column, bool withNoise) const;
    double gain(uint16_t word) const;
    void render(int unit, bool extended);

    SceneConfig m_config;
    std::array<UnitOptics, 2> m_units;
};

// The exposure settings the firmware chooses from, index 0 (shortest) to 25.
extern const std::array<uint16_t, 26> kExposureScale;

} // namespace tovrin::sim
