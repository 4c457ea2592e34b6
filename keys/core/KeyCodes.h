#pragma once
// The codes the frame sends for the shortcut keys, from Tovrin_Key.ini, and
// the key code block they are stored in (Master flash 0x19000).
//
// Tovrin_Key.ini, group Key_Value: KeyCnt, then Key_1 .. Key_<KeyCnt>, each
// a 16-bit code in hexadecimal ("0x" optional; a missing key is "255").
//
// Key code block, KeyCnt x 2 + 2 bytes:
//   [0] KeyCnt   [1] 0   [2 + 2k] code k high byte   [3 + 2k] code k low byte
//
// KeyCnt is stored in one byte, so more than 255 codes cannot be stored; a
// count outside 0-255, a code that is not hexadecimal or does not fit 16
// bits is refused rather than stored wrong.

#include <QString>

#include <cstdint>
#include <vector>

namespace tovrin::keys {

constexpr uint32_t kKeyCodeBlockAddress = 0x02019000;  // Master flash 0x19000
constexpr int kMaxKeyCodes = 255;

struct KeyCodes {
    bool ok = false;
    QString problem;             // for the log when not ok
    std::vector<uint16_t> codes;

    // The block as the frame reads it.
    std::vector<uint8_t> block() const;
};

KeyCodes readKeyCodes(const QString& file = QStringLiteral("Tovrin_Key.ini"));

// A strict hexadecimal 16-bit code; false for anything else.
bool parseKeyCode(const QString& text, uint16_t& code);

// Erases the block's sector, writes the block in one write and reads it
// back; true when the read-back equals what was written.
bool writeKeyCodeBlock(const std::vector<uint8_t>& block);

} // namespace tovrin::keys
