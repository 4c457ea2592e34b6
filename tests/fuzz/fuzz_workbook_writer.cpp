// The workbook writer on any cells: a sheet is written whole or refused (a
// text too long for a cell); what is written reads back cell for cell with
// FreeXL and with the tool's own container reader, and is one the tool will
// later append to rather than set aside.
#include "FuzzSupport.h"

#include "deviceinfo/core/Biff8Workbook.h"
#include "deviceinfo/core/CompoundFile.h"
#include "deviceinfo/core/XlsExport.h"


using namespace tovrin;
using namespace tovrin::deviceinfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::scratchFolder();
    XlsSheet sheet;
    sheet.columnWidths = deviceInfoColumnWidths();
    int row = 0, column = 0;
    while (!in.empty() && sheet.cells.size() < 400) {
        const uint8_t how = in.u8();
        // Cells in increasing order, each place once.
        column += 1 + how % 4;
        if (column >= 20 || (how & 0x80)) {
            row += 1 + in.u8() % 3;
            column = how % 3;
        }
        XlsCell cell;
        cell.row = row;
        cell.column = column;
        if (how & 0x40) {
            cell.isText = false;
            cell.number = static_cast<int32_t>(in.u32()) / 16.0;
        } else {
            QByteArray utf8 = in.chunk();
            // Now and then a long text, near what a cell can hold.
            if ((how & 0x30) == 0x30)
                utf8 = utf8.repeated(static_cast<qsizetype>(in.range(1, 40000 / std::max<qsizetype>(1, utf8.size()))));
            cell.text = QString::fromUtf8(utf8);
            if (cell.text.isEmpty())
                cell.text = QStringLiteral("-");
        }
        sheet.cells.push_back(cell);
    }
    const std::optional<QByteArray> file = buildXlsFile(sheet);
    bool fits = true;
    for (const XlsCell& c : sheet.cells)
        fits = fits && (!c.isText || xlsTextFits(c.text));
    FUZZ_CHECK(file.has_value() == fits);
    if (!file)
        return 0;
    FUZZ_CHECK(readCompoundStream(*file, QStringLiteral("Workbook")) == buildWorkbookStream(sheet));

    fuzz::writeFile(kWorkbookFileName, *file);
    const XlsContents back = readWorkbook(kWorkbookFileName);
    FUZZ_CHECK(back.status == XlsContents::Readable);
    FUZZ_CHECK(back.sheet.cells.size() == sheet.cells.size());
    for (size_t i = 0; i < sheet.cells.size(); ++i) {
        const XlsCell& a = sheet.cells[i];
        const XlsCell& b = back.sheet.cells[i];
        FUZZ_CHECK(a.row == b.row && a.column == b.column && a.isText == b.isText);
        FUZZ_CHECK(a.isText ? a.text == b.text : a.number == b.number);
    }
    // A workbook of the tool's own is taken whole by the next write.
    const WorkbookPlan plan = planWorkbook(kWorkbookFileName, QDate(2026, 3, 7), 2);
    FUZZ_CHECK(plan.ok && plan.path == kWorkbookFileName);
    return 0;
}
