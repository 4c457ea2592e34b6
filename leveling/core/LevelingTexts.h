#pragma once
// The texts the leveling window shows for its codes, from the message list
// of the current language and the shared leveling state.

#include <QString>

#include <cstdint>

namespace tovrin::leveling {

// Two lower-case hexadecimal digits, zero-padded ("0a").
QString hexByte(uint8_t value);

// Code 1: message 57 "Optical Parameters:%1!" with the unit's start line
// when it lies in 1..639, else message 58.
QString searchResultText(int unit);
// Code 4 and a served start-line change: message 59 with the unit's start
// line, start column and end column.
QString leveledText(int unit);
// Code 9: the stored leveling. Extended-frame device: "M--%1,0x%2,0x%3"
// (start line, exposure high and low byte); otherwise the same followed by
// the eight optimum-line entries as (position, code, position).
QString storedLevelingText(int unit, bool extended);
// Codes 12 / 13: message 55 with start line, columns and exposure bytes.
QString exposureText(int unit);
// The countdown caption: message 136 "Save&Exit(%1s)".
QString countdownCaption(int seconds);

} // namespace tovrin::leveling
