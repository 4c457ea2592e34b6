#pragma once
// The firmware image information (HInfo) a unit keeps at flash 0x10000. The
// update writes 38 bytes after a firmware transfer; the boot loader starts
// the application only while the record begins with its magic, so the magic
// goes out last: first the 34 bytes from offset 4 at 0x10004, then the four
// magic bytes at 0x10000. The record is read back as 60 bytes.
//
//   +0  "AGPF" (magic)     +4  u8 1          +5  u8 0
//   +6  u32 0x11111111     +10 u32 firmware version
//   +14 u32 0              +18 u32 0x7E00    +22 u32 0x22222222
//   +26 u32 1              +30 u32 0x8000    +34 u32 0x7E00
//
// Image information, 8 bytes at flash 0x13000: image version (u32), then
// boot loader version (u32). A version word holds major in its top byte,
// minor in the next and the patch number in its low 16 bits.

#include <array>
#include <cstdint>
#include <span>

namespace tovrin::update {

constexpr int kHInfoSize = 38;
constexpr int kHInfoReadSize = 60;
constexpr int kHInfoBodyOffset = 4;
constexpr uint32_t kHInfoMagic = 0x46504741;  // "AGPF" in flash order
constexpr uint32_t kVersionWithNewCalibration = 0x01020000;  // 1.2.0

struct HInfo {
    uint32_t magic = 0;
    uint8_t b4 = 0;
    uint8_t b5 = 0;
    uint32_t w6 = 0;
    uint32_t version = 0;
    uint32_t w14 = 0;
    uint32_t w18 = 0;
    uint32_t w22 = 0;
    uint32_t w26 = 0;
    uint32_t w30 = 0;
    uint32_t w34 = 0;
    bool operator==(const HInfo&) const = default;
};

// The record the update writes for a firmware of this version.
std::array<uint8_t, kHInfoSize> encodeHInfo(uint32_t firmwareVersion);
// The fields of the first 38 bytes of a read.
HInfo decodeHInfo(std::span<const uint8_t, kHInfoSize> bytes);

} // namespace tovrin::update
