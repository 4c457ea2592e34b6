#pragma once
// An Excel 97 (BIFF8) workbook of one worksheet holding text and number
// cells, written record by record. Debian has no library that writes this
// format (libxlsxwriter writes the newer .xlsx only), so the small writer is
// ours; tests read its files back with FreeXL.
//
// Workbook stream:
//   globals: BOF(0809, workbook) CODEPAGE(0042, UTF-16) WINDOW1(003D)
//            FONT(0031) x5  XF(00E0) x16 (15 style, 1 cell)  STYLE(0293)
//            BOUNDSHEET(0085)  SST(00FC) [CONTINUE(003C)...]  EXTSST(00FF)  EOF(000A)
//   sheet:   BOF(0809, worksheet) COLINFO(007D)... DIMENSIONS(0200)
//            LABELSST(00FD) / NUMBER(0203) cells by row  WINDOW2(023E)  EOF
// Record: type u16, length u16 (at most 8224), data. Texts are in the shared
// string table; one that does not fit its record goes on in a CONTINUE
// record, which starts with its own option byte. Readers such as FreeXL
// follow a text across one record boundary only, so a text that would need
// a third record starts in a record of its own, and one that would need a
// third record even there is refused: texts of up to kXlsMaxWideText
// characters beyond Latin-1, or kXlsMaxNarrowText within it, are written
// and read back everywhere; a sheet with a longer one is not written at all.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tovrin::deviceinfo {

constexpr int kXlsMaxRows = 65536;
constexpr int kXlsMaxColumns = 256;
constexpr int kXlsMaxWideText = 8217;     // two bytes per character
constexpr int kXlsMaxNarrowText = 16436;  // Latin-1, one byte per character

// True when the text can be written into a cell (see above) and holds no
// NUL character (readers end a text there).
bool xlsTextFits(const QString& text);

struct XlsCell {
    int row = 0;
    int column = 0;
    bool isText = true;
    QString text;
    double number = 0;
};

struct XlsSheet {
    QString name = QStringLiteral("DeviceInfo");
    std::vector<XlsCell> cells;          // any order; written by row, then column
    std::vector<int> columnWidths;       // in characters, from column 0 (optional)
};

// The workbook stream ("Workbook"), padded to at least 4096 bytes; nothing
// when a text does not fit (xlsTextFits).
std::optional<QByteArray> buildWorkbookStream(const XlsSheet& sheet);
// The whole .xls file; nothing when a text does not fit. Cells beyond the
// sheet's limits are not written.
std::optional<QByteArray> buildXlsFile(const XlsSheet& sheet);

} // namespace tovrin::deviceinfo
