#include "XlsExport.h"

#include "CompoundFile.h"

#include "shell/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

#include <freexl.h>

namespace tovrin::deviceinfo {
namespace {

constexpr qint64 kMaxWorkbookBytes = qint64{256} << 20;

// Closes a FreeXL handle on every way out.
struct FreeXlHandle {
    const void* handle = nullptr;
    ~FreeXlHandle()
    {
        if (handle)
            freexl_close(handle);
    }
};

} // namespace

std::vector<int> deviceInfoColumnWidths()
{
    return {12, 12, 16, 16, 16, 11, 16, 16, 12, 16, 12, 12, 6, 6, 40, 40};
}

XlsContents readWorkbook(const QString& path)
{
    XlsContents contents;
    if (!QFileInfo::exists(path))
        return contents;
    // FreeXL trusts the numbers of the container; a damaged one is found
    // out here and never handed to it.
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            contents.status = XlsContents::Unreadable;
            contents.reason = QStringLiteral("a file that cannot be read (%1)").arg(file.errorString());
            return contents;
        }
        if (file.size() > kMaxWorkbookBytes) {
            contents.status = XlsContents::Unsupported;
            contents.reason = QStringLiteral("a file of %1 MB, larger than a device information workbook grows").arg(file.size() >> 20);
            return contents;
        }
        QString problem;
        if (!readCompoundStream(file.readAll(), QStringLiteral("Workbook"), &problem)) {
            contents.status = XlsContents::Unreadable;
            contents.reason = QStringLiteral("not a readable Excel 97 workbook (%1)").arg(problem);
            return contents;
        }
    }
    FreeXlHandle xls;
    const QByteArray native = QFile::encodeName(path);
    int rc = freexl_open(native.constData(), &xls.handle);
    if (rc != FREEXL_OK) {
        contents.status = XlsContents::Unreadable;
        contents.reason = QStringLiteral("not a readable Excel 97 workbook (FreeXL error %1)").arg(rc);
        return contents;
    }
    contents.status = XlsContents::Unsupported;
    unsigned int info = 0;
    if (freexl_get_info(xls.handle, FREEXL_BIFF_VERSION, &info) != FREEXL_OK || info != FREEXL_BIFF_VER_8) {
        contents.reason = QStringLiteral("not an Excel 97 (BIFF8) workbook");
        return contents;
    }
    if (freexl_get_info(xls.handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info != FREEXL_BIFF_PLAIN) {
        contents.reason = QStringLiteral("protected by a password");
        return contents;
    }
    if (freexl_get_info(xls.handle, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info != 1) {
        contents.reason = QStringLiteral("a workbook of %1 sheets").arg(info);
        return contents;
    }
    const char* name = nullptr;
    if (freexl_get_worksheet_name(xls.handle, 0, &name) != FREEXL_OK ||
        freexl_select_active_worksheet(xls.handle, 0) != FREEXL_OK) {
        contents.status = XlsContents::Unreadable;
        contents.reason = QStringLiteral("its worksheet cannot be read");
        return contents;
    }
    contents.sheet.name = name ? QString::fromUtf8(name) : QStringLiteral("DeviceInfo");
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(xls.handle, &rows, &columns) != FREEXL_OK) {
        contents.status = XlsContents::Unreadable;
        contents.reason = QStringLiteral("its worksheet cannot be read");
        return contents;
    }
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            rc = freexl_get_cell_value(xls.handle, r, c, &value);
            if (rc != FREEXL_OK) {
                contents.status = XlsContents::Unreadable;
                contents.reason = QStringLiteral("cell %1,%2 cannot be read (FreeXL error %3)").arg(r + 1).arg(c + 1).arg(rc);
                return contents;
            }
            XlsCell cell;
            cell.row = static_cast<int>(r);
            cell.column = c;
            switch (value.type) {
            case FREEXL_CELL_NULL:
                continue;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                cell.text = QString::fromUtf8(value.value.text_value);
                break;
            case FREEXL_CELL_INT:
                cell.isText = false;
                cell.number = value.value.int_value;
                break;
            case FREEXL_CELL_DOUBLE:
                cell.isText = false;
                cell.number = value.value.double_value;
                break;
            default:
                contents.reason = QStringLiteral("cell %1,%2 holds a date or time").arg(r + 1).arg(c + 1);
                return contents;
            }
            contents.sheet.cells.push_back(cell);
        }
    }
    contents.status = XlsContents::Readable;
    contents.usedRows = static_cast<int>(rows);
    return contents;
}

