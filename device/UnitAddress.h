#pragma once
// Unit addresses: every device operation names its target with one 32-bit word.
//
//   bit 31..29  0
//   bit 28      unit: 0 Master (left camera), 1 Slave (right camera)
//   bit 27..26  0
//   bit 25..24  space: 0 FPGA register port, 1 sensor (I2C) register,
//               2 flash, 3 download channel
//   bit 23..0   offset in the space (register port 0-15, sensor 0-7, flash 0-23)
//
// Download channel offsets: bits 14-15 choose the port (0x4000 or 0x8000),
// bits 6-7 carry the block flags (0x80 first block, 0x40 last block).
//
// 0x00000012 Master FPGA register 0x12; 0x01000012 Master sensor register
// 0x12; 0x12011000 Slave flash 0x11000; 0x03004080 Master port 0x4000, first block.

#include <cstdint>

namespace tovrin::device {

enum class Space : uint8_t { Register = 0, Sensor = 1, Flash = 2, Download = 3 };
enum class Unit : uint8_t { Master = 0, Slave = 1 };

constexpr uint32_t kSlaveBit = 0x10000000u;
constexpr uint32_t kSensorSpace = 0x01000000u;
constexpr uint32_t kFlashSpace = 0x02000000u;
constexpr uint32_t kDownloadSpace = 0x03000000u;

constexpr Space spaceOf(uint32_t address) { return static_cast<Space>((address >> 24) & 3u); }
constexpr bool isSlave(uint32_t address) { return (address & kSlaveBit) != 0; }
constexpr uint32_t offsetOf(uint32_t address) { return address & 0x00FFFFFFu; }
constexpr uint32_t unitBits(Unit unit) { return unit == Unit::Slave ? kSlaveBit : 0u; }
constexpr uint32_t flashAddress(Unit unit, uint32_t offset) { return unitBits(unit) | kFlashSpace | (offset & 0xFFFFFFu); }
constexpr const char* unitName(uint32_t address) { return isSlave(address) ? "Slave" : "Master"; }

// Flash map of one unit (the same for both).
namespace flash {
constexpr uint32_t kSectorSize = 4096;
constexpr uint32_t kSize = 0x20000;  // 128 KB
constexpr uint32_t kFpgaArea = 0x00000;
constexpr uint32_t kImageInfo = 0x10000;
constexpr uint32_t kCalibrationRecord = 0x11000;
constexpr uint32_t kVersionRecord = 0x13000;
constexpr uint32_t kScreenRecord = 0x18000;
constexpr uint32_t kShortcutKeys = 0x19000;
constexpr uint32_t kLevelingSettings = 0x1A000;
constexpr uint32_t kDeviceInfo = 0x1F000;
} // namespace flash

} // namespace tovrin::device
