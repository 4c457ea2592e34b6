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
// string table; one that does not fit its record goes on in CONTINUE
// records, each starting with its own option byte. A text that would need
// three records starts in a record of its own (FreeXL reads a text across
// one record boundary only); texts of up to 16444 bytes (8222 characters
// beyond Latin-1) therefore read back everywhere.

#include <QByteArray>
#include <QString>

#include <vector>

namespace tovrin::deviceinfo {

constexpr int kXlsMaxRows = 65536;
constexpr int kXlsMaxColumns = 256;
constexpr int kXlsMaxText = 32767;

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

// The workbook stream ("Workbook"), padded to at least 4096 bytes.
QByteArray buildWorkbookStream(const XlsSheet& sheet);
// The whole .xls file. Cells beyond the sheet's limits are not written.
QByteArray buildXlsFile(const XlsSheet& sheet);

} // namespace tovrin::deviceinfo
