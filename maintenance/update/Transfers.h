#pragma once
// How the update's bytes travel: images over the boot loader's download
// channel, flash data in report-sized writes. Both plans are pure; the steps
// of UpdateSteps.h send them.
//
// Image packets: at most 62 bytes each, the whole payload of one output
// report. The first packet carries flag 0x80, the last 0x40, the ones in
// between none; a packet becomes the last one as soon as fewer than 63 bytes
// remain, so an image of up to 62 bytes is one packet flagged last only.
// Download-channel unit addresses:
//
//   0x03004000  firmware, Master        + 0x10000000  Slave
//   0x03008000  second image, Master    + 0x80 first packet, + 0x40 last packet
//
// Flash data: pages of 256 bytes, each written as chunks of 58, 58, 58, 58
// and 24 bytes; the last page as chunks of 58 with the last one shorter, as
// many as its bytes need. Chunk k of page p goes to destination + 256 p + 58 k,
// the data taken from the package in order. Every 4096-byte sector the data
// touch is erased first.

#include "Package.h"

#include <cstdint>
#include <vector>

namespace tovrin::update {

constexpr uint32_t kPacketSize = 62;
constexpr uint8_t kFirstPacket = 0x80;
constexpr uint8_t kLastPacket = 0x40;
constexpr uint32_t kFirmwarePort = 0x4000;
constexpr uint32_t kSecondImagePort = 0x8000;

struct Packet {
    uint32_t offset = 0;  // in the image
    uint32_t size = 0;
    uint8_t flag = 0;     // kFirstPacket, kLastPacket or 0
    bool operator==(const Packet&) const = default;
};

std::vector<Packet> imagePackets(uint32_t length);

uint32_t downloadPort(JobKind kind);
// The download-channel unit address a packet goes to.
uint32_t downloadAddress(JobKind kind, device::Unit unit, uint8_t flag);

constexpr uint32_t kPageSize = 256;
constexpr uint32_t kChunkSize = 58;

struct Chunk {
    uint32_t destination = 0;  // flash offset
    uint32_t source = 0;       // offset in the job's data
    uint32_t size = 0;
    bool operator==(const Chunk&) const = default;
};

std::vector<Chunk> flashDataChunks(uint32_t destination, uint32_t length);
// Flash offsets of the sectors that [destination, destination + length) touches.
std::vector<uint32_t> sectorsCovered(uint32_t destination, uint32_t length);

} // namespace tovrin::update
