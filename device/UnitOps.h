#pragma once
// Unit-level operations: what the windows, workers, records and scripts call.
// Besides the device operation each one records the unit name for messages,
// keeps the shared transfer buffer, remembers the last register access for
// the debug pages and scripts, and marks the frame as gone when it stopped
// answering (no reply to its own transaction clears g_bDevExist and
// g_isDeviceCommunicate).

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

namespace tovrin::device {

constexpr int kSharedBufferSize = 4096;

// Frame open and answering (the detection thread sets it).
extern std::atomic<int> g_bDevExist;
// Communication with the frame works.
extern std::atomic<int> g_isDeviceCommunicate;

extern std::atomic<int> SharedBufferValid;     // 1 after a good ReadToBuffer / WriteFromBuffer
extern std::atomic<uint32_t> LastRegAddress;
extern std::atomic<uint8_t> LastRegValue;
extern std::atomic<int> LastRegOk;
extern std::atomic<int> SelectedUnitIsSlave;  // debug pages: register accesses go to the Slave
extern std::atomic<uint8_t> DownloadState;     // 0 idle, 1 next block first, 2 in between, 3 next block last
extern std::atomic<int> DownloadUnitIsSlave;

// "Master" or "Slave": the unit of the last unit-level call.
const char* CurrentUnitName();

// A copy of the first count bytes of the shared transfer buffer.
void copySharedBuffer(std::span<uint8_t> out);

// Reads count (<= 4096) bytes into the shared buffer and, when out is given,
// copies them there too (out must hold count bytes).
bool ReadToBuffer(uint32_t address, int count, std::span<uint8_t> out = {});
// Copies data into the shared buffer and writes it.
bool WriteFromBuffer(uint32_t address, std::span<const uint8_t> data);
bool EraseBlock(uint32_t address, uint8_t byte3 = 1, uint8_t byte4 = 0);

// Register page and script verbs.
bool I2cRead(uint32_t reg, int count, uint8_t& value);                       // "i2crd"
bool I2cWrite(uint32_t reg, int count, uint8_t value);                       // "i2cwd"
bool RegisterRead(uint32_t address, bool unitInAddress, uint8_t& value);     // "srd"
bool PortRead(uint32_t address, int count, uint8_t& value);                  // "prd"
bool PortWrite(uint32_t address, uint8_t value, int count, bool unitInAddress);  // "pwd"

// One download block (<= 62 bytes) to port 0x4000 or 0x8000 of the unit the
// update targets, flagged first/last from DownloadState.
bool DownloadBlock(std::span<const uint8_t> data, uint32_t port);

// Burst transfers between a unit and a file ("brd" <= 624 bytes, "bwd" <= 128).
// The file name is remembered: a read into the same file appends, into
// another file starts it anew; a write always reads the file from its start.
bool BurstReadToFile(uint32_t address, int count, const std::string& fileName);
bool BurstWriteFromFile(uint32_t address, int count, const std::string& fileName);

// Marks the frame gone when the calling thread's last transaction got no
// reply (lastOutcome(), Command.h); a call refused before sending never does.
void markGoneOnNoReply();

} // namespace tovrin::device
