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
// count that is missing, not a decimal number or outside 0-255, a code that
// is not hexadecimal or does not fit 16 bits is refused rather than stored
// wrong. Without Tovrin_Key.ini there is nothing to store: the frame keeps
// the codes it holds.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovrin::keys {

constexpr uint32_t kKeyCodeBlockAddress = 0x02019000;  // Master flash 0x19000
constexpr int kMaxKeyCodes = 255;
constexpr size_t kKeyCodeHeader = 2;  // count, 0

struct KeyCodes {
    bool ok = false;
    QString problem;             // for the log when not ok
    std::vector<uint16_t> codes;
    // Tovrin_Key.ini is not there: ok, and the key code block is left as
    // the frame holds it.
    bool keepFrameCodes = false;

    // The block as the frame reads it.
    std::vector<uint8_t> block() const;
};

KeyCodes readKeyCodes(const QString& file = QStringLiteral("Tovrin_Key.ini"));

// A count of key codes: decimal digits only, 0-255; false for anything else.
bool parseKeyCount(const QString& text, int& count);

// A strict hexadecimal 16-bit code; false for anything else.
bool parseKeyCode(const QString& text, uint16_t& code);

// Erases the block's sector, writes the codes, then the header (count, 0)
// in a write of its own, and reads the block back; true when the read-back
// equals what was written. (A block of more than 58 bytes takes several
// reports; the header's report is always the last.)
bool writeKeyCodeBlock(const std::vector<uint8_t>& block);

} // namespace tovrin::keys
