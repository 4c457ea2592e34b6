#pragma once
// One row of the device information workbook, per unit (the Master's row,
// then the Slave's), 16 texts:
//
//   1-11  the eleven fields as written, shown as in the dialog
//   12    the unit's previous device ID, "0x%1" with 8 digits (0 when the
//         unit had no valid record before)
//   13-14 the low and the high byte of the unit's last exposure reading,
//         "0x%1" with 2 digits (empty when no reading was handed over)
//   15    the line image line by line: for each of the 11 lines of the
//         7040-byte frame buffer "<line>:<min>/<mean>/<max>" of its 640
//         pixels, separated by blanks ("0:12/40/230 1:...")
//   16    the brightest line's profile: "L<line>:" and 64 two-digit
//         hexadecimal values, each the brightest of 10 neighbouring pixels
//         ("L4:0808...c8c9...0a"), enough to see where the bright band lies
//         and how even it is
// Both stay a few hundred characters, so that a workbook of thousands of
// frames stays small enough to open and to append to.
// Without a frame buffer (the debug page's entry) 15 and 16 stay empty.

#include "DeviceInfoRecord.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

namespace tovrin::deviceinfo {

constexpr int kFrameBytes = 7040;  // 11 lines of 640 pixels
constexpr int kFrameLines = 11;
constexpr int kFramePixels = 640;
constexpr int kProfileBins = 64;  // 10 pixels each

// What the leveling window hands over for one unit.
struct UnitImage {
    QByteArray frame;                      // kFrameBytes, or empty
    std::optional<uint16_t> exposureWord;  // high byte, low byte
};

// A unit's image as the leveling window keeps it: its 7040-byte frame and
// the two bytes of its last exposure reading (0xFF, 0xFF: no reading).
UnitImage makeUnitImage(std::span<const uint8_t> frame, uint8_t exposureHigh, uint8_t exposureLow);

QString frameSummaryText(const QByteArray& frame);
QString frameProfileText(const QByteArray& frame);

QStringList spreadsheetRow(const DeviceInfo& written, uint32_t previousId, const UnitImage& image);

} // namespace tovrin::deviceinfo