namespace {

// The sheet with the device information sheet's column widths: what a
// rewrite of the workbook would hold.
XlsSheet asWritten(XlsSheet sheet)
{
    sheet.columnWidths = deviceInfoColumnWidths();
    return sheet;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The reason a present file cannot take the rows whole, or nothing when it
// can: a workbook this tool wrote, unchanged, with room left.
std::optional<QString> whyNotAppendable(const QString& path, const XlsContents& contents, int newRows)
{
    switch (contents.status) {
    case XlsContents::Absent:
        return std::nullopt;
    case XlsContents::Unreadable:
    case XlsContents::Unsupported:
        return contents.reason;
    case XlsContents::Readable:
        break;
    }
    if (contents.usedRows + newRows > kXlsMaxRows)
        return QStringLiteral("full (%1 rows)").arg(kXlsMaxRows);
    // Only when writing its cells again gives back the very same file is
    // nothing in it lost (formats, formulas, booleans, other records).
    const std::optional<QByteArray> again = buildXlsFile(asWritten(contents.sheet));
    if (!again || *again != fileBytes(path))
        return QStringLiteral("a workbook another program saved (its formats, formulas or other cells could not be kept)");
    return std::nullopt;
}

// True when a file can be made at path (the folder takes new files).
bool canCreate(const QString& path)
{
    QSaveFile probe(path);
    const bool ok = probe.open(QIODevice::WriteOnly);
    probe.cancelWriting();
    return ok;
}

QString datedName(const QString& path, const QDate& day, int n)
{
    const QFileInfo info(path);
    QString name = QStringLiteral("%1_%2").arg(info.completeBaseName(), day.toString(QStringLiteral("yyyy-MM-dd")));
    if (n > 1)
        name += QStringLiteral("_%1").arg(n);
    return path.left(path.size() - info.fileName().size()) + name + QLatin1Char('.') + info.suffix();
}

constexpr int kMaxDatedWorkbooks = 99;

} // namespace

WorkbookPlan planWorkbook(const QString& path, const QDate& today, int newRows)
{
    WorkbookPlan plan;
    const QString name = QFileInfo(path).fileName();
    QString firstReason;
    for (int n = 0; n <= kMaxDatedWorkbooks; ++n) {
        const QString candidate = n == 0 ? path : datedName(path, today, n);
        XlsContents contents = readWorkbook(candidate);
        if (const std::optional<QString> why = whyNotAppendable(candidate, contents, newRows)) {
            if (n == 0)
                firstReason = *why;
            continue;
        }
        if (!canCreate(candidate)) {
            plan.problem = QStringLiteral("%1 cannot be written in its folder.").arg(QFileInfo(candidate).fileName());
            return plan;
        }
        plan.ok = true;
        plan.path = candidate;
        plan.created = contents.status == XlsContents::Absent;
        plan.usedRows = plan.created ? 0 : contents.usedRows;
        plan.sheet = plan.created ? XlsSheet{} : contents.sheet;
        if (n > 0)
            plan.note = QStringLiteral("%1 is %2: it was kept unchanged, and the rows went to %3.")
                            .arg(name, firstReason, QFileInfo(candidate).fileName());
        return plan;
    }
    plan.problem = QStringLiteral("%1 is %2, and no new workbook beside it could take the rows.").arg(name, firstReason);
    return plan;
}

ExportOutcome writeRows(const WorkbookPlan& plan, const std::vector<QStringList>& rows)
{
    ExportOutcome outcome;
    outcome.path = plan.path;
    const QString name = QFileInfo(plan.path).fileName();
    if (!plan.ok) {
        outcome.message = plan.problem;
        return outcome;
    }
    XlsSheet sheet = asWritten(plan.sheet);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size() && c < kXlsMaxColumns; ++c) {
            if (rows[r].at(c).isEmpty())
                continue;
            sheet.cells.push_back({plan.usedRows + static_cast<int>(r), c, true, rows[r].at(c), 0});
        }
    }
    const std::optional<QByteArray> bytes = buildXlsFile(sheet);
    if (!bytes) {
        outcome.message = QStringLiteral("%1 was not written: a text is longer than a workbook cell can hold.").arg(name);
        return outcome;
    }
    QSaveFile file(plan.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        outcome.message = QStringLiteral("%1 could not be written (%2); the rows were not written.").arg(name, file.errorString());
        return outcome;
    }
    outcome.status = plan.created ? ExportOutcome::Created : ExportOutcome::Appended;
    outcome.firstRow = plan.usedRows;
    outcome.message = plan.note;
    return outcome;
}

ExportOutcome appendRows(const QString& path, const std::vector<QStringList>& rows)
{
    return writeRows(planWorkbook(path, localNow().date(), static_cast<int>(rows.size())), rows);
}

} // namespace tovrin::deviceinfo
