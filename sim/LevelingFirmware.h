#pragma once
// The part of the simulated firmware that looks at the picture: the window
// of sensor rows the FPGA keeps, the line images, and the leveling commands,
// each answered from the picture the scene renders at that moment (so the
// sensor's noise, a dim band, a rolled camera and a broken data line all
// show in the answers).
//
//   SearchLine     the row inside the asked bounds that most columns (the
//                  middle ones weighing most) see lit, clearly above the
//                  dark rows; 65535 when no row is (no band there, or too
//                  dark to see)
//   SetLine        moves the window; rows 1..640 are accepted
//   ReadLineRange  the longest run of columns in which one of the window's
//                  lines sees the band clearly: where the band leaves the
//                  window (a rolled camera) the run ends
//   ReadZones      eight zones over those columns: where each ends and
//                  which frame line (0..7) sees the band best in it
//   ReadExposure   the shortest exposure of its scale at which the band, as
//                  the window sees it, stands bright enough above the
//                  window's dark lines (197 grey levels on average; an extended-frame
//                  unit takes its settings record's threshold), and the
//                  columns again
//
// The window: frame line i of an ordinary unit shows sensor row
// (start line - 4 + i) for i = 0..7, and line 8 is the start row itself, as
// the firmware processes it. An extended-frame unit keeps 10 lines of 4-bit
// pictures (background in the high nibble, current picture in the low
// nibble) for rows start line - 4 .. + 5, and the start row in 8 bits.
//
// The unit starts from its records: at power-up the start line, exposure,
// window (START..END) and zones come from its calibration record where they
// hold usable values, and again whenever the host has written a valid
// record. What leveling finds stays in hand until the frame goes back into
// a work mode; then the firmware writes what it measured into its record
// (start line and exposure, START and END, the zones as column pieces).
// An extended-frame unit also reads its settings record (0x1A000, "TEST"):
// exposure threshold, finger-in threshold, whether the background follows
// the picture, whether it looks for its start line itself at power-up.
//
// Register 0x30 written with 1 latches a frame and the zone table into
// registers 0x20..0x26 / 0x2A..0x2D; it reads back 1 for a few polls first.
// Register 0x36 reads the data lines of the sensor at the column set in
// 0x33/0x34 (all ones while the sensor sends its test pattern). Sensor
// register 0x12 has bit 6 set at power-up when the unit's band lies in the
// upper part of the sensor (above row 200), where the host must search.
//
// Every call happens under the simulated frame's lock.

#include "sim/FaultPlan.h"
#include "sim/OpticalScene.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tovrin::sim {

// The zone table as the FPGA lays it out: seven zone ends in tens of
// columns, eight 3-bit codes.
struct ZoneTable {
    std::array<uint8_t, 7> positions{};
    std::array<uint8_t, 8> codes{};

    bool operator==(const ZoneTable&) const = default;
};

// The settings record of an extended-frame unit (15 bytes at 0x1A000).
struct UnitSettings {
    bool valid = false;             // begins with "TEST"
    uint8_t exposureThreshold = 0xC0;
    uint8_t fingerIn = 0x08;
    uint8_t fingerOut = 0x1E;
    bool autoUpdateBackground = true;
    bool autoStartLine = true;
};

class LevelingFirmware {
public:
    static constexpr uint16_t kNoLine = 65535;
    static constexpr int kCaptureReads = 3;  // reads of 0x30 that still see 1

    explicit LevelingFirmware(const OpticalScene& scene);

    // ---- Records ------------------------------------------------------
    // Power-up of a unit: defaults, then what its records hold (record: the
    // calibration record's bytes; settings: the 15 bytes at 0x1A000, read
    // only on an extended-frame unit).
    void powerUp(int unit, std::span<const uint8_t> record, std::span<const uint8_t> settings, bool extended);
    // The host wrote a valid calibration record: its leveling fields apply now.
    void applyRecord(int unit, std::span<const uint8_t> record);
    void applySettings(int unit, std::span<const uint8_t> settings);
    // Writes what leveling measured since the last store into the record's
    // bytes; true when that changed them.
    bool storeLeveling(int unit, std::span<uint8_t> record);
    // The leveling fields of a record as a unit leveled on its scene stores
    // them (the factory's leveling).
    void levelForFactory(int unit, std::span<uint8_t> record);
    // Power-up value of sensor register 0x12.
    uint8_t sensorModeRegister(int unit) const;
    const UnitSettings& settings(int unit) const { return m_units[idx(unit)].settings; }

