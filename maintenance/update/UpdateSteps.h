#pragma once
// The device steps of a firmware update, each one request or one planned
// transfer through the unit-level operations (a frame that stops answering
// is marked gone there). All return false on the first failed request.

#include "Package.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace tovrin::update {

// Reads the 60-byte HInfo area of a unit.
bool readHInfoArea(device::Unit unit, std::array<uint8_t, 60>& out);
// Reads a unit's image information (records::g_ImageVersion / g_BootloaderVersion).
bool readImageInformation(device::Unit unit);
// Erases the 4096-byte sector at a flash offset of a unit.
bool eraseSector(device::Unit unit, uint32_t offset);

// Sends an image over the download channel of the job's kind to a unit,
// packet by packet. beforeFirst runs once before the first packet.
bool sendImage(JobKind kind, device::Unit unit, std::span<const uint8_t> image, const std::function<void()>& beforeFirst);

// Writes the HInfo record of a firmware version, its magic last.
bool writeHInfo(device::Unit unit, uint32_t firmwareVersion);
// Writes a unit's image version at 0x13000 and remembers it.
bool writeImageVersion(device::Unit unit, uint32_t version);

// Erases every sector the data cover, then writes them in the page chunks.
bool writeFlashData(device::Unit unit, uint32_t destination, std::span<const uint8_t> data);

} // namespace tovrin::update
