#pragma once
// The device link: the one open frame of the process and the single-report
// operations on it. Every report written, every report read and every
// feature report fetched goes through here, one at a time under the transfer
// lock, with the bounded wait `IoWaitMs`.
//
// The transport behind it is the real frame (hidapi) or the simulated frame;
// the application installs one at start-up.

#include "Transport.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tovrin::device {

// How long a pending read or write may take, set by each device operation
// just before its command. 3000 ms until the first operation sets it.
extern std::atomic<uint32_t> IoWaitMs;
// 1 when the last pending read or write did not finish within IoWaitMs.
// Cleared at the start of every command transaction.
extern std::atomic<int> IoTimedOut;

// Installs the transport (closing the previous one); nullptr removes it.
void setTransport(std::shared_ptr<Transport> transport);
std::shared_ptr<Transport> currentTransport();

// Opens the frame's vendor collection; resets the link state to LINK_OK first.
// productId = the opened frame's product ID, or 255 when none was opened.
bool OpenHidDevice(uint16_t& productId);

// Re-examines the open device: 0 frame ok, 1 wrong collection, 2 no frame.
int CheckHidDevice(uint16_t& productId);

// One 64-byte report out / in. False (and a log line) on failure.
bool WriteHidDevice(const uint8_t* report);
bool ReadHidDevice(uint8_t* report);

// Reads and drops every input report already waiting, without waiting for
// one (the command transaction does this before it writes). Returns how many
// were dropped; a dead or closed device drops none.
int DropStaleInput();

// Fetches a 3-byte feature report; buffer[0] is set to reportId.
bool GetFeatureReport(uint8_t reportId, uint8_t* buffer);

// Closes the device; always true.
bool CloseHidDevice();

// Held over one command and its matching reply so that two threads never
// take each other's replies. Recursive: an operation may hold it across the
// pieces of a chunked transfer.
std::recursive_mutex& transactionMutex();

} // namespace tovrin::device