    // ---- Commands (false: the firmware refuses) -------------------------
    bool searchLine(int unit, uint16_t lower, uint16_t upper, uint16_t& line);
    bool setLine(int unit, uint16_t line);
    bool lineRange(int unit, uint16_t& startColumn, uint16_t& endColumn);
    bool zones(int unit, ZoneTable& table);
    bool exposure(int unit, uint16_t& word, uint16_t& startColumn, uint16_t& endColumn);

    uint16_t startLine(int unit) const { return m_units[idx(unit)].startLine; }
    uint16_t exposureWord(int unit) const { return m_units[idx(unit)].exposureWord; }

    // Canned answers for tests; each replaces the firmware's answer until
    // clearPins().
    void pinSearchLine(int unit, uint16_t line);
    void pinLineRange(int unit, uint16_t startColumn, uint16_t endColumn);
    void pinZones(int unit, const ZoneTable& table);
    void pinExposure(int unit, uint16_t word);
    void pinLine(int unit, int line, std::span<const uint8_t> pixels);
    void clearPins();

    // ---- Registers and images ----------------------------------------------
    void captureRequested(int unit);
    void beforeRegisterRead(int unit, uint16_t address, int count, std::span<uint8_t> registers,
                            std::span<const uint8_t> sensorRegisters);
    // The FPGA starts a new frame (the host asks for the first bytes of one).
    void newFrame(int unit);
    // The unit's current frame: 11 lines of 640 bytes, line i at i * 640.
    std::span<const uint8_t> image(int unit, bool extended);
    // The stream length a packed header reports for a line whose stream has
    // actualLength bytes.
    int reportedStreamLength(int unit, int actualLength) const;

    void setFaults(const LevelingFaults& faults);
    void sceneChanged();

private:
    struct Measured {
        bool line = false, columns = false, zones = false, exposure = false;
    };
    struct UnitState {
        uint16_t startLine = 236;
        uint16_t exposureWord = 0x04B0;
        uint16_t startColumn = 0;
        uint16_t endColumn = 639;
        ZoneTable zoneTable{};
        Measured measured;
        UnitSettings settings;
        bool backgroundFrozen = false;  // the background stays as it was at power-up
        bool backgroundTaken = false;
        std::array<uint8_t, 10 * 640> background{};
        int captureReads = 0;
        uint64_t frame = 0;
        bool stale = true;
        bool renderedExtended = false;
        std::array<uint8_t, 11 * 640> image{};
        std::optional<uint16_t> pinnedSearch;
        std::optional<std::array<uint16_t, 2>> pinnedRange;
        std::optional<ZoneTable> pinnedZones;
        std::optional<uint16_t> pinnedExposure;
        std::array<bool, 11> pinnedLine{};
        std::array<uint8_t, 11 * 640> pinnedPixels{};
    };

    static size_t idx(int unit) { return unit ? 1 : 0; }
    int windowLines(int unit) const;  // rows the window keeps above the processed line
    void renderRow(int unit, int row, uint16_t exposure, std::array<uint8_t, 640>& out);
    bool findColumns(int unit, uint16_t exposure, int& first, int& last);
    bool findZones(int unit, int first, int last, ZoneTable& table);
    void render(int unit, bool extended);

    const OpticalScene& m_scene;
    LevelingFaults m_faults;
    std::array<UnitState, 2> m_units;
    std::array<bool, 2> m_extended{};
    int m_noiseless = 0;  // > 0 while the factory levels
};

} // namespace tovrin::sim
