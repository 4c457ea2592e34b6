#pragma once
// Device steps of leveling that the workers run between frames: the stored
// leveling of the records, the capture handshake and zone registers, the
// start-line change of one unit, and the environment configuration the
// calibration run sends before it starts.

#include "device/DeviceOps.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

namespace tovrin::leveling {

// The head of a unit's calibration record (first 60 bytes), little-endian:
//   0 SENSORInfoFlag u32   4 start line u16   6 exposure word u16
//   8 u10_PROJECT_START u16   10 u10_PROJECT_END u16
struct RecordHead {
    uint32_t flag = 0xFFFFFFFF;
    uint16_t startLine = 0;
    uint16_t exposureWord = 0;
    uint16_t startColumn = 0;
    uint16_t endColumn = 0;

    static constexpr int kReadSize = 60;
    static RecordHead decode(std::span<const uint8_t> bytes);  // needs 12 bytes
    bool isValid() const;
};

// Reads the record heads (Master, then Slave when the Master's read came)
// into the shared state: start lines, columns and exposure bytes. Start
// lines default to 236, end columns to 639, start columns to 0 first.
// True when both heads were read.
bool takeRecordHeads();

// The optimum-line table from the zone registers: entry e (0..6) at
// register (0x20 + e) * 10, entry 7 at the unit's end column; the codes are
// the nibbles of registers 0x2A..0x2D (entry 0 the low nibble of 0x2A),
// three bits each.
device::ZoneTable zoneTableFromRegisters(std::span<const uint8_t, 7> positions, std::span<const uint8_t, 4> codes,
                                         uint16_t endColumn);

// The frame-latch handshake of one unit: register 0x30 := 1, then register
// 0x30 read until it is 0, with a sleep before each read.
struct CaptureOptions {
    int sleepBeforeWriteMs = 0;
    int pollSleepMs = 2;
    int maxPolls = 1000;
    std::function<void(int)> onWrite;      // true / false of the write
    std::function<void(bool)> onRead;      // each read's result
    std::function<bool()> check;           // before each step; false stops
};
enum class CaptureResult { Done, Failed, TooManyPolls, Stopped };
CaptureResult captureFrame(int unit, const CaptureOptions& options);

// Reads registers 0x20..0x26 and 0x2A..0x2D of a unit into its optimum-line
// table (shared state). onRead sees each read's result; false at the first
// failed read.
bool readZoneRegisters(int unit, const std::function<void(bool)>& onRead);

// The start-line change the window asks for: for the unit, SetLine with its
// start line (g_OptimumStartLine), ReadLineRange (g_SearchColumn) and
// ReadZones (g_OptimumLineFlag), each result in the shared state.
void changeStartLine(int unit);

// The calibration run's environment: the stored start line of each unit
// (record head) is set again on the device. False when a head cannot be
// read, a start line lies outside 1..640, or SetLine fails.
bool configureEnvironment();

// After a transaction without reply has cleared the device flags: tells a
// frame that is still on the bus but no longer answers from one that has
// left it. The first keeps g_isDeviceCommunicate clear ("not
// communicating", message 14); for the second g_bDevExist is cleared and
// g_isDeviceCommunicate set again ("pulled out", message 61), which is how
// the windows tell the two apart. It asks the transport, so it runs in a
// worker's thread (or the command line's), never in the GUI thread. Nothing
// happens while g_isDeviceCommunicate is set.
void settleLinkLoss();

// Sensor (I2C) register of one unit regardless of the debug page's unit
// choice; a request without reply marks the frame gone.
bool sensorRead(int unit, uint8_t reg, uint8_t& value);
bool sensorWrite(int unit, uint8_t reg, uint8_t value);

} // namespace tovrin::leveling
