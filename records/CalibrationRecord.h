#pragma once
// The records each camera unit keeps in its flash: the calibration
// information record (CalInfo_L for the Master, CalInfo_R for the Slave),
// the screen information record and the version record, their byte layouts
// and their read, erase and write operations.
//
// Calibration record, 1354 bytes at flash 0x11000, little-endian, packed:
//   0    SENSORInfoFlag u32 (0x46574946 "FIWF" once a calibration is stored)
//   4    start line u16          6    exposure word u16
//   8    u10_PROJECT_START u16   10   u10_PROJECT_END u16
//   12   6 bytes kept as read
//   18   st_COLUMN_PIECE 8 x 3 x u16
//   66   calibration solution block, 380 bytes (ClbInfo.h)
//   446  ScreenWidth u16         448  ScreenHight u16
//   450  key-time solution copy, 380 bytes
//   830  key counts u8: left, bottom, right, top
//   834  LeftKeyPosition 22 x 8   1010 BottomKeyPosition 2 x 8
//   1026 RightKeyPosition 22 x 8  1202 TopKeyPosition 2 x 8
//   1218 P_Pos 68 x u16
// Key rectangle: TopLeft x, y, BottomRight x, y, each s16.
//
// Records are written so that an interrupted save leaves them invalid, never
// valid and wrong: the first word goes out as 0xFFFFFFFF with the first
// piece, the remaining 32-byte pieces follow, the real first word comes last.

#include "ClbInfo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace tovrin::records {

constexpr uint32_t kSensorInfoFlag = 0x46574946;  // "FIWF"
constexpr uint32_t kScreenInfoFlag = 0x41434946;  // "FICA"
constexpr size_t kCalInfoSize = 1354;
constexpr size_t kScreenRecordSize = 26;
constexpr size_t kVersionRecordSize = 8;

struct KeyRect {
    int16_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const KeyRect&) const = default;
};

struct CalInfo {
    uint32_t SENSORInfoFlag = 0xFFFFFFFF;
    uint16_t startLine = 0;
    uint16_t exposureWord = 0;
    uint16_t u10_PROJECT_START = 0;
    uint16_t u10_PROJECT_END = 0;
    std::array<uint8_t, 6> keptBytes{};  // bytes 12-17, kept as read
    std::array<std::array<uint16_t, 3>, 8> st_COLUMN_PIECE{};
    StClbInfo solution;                  // offsets 66-445
    uint16_t ScreenWidth = 0;
    uint16_t ScreenHight = 0;
    StClbInfo keySolution;               // offsets 450-829
    uint8_t leftKeyCount = 0, bottomKeyCount = 0, rightKeyCount = 0, topKeyCount = 0;
    std::array<KeyRect, 22> LeftKeyPosition{};
    std::array<KeyRect, 2> BottomKeyPosition{};
    std::array<KeyRect, 22> RightKeyPosition{};
    std::array<KeyRect, 2> TopKeyPosition{};
    PPosTable P_Pos{};

    bool isValid() const { return SENSORInfoFlag == kSensorInfoFlag; }

    using Bytes = std::array<uint8_t, kCalInfoSize>;
    Bytes encode() const;
    // Any 1354 bytes decode (garbage included); validity is isValid().
    static CalInfo decode(std::span<const uint8_t, kCalInfoSize> bytes);

    bool operator==(const CalInfo&) const = default;
};

struct ScreenRecord {
    uint32_t flag = 0xFFFFFFFF;
    uint8_t Screen_Size = 0, smoothness = 0, ImageMode = 0, Vertical_Mode = 0, OperationMode = 0;
    uint8_t FiveCalibration_en = 0, FourCalib_en = 0, CalibWay = 0, calibWayCode = 0;
    uint8_t InfraredExpTimeS = 0, InfraredExpGainS = 0, zero = 0, TouchType = 0, XPRightClickMode = 0;
    uint32_t TouchRightClickDistThres = 0;
    uint32_t TouchRightClickTimeThres = 0;

    bool isValid() const { return flag == kScreenInfoFlag; }
    using Bytes = std::array<uint8_t, kScreenRecordSize>;
    Bytes encode() const;
    static ScreenRecord decode(std::span<const uint8_t, kScreenRecordSize> bytes);
    bool operator==(const ScreenRecord&) const = default;
};

// A version word: major in bits 24-31, minor 16-23, build 0-15 (0x1020000 is 1.2.0).
struct Version {
    uint32_t word = 0xFFFFFFFF;
    int major() const { return static_cast<int>(word >> 24); }
    int minor() const { return static_cast<int>((word >> 16) & 0xFF); }
    int build() const { return static_cast<int>(word & 0xFFFF); }
};

// Version words of the last good read, per unit (0 Master, 1 Slave).
extern std::atomic<uint32_t> g_ImageVersion[2];
extern std::atomic<uint32_t> g_BootloaderVersion[2];

enum class UnitId { Master = 0, Slave = 1 };

// Flash operations; false when a device transaction failed.
bool readCalibrationRecord(UnitId unit, CalInfo& out);
bool eraseCalibrationRecord(UnitId unit);
bool writeCalibrationRecord(UnitId unit, const CalInfo& record);
bool readScreenRecord(ScreenRecord& out);  // the Slave copy, the only one ever read
bool eraseScreenRecord(UnitId unit);
bool writeScreenRecord(UnitId unit, const ScreenRecord& record);
// Only while a frame is present; stores the words in g_ImageVersion / g_BootloaderVersion.
bool readVersionRecord(UnitId unit);

// The checks a new calibration must pass before it replaces the stored one.
bool acceptNewCalibration(int leftStart, int leftEnd, int rightStart, int rightEnd, int32_t r_fix);

// Widens a stored image window (START/END of a record with a key layout)
// by a new window, so that the keys outside the touch area stay visible.
void widenWindow(uint16_t& storedStart, uint16_t& storedEnd, int newStart, int newEnd);

// Writes the record to the log line by line (name "CalInfo_R" or "CalInfo_L").
void logCalibrationRecord(const CalInfo& record, UnitId unit);

} // namespace tovrin::records
