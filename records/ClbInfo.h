#pragma once
// The calibration solution block (StClbInfo) and the two lens position tables.
//
// The block is the part of each unit's calibration record that the solver
// produces: 380 bytes, little-endian, packed, stored at record offset 66 (and
// once more at offset 450 as the key-time copy). Offsets inside the block:
//
//   +0    LCam.Po_l4.x      s16   left camera x  (x 16, screen units scaled by R)
//   +2    LCam.Po_l4.y      s16   left camera y  (x 16)
//   +4    LCam.L_A          s32   left pixel shift added before the lens lookup
//   +8    LCam.L_Angle_fix  s32   left angle offset, degrees x 1024
//   +12   RCam              12    the same four fields for the right camera
//   +24   X[9][8]           s32   cell correction coefficients, value x 2^20
//   +312  EvalPt[16]        s16 x, s16 y   mapped calibration points
//   +376  r_fix             s32   horizontal scale x 1024
//
// encode/decode go field by field; nothing here depends on the host's layout.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tovrin::records {

struct StPoint16 {
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool operator==(const StPoint16&) const = default;
};

struct StCamInfo {
    StPoint16 Po_l4;               // camera position x 16
    std::int32_t L_A = 0;          // pixel shift (whole pixels)
    std::int32_t L_Angle_fix = 0;  // angle offset x 1024
    bool operator==(const StCamInfo&) const = default;
};

struct StClbInfo {
    static constexpr std::size_t kSize = 380;
    static constexpr int kCells = 9;
    static constexpr int kCoefficients = 8;
    static constexpr int kEvalPoints = 16;

    StCamInfo LCam;
    StCamInfo RCam;
    std::int32_t X[kCells][kCoefficients] = {};
    StPoint16 EvalPt[kEvalPoints] = {};
    std::int32_t r_fix = 0;

    using Bytes = std::array<std::uint8_t, kSize>;

    // Writes the block into exactly kSize bytes.
    void encode(std::span<std::uint8_t, kSize> out) const;
    Bytes encode() const;

    // Reads a block from a buffer of exactly kSize bytes; any other size is
    // refused (false, out untouched).
    static bool decode(std::span<const std::uint8_t> in, StClbInfo& out);

    bool operator==(const StClbInfo& other) const;
};

// Sensor pixel position tables stored at record offset 1218 (half pixels).
// Table A goes with variant flag 0, table B with variant flag 1.
constexpr int kPPosCount = 68;
using PPosTable = std::array<std::uint16_t, kPPosCount>;

extern const PPosTable kPPosA;
extern const PPosTable kPPosB;

// The table of a unit variant flag: 1 selects B, anything else A (the status
// check reports B only for a byte equal to 1).
const PPosTable& pPosTable(int variantFlag);

} // namespace tovrin::records
