#include "sim/MemoryBank.h"

#include <algorithm>

namespace tovrin::sim {

std::vector<uint8_t> MemoryBank::read(uint32_t offset, uint32_t count) const
{
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < count && offset + i < kFlashSize; ++i)
        out.push_back(flash[offset + i]);
    return out;
}

void MemoryBank::program(uint32_t offset, const uint8_t* data, uint32_t count)
{
    // NOR programming only pulls bits to 0; only an erase brings them back.
    for (uint32_t i = 0; i < count && offset + i < kFlashSize; ++i)
        flash[offset + i] &= data[i];
}

void MemoryBank::eraseSector(uint32_t offset)
{
    if (offset >= kFlashSize)
        return;
    const uint32_t start = offset / kFlashSectorSize * kFlashSectorSize;
    std::fill_n(flash.begin() + start, kFlashSectorSize, uint8_t{0xFF});
}

void MemoryBank::store(uint32_t offset, std::span<const uint8_t> bytes)
{
    for (size_t i = 0; i < bytes.size() && offset + i < kFlashSize; ++i)
        flash[offset + i] = bytes[i];
}

void MemoryBank::rewriteSector(uint32_t offset, std::span<const uint8_t> sector)
{
    eraseSector(offset);
    program(offset / kFlashSectorSize * kFlashSectorSize, sector.data(),
            static_cast<uint32_t>(std::min<size_t>(sector.size(), kFlashSectorSize)));
}

} // namespace tovrin::sim
