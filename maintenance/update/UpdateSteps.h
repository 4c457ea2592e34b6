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

// The HInfo record of a firmware version in two steps: the 34 bytes from
// offset 4 at 0x10004, and later the four magic bytes at 0x10000 that let
// the boot loader start the application.
bool writeHInfoBody(device::Unit unit, uint32_t firmwareVersion);
bool writeHInfoMagic(device::Unit unit);
// Writes a unit's image information at 0x13000: the new image version and
// the boot loader version the sector held before it was erased (the boot
// loader is not part of the update, its version stays). Remembers both.
bool writeImageInformation(device::Unit unit, uint32_t imageVersion, uint32_t bootLoaderVersion);

// Erases every sector the data cover, then writes them in the page chunks.
bool writeFlashData(device::Unit unit, uint32_t destination, std::span<const uint8_t> data);

} // namespace tovrin::update
