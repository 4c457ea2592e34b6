#pragma once
// The tests' own reading of an .xls file with FreeXL, independent of the
// tool's writer and of its append code: every cell of the first sheet.

#include <QFile>
#include <QString>

#include <freexl.h>

#include <map>
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

} // namespace tovrin::test
