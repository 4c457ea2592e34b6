#pragma once
// Device operations: one per command family, addressed with unit addresses
// (UnitAddress.h). Each sets its command's wait time, splits long transfers
// into report-sized pieces and applies its fill rule on failure; none says
// why it failed: the caller asks lastOutcome() (Command.h), the outcome of
// its own thread's last transaction.
//
// Buffers are spans: a count beyond the buffer's capacity, or beyond what
// one report carries, is refused with false before anything is sent, and
// lastOutcome() is then NotSent.

#include "Command.h"

#include <array>
#include <cstdint>
#include <span>

namespace tovrin::device {

// One byte of the FPGA register port; value 0xFF on failure.
bool ReadRegister(uint32_t address, uint8_t& value);

// count bytes from the register port, a sensor register (always one byte),
// or flash; the download channel is not readable. A failure fills count
// bytes with 0xFF. count <= 0: true, nothing sent.
bool ReadUnit(uint32_t address, int count, std::span<uint8_t> buffer);

// count bytes to the register port (pieces of 59, same start address), a
// sensor register (data[0]), flash (one command up to 58 bytes; longer
// writes in 256-byte groups of pieces of up to 58 bytes, each at start plus
// its offset) or the download channel (port 0x4000 or 0x8000, up to 62 bytes).
bool WriteUnit(uint32_t address, int count, std::span<const uint8_t> data);

// Erases the 4096-byte flash sector holding address.
bool EraseFlash(uint32_t address, uint8_t byte3 = 1, uint8_t byte4 = 0);

// Line image data of one unit. m selects the unit (non-zero: Slave); when
// bits 6-7 of m are both set the packed form is used (59 stream bytes into
// buffer, the total stream length into total; count is the length byte:
// 255 asks for a line's header, 1-59 for stream bytes). Bits 30-31 of
// position are the region flags (0x80000000 region A, 0x40000000 region B),
// bits 0-15 the byte offset. The plain form reads 1-61 bytes.
bool ReadLineData(uint8_t m, uint32_t position, int count, std::span<uint8_t> buffer, uint16_t& total);

bool SearchLine(int unit, uint16_t lower, uint16_t upper, uint32_t& startLine);  // 65535 on failure
bool SetLine(int unit, uint16_t startLine);
bool ReadLineRange(int unit, uint32_t& startColumn, uint32_t& endColumn);         // 65535 on failure

// One optimum-line entry: six u16 fields of which the first two are set.
struct ZoneEntry {
    uint16_t position = 0;
    uint16_t code = 0;
    uint16_t reserved[4] = {};
};
using ZoneTable = std::array<ZoneEntry, 8>;
bool ReadZones(int unit, ZoneTable& table);  // every byte 0xFF on failure

bool ReadExposure(int unit, uint8_t& high, uint8_t& low, uint32_t& startColumn, uint32_t& endColumn);

bool ArmTouchData();

// Spots of the last ReadTouchPoints, per camera (up to 5 each).
struct Spot {
    uint16_t position = 0;  // half pixels
    uint16_t width = 0;
    uint16_t strength = 0;
};
struct TouchReport {
    std::array<Spot, 5> master{};
    std::array<Spot, 5> slave{};
    uint16_t counts = 0;    // left count in the low byte, right count in the high byte
    int touchState = 4;     // 1 both units see spots, 2 only Slave, 3 only Master, 4 none
    int masterCount() const { return counts & 0xFF; }
    int slaveCount() const { return counts >> 8; }
};
// 2 both units see spots, 1 one unit, 0 none, 3 command failed.
int ReadTouchPoints(uint8_t request, uint8_t pointIndex, uint32_t screenPosition, uint8_t release,
                    TouchReport& report);
// The report of the last call (the process-wide spot tables).
TouchReport lastTouchReport();

// Mode codes: 0xFF calibration, 0x22 work, 0xEE work after leveling, 0xBB
// FPGA reset, 0xCC reset. reply8 receives the 8-byte reply when given (all
// 0xFF when none came). The second form hands back the transaction's own
// outcome, so that a refusal is told from a timeout and from other statuses
// by this reply alone.
bool SwitchMode(uint8_t mode, uint8_t* reply8 = nullptr);
bool SwitchMode(uint8_t mode, uint8_t* reply8, CommandOutcome& outcome);

constexpr int kStatusSize = 61;
bool GetStatus(std::span<uint8_t> status61);

// 0x42 restart into the boot loader, 0x55 restart into the application.
bool Reboot(uint8_t target);

} // namespace tovrin::device
