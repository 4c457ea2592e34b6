#pragma once
// Appending rows to the device information workbook. The file is created
// when it is absent; when it is present its worksheet is read with FreeXL
// and written again with every earlier cell and the new rows after the used
// ones. The new file is written beside the old one and renamed over it, so
// that a crash leaves one of the two whole.
//
// A file that is kept unchanged (and said so), never overwritten:
//   - one that FreeXL cannot read as an Excel 97 workbook (corrupt, or
//     another kind of file under the name);
//   - a workbook with more than one sheet, a password, or cells other than
//     text and numbers (dates, times), which the rewrite could not keep;
//   - one whose rewrite would be shorter than the file (something would be
//     lost), or whose rows are all used.

#include "Biff8Workbook.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tovrin::deviceinfo {

inline const QString kWorkbookFileName = QStringLiteral("Tovrin_DeviceInfo.xls");

// What FreeXL finds in a workbook.
struct XlsContents {
    enum Status { Absent, Readable, Unreadable, Unsupported };
    Status status = Absent;
    QString reason;  // for Unreadable and Unsupported
    XlsSheet sheet;
    int usedRows = 0;
};
XlsContents readWorkbook(const QString& path);

struct ExportOutcome {
    enum Status { Created, Appended, Kept, Failed };
    Status status = Failed;
    int firstRow = 0;  // row index of the first new row
    QString message;   // for Kept and Failed: what happened, for the status line
    bool ok() const { return status == Created || status == Appended; }
};

// Column widths (in characters) of the device information sheet.
std::vector<int> deviceInfoColumnWidths();

ExportOutcome appendRows(const QString& path, const std::vector<QStringList>& rows);

} // namespace tovrin::deviceinfo
