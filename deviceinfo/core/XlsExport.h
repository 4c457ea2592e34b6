#pragma once
// Appending rows to the device information workbook. Where the rows go is
// decided before anything is written (before the frame, in a write of the
// device information), and no cell of an existing file is ever lost:
//
//   - no file yet: a new workbook is made;
//   - a workbook this tool wrote, unchanged since (rewriting its cells gives
//     the very same bytes), with room for the rows: it gets them after its
//     used rows. The new file is written beside the old one and renamed
//     over it, so that a crash leaves one of the two whole;
//   - anything else (a file another program saved, with formats, formulas,
//     dates, booleans or more sheets; a damaged file; another kind of file;
//     a full workbook): it is kept exactly as it is, and the rows go to a
//     new workbook beside it named with the date
//     ("Tovrin_DeviceInfo_2026-03-07.xls", then "..._2.xls" and so on while
//     such a file exists and cannot take them either). The outcome says so.
//
// The workbook is read with FreeXL only after the tool's own check of its
// container (CompoundFile.h).

#include "Biff8Workbook.h"

#include <QDate>
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
    enum Status { Created, Appended, Failed };
    Status status = Failed;
    QString path;      // the workbook that took the rows
    int firstRow = 0;  // row index of the first new row
    QString message;   // what the technician must know: the rows went elsewhere (and why), or what failed
    bool ok() const { return status == Created || status == Appended; }
};

// Column widths (in characters) of the device information sheet.
std::vector<int> deviceInfoColumnWidths();

// Where rows go, decided before anything is written.
struct WorkbookPlan {
    bool ok = false;
    QString path;          // the workbook that will take the rows
    QString note;          // why it is not the workbook asked for (empty when it is)
    QString problem;       // when not ok: why no workbook can take them
    XlsSheet sheet;        // its cells as they are now
    int usedRows = 0;
    bool created = false;  // no such file yet
};
WorkbookPlan planWorkbook(const QString& path, const QDate& today, int newRows);

// Writes the rows where the plan says.
ExportOutcome writeRows(const WorkbookPlan& plan, const std::vector<QStringList>& rows);

// planWorkbook (today) and writeRows in one step.
ExportOutcome appendRows(const QString& path, const std::vector<QStringList>& rows);

} // namespace tovrin::deviceinfo
