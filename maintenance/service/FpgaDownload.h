#pragma once
// The FPGA configuration file and how it goes into flash.
//
// Each byte of the file is XOR-ed with a rolling one-byte key before it is
// written; after every byte the key rotates left by one bit:
//     key 0xA5: 0xA5 0x4B 0x96 0x2D 0x5A 0xB4 0x69 0xD2 0xA5 ...
// The key starts again at its starting byte for each unit, so both units
// receive the same bytes. The starting byte must match the FPGA files in
// use; it is the setting Tovrin_Debug/FPGAKey of Tovrin.ini (hexadecimal
// text, "0xa5" when absent).
//
// The file goes to flash offsets 0x00000 onwards of each unit, in chunks of
// 62 bytes (chunk i at offset 62 * i). The FPGA area ends where the firmware
// image information begins (0x10000): a larger file is refused before
// anything is erased, and every 4096-byte sector the file covers is erased
// before the first chunk is written. The pieces of the first 256-byte page,
// where the FPGA looks for the sync word of its configuration, go last.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::maintenance {

constexpr uint32_t kFpgaAreaSize = 0x10000;
constexpr int kFpgaChunk = 62;
constexpr uint32_t kFpgaHeadPage = 256;
constexpr uint8_t kDefaultFpgaKey = 0xA5;
inline constexpr const char* kFpgaKeySetting = "Tovrin_Debug/FPGAKey";

// The rolling XOR key.
class RollingKey {
public:
    explicit RollingKey(uint8_t start) : m_key(start) {}
    // XORs the bytes with the key, rotating it after each one.
    void apply(std::span<uint8_t> bytes);
    uint8_t current() const { return m_key; }

private:
    uint8_t m_key;
};

// The key setting: the starting byte, or nothing when the text in
// Tovrin.ini is not one hexadecimal byte.
std::optional<uint8_t> parseFpgaKey(const QString& text);
std::optional<uint8_t> fpgaKeySetting();

// An FPGA file as read before anything is erased.
struct FpgaFile {
    enum Status { Ok, CannotOpen, Empty, TooLarge };
    Status status = CannotOpen;
    QByteArray bytes;  // the whole file when Ok
    qint64 size = 0;   // bytes found (for TooLarge: at least kFpgaAreaSize + 1)
};
FpgaFile loadFpgaFile(const QString& path);

int fpgaChunkCount(qint64 size);   // ceil(size / 62)
// Progress of chunk index `chunk` of `chunks`: 100 at the last one, never more.
int fpgaPercent(int chunk, int chunks);
int fpgaSectorCount(qint64 size);  // ceil(size / 4096)

// One flash write: offset and length. A chunk is written in pieces that
// never cross a 256-byte flash page and never exceed the 58 bytes one flash
// command carries.
struct FlashPiece {
    uint32_t offset = 0;
    int length = 0;
    bool operator==(const FlashPiece&) const = default;
};
std::vector<FlashPiece> flashPieces(uint32_t offset, int length);

} // namespace tovrin::maintenance
