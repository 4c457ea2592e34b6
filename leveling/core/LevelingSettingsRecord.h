#pragma once
// The leveling settings record of an extended-frame unit: 15 bytes at flash
// offset 0x1A000 (unit addresses 0x201A000 Master, 0x1201A000 Slave). The
// tool only carries these values; the unit's firmware uses them.
//
//   0  "TEST"             4  expValue          5  pointValueBegin
//   6  pointValueEnd      7  vsyncDiff         8..11  kept from the Master's record
//   12 autoUpdateBk       13 autoImageEval     14 autoStartLine

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tovrin::leveling {

constexpr uint32_t kLevelingSettingsOffset = 0x1A000;
constexpr int kLevelingSettingsSize = 15;

struct LevelingSettingsRecord {
    std::array<uint8_t, 4> magic{'T', 'E', 'S', 'T'};
    uint8_t expValue = 0xC0;
    uint8_t pointValueBegin = 0x08;
    uint8_t pointValueEnd = 0x1E;
    uint8_t vsyncDiff = 0x02;
    std::array<uint8_t, 4> kept{};
    uint8_t autoUpdateBk = 1;
    uint8_t autoImageEval = 1;
    uint8_t autoStartLine = 1;

    using Bytes = std::array<uint8_t, kLevelingSettingsSize>;
    Bytes encode() const;
    static LevelingSettingsRecord decode(std::span<const uint8_t, kLevelingSettingsSize> bytes);
    bool hasMagic() const { return magic == std::array<uint8_t, 4>{'T', 'E', 'S', 'T'}; }
    bool operator==(const LevelingSettingsRecord&) const = default;
};

// The record from the TEST_PARA group of Tovrin.ini (kept bytes zero).
// Nothing when a value does not fit its byte: such a value is refused,
// never stored cut.
std::optional<LevelingSettingsRecord> levelingSettingsFromIni();

// A byte from hexadecimal text ("0x1e", "1E", "0x00_1e"): text that is not
// a number reads as 0; a number that does not fit a byte gives nothing.
std::optional<uint8_t> byteFromHexText(const QString& text);

} // namespace tovrin::leveling
