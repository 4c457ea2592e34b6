#pragma once
// One camera unit's memories: 128 KB of NOR flash, 64 KB of FPGA byte
// registers and 256 sensor (I2C) registers.
//
// Flash follows the NOR rules: an erase sets a 4096-byte sector to 0xFF, a
// program can only clear bits (new = old & data), so data written over
// unerased flash reads back wrong, exactly as on the frame. Reads and
// writes past the end of flash are cut off there.

#include "sim/FrameTypes.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tovrin::sim {

class MemoryBank {
public:
    MemoryBank() { flash.fill(0xFF); }

    std::vector<uint8_t> read(uint32_t offset, uint32_t count) const;
    // The NOR rules.
    void program(uint32_t offset, const uint8_t* data, uint32_t count);
    void eraseSector(uint32_t offset);
    // Bytes as they are, without the NOR rules (test set-up, the factory).
    void store(uint32_t offset, std::span<const uint8_t> bytes);
    // What the unit's own firmware does to rewrite a record: erase its
    // sector and program the sector's new contents.
    void rewriteSector(uint32_t offset, std::span<const uint8_t> sector);

    std::span<const uint8_t> record(uint32_t offset, uint32_t size) const
    {
        return std::span<const uint8_t>(flash).subspan(offset, size);
    }
    UnitMemory view() { return {flash, registers, sensor}; }

    std::array<uint8_t, kFlashSize> flash;
    std::array<uint8_t, kRegisterCount> registers{};
    std::array<uint8_t, kSensorRegisterCount> sensor{};
};

} // namespace tovrin::sim
