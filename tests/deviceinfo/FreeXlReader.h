#pragma once
// The tests' own reading of an .xls file with FreeXL, independent of the
// tool's writer and of its append code: every cell of the first sheet; and
// the same with a second reader where one is installed.

#include <QFile>
#include <QProcess>
#include <QString>

#include <freexl.h>

#include <map>
#include <optional>
#include <utility>

namespace tovrin::test {

struct XlsRead {
    int error = FREEXL_OK;
    unsigned sheets = 0;
    QString sheetName;
    unsigned rows = 0;
    unsigned columns = 0;
    std::map<std::pair<unsigned, unsigned>, QString> texts;   // (row, column) -> text
    std::map<std::pair<unsigned, unsigned>, double> numbers;
    QString text(unsigned row, unsigned column) const
    {
        const auto it = texts.find({row, column});
        return it == texts.end() ? QString() : it->second;
    }
};

inline XlsRead readXls(const QString& path)
{
    XlsRead r;
    const void* h = nullptr;
    r.error = freexl_open(QFile::encodeName(path).constData(), &h);
    if (r.error != FREEXL_OK)
        return r;
    freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &r.sheets);
    const char* name = nullptr;
    freexl_get_worksheet_name(h, 0, &name);
    r.sheetName = QString::fromUtf8(name ? name : "");
    r.error = freexl_select_active_worksheet(h, 0);
    unsigned short columns = 0;
    if (r.error == FREEXL_OK)
        r.error = freexl_worksheet_dimensions(h, &r.rows, &columns);
    r.columns = columns;
    for (unsigned row = 0; r.error == FREEXL_OK && row < r.rows; ++row) {
        for (unsigned c = 0; c < r.columns; ++c) {
            FreeXL_CellValue v;
            r.error = freexl_get_cell_value(h, row, static_cast<unsigned short>(c), &v);
            if (r.error != FREEXL_OK)
                break;
            if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT)
                r.texts[{row, c}] = QString::fromUtf8(v.value.text_value);
            else if (v.type == FREEXL_CELL_INT)
                r.numbers[{row, c}] = v.value.int_value;
            else if (v.type == FREEXL_CELL_DOUBLE)
                r.numbers[{row, c}] = v.value.double_value;
        }
    }
    freexl_close(h);
    return r;
}

// The same reading by a second, independent reader: Debian's python3-xlrd
// (a program of its own, not FreeXL). Nothing when it is not installed.
inline std::optional<XlsRead> readXlsWithXlrd(const QString& path)
{
    static const char* script = R"(
import sys
try:
    import xlrd
except ImportError:
    sys.exit(77)
try:
    book = xlrd.open_workbook(sys.argv[1])
except Exception as e:
    print("error", e)
    sys.exit(1)
sheet = book.sheet_by_index(0)
print("sheets", book.nsheets, sheet.nrows, sheet.ncols)
print("name", sheet.name.encode("utf-8").hex())
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_TEXT:
            print("text", r, c, cell.value.encode("utf-8").hex())
        elif cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE, xlrd.XL_CELL_BOOLEAN):
            print("number", r, c, repr(float(cell.value)))
)";
    if (!QFile::exists("/usr/bin/python3"))
        return std::nullopt;
    QProcess p;
    p.start("/usr/bin/python3", {"-c", script, path});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() == 77)
        return std::nullopt;
    XlsRead r;
    if (p.exitCode() != 0) {
        r.error = -1;
        return r;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "sheets" && f.size() == 4) {
            r.sheets = f[1].toUInt();
            r.rows = f[2].toUInt();
            r.columns = f[3].toUInt();
        } else if (f.value(0) == "name" && f.size() == 2) {
            r.sheetName = QString::fromUtf8(QByteArray::fromHex(f[1]));
        } else if (f.value(0) == "text" && f.size() == 4) {
            r.texts[{f[1].toUInt(), f[2].toUInt()}] = QString::fromUtf8(QByteArray::fromHex(f[3]));
        } else if (f.value(0) == "number" && f.size() == 4) {
            r.numbers[{f[1].toUInt(), f[2].toUInt()}] = f[3].toDouble();
        }
    }
    return r;
}

} // namespace tovrin::test
