#include "Transfers.h"

#include <algorithm>

namespace tovrin::update {

std::vector<Packet> imagePackets(uint32_t length)
{
    std::vector<Packet> packets;
    packets.reserve(length / kPacketSize + 1);
    uint32_t offset = 0;
    bool first = true;
    while (offset < length) {
        const uint32_t remaining = length - offset;
        Packet p;
        p.offset = offset;
        p.size = std::min(kPacketSize, remaining);
        // The last packet wins over the first: a short image is one last packet.
        p.flag = remaining <= kPacketSize ? kLastPacket : first ? kFirstPacket : 0;
        packets.push_back(p);
        first = false;
        offset += p.size;
    }
    return packets;
}

uint32_t downloadPort(JobKind kind)
{
    return kind == JobKind::SecondImage ? kSecondImagePort : kFirmwarePort;
}

uint32_t downloadAddress(JobKind kind, device::Unit unit, uint8_t flag)
{
    return device::kDownloadSpace | device::unitBits(unit) | downloadPort(kind) | flag;
}

std::vector<Chunk> flashDataChunks(uint32_t destination, uint32_t length)
{
    static constexpr uint32_t kPageChunks[] = {58, 58, 58, 58, 24};
    std::vector<Chunk> chunks;
    const uint32_t pages = (length + kPageSize - 1) / kPageSize;
    uint32_t source = 0;
    for (uint32_t p = 0; p < pages; ++p) {
        const uint32_t pageStart = destination + kPageSize * p;
        if (p + 1 < pages) {
            uint32_t at = 0;
            for (uint32_t size : kPageChunks) {
                chunks.push_back({pageStart + at, source, size});
                at += size;
                source += size;
            }
            continue;
        }
        // The last page: chunks of 58, the last one shorter.
        const uint32_t remaining = length - kPageSize * p;
        const uint32_t count = (remaining + kChunkSize - 1) / kChunkSize;
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t size = std::min(kChunkSize, remaining - kChunkSize * k);
            chunks.push_back({pageStart + kChunkSize * k, source, size});
            source += size;
        }
    }
    return chunks;
}

std::vector<uint32_t> sectorsCovered(uint32_t destination, uint32_t length)
{
    std::vector<uint32_t> sectors;
    if (length == 0)
        return sectors;
    const uint32_t first = destination / device::flash::kSectorSize;
    const uint32_t last = (destination + length - 1) / device::flash::kSectorSize;
    for (uint32_t s = first; s <= last; ++s)
        sectors.push_back(s * device::flash::kSectorSize);
    return sectors;
}

} // namespace tovrin::update
