// The device information workbook as the write finds it, any bytes at its
// path: the container check, FreeXL behind it, the decision where the rows
// go and the rows written there. A file is either taken whole (every cell
// it had is still there, the rows after them) or left exactly as it was.
#include "FuzzSupport.h"

#include "deviceinfo/core/CompoundFile.h"
#include "deviceinfo/core/XlsExport.h"

using namespace tovrin;
using namespace tovrin::deviceinfo;

namespace {

bool sameCells(const std::vector<XlsCell>& a, const std::vector<XlsCell>& b)
{
    if (a.size() > b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const XlsCell& x = a[i];
        const auto found = std::find_if(b.begin(), b.end(), [&](const XlsCell& y) {
            return y.row == x.row && y.column == x.column && y.isText == x.isText && y.text == x.text &&
                   (x.isText || std::memcmp(&x.number, &y.number, sizeof x.number) == 0);
        });
        if (found == b.end())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::scratchFolder();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& f : QDir().entryList({"Tovrin_DeviceInfo*"}, QDir::Files))
        QFile::remove(f);
    fuzz::writeFile(kWorkbookFileName, bytes);

    (void)readCompoundStream(bytes, QStringLiteral("Workbook"));
    const XlsContents before = readWorkbook(kWorkbookFileName);
    const WorkbookPlan plan = planWorkbook(kWorkbookFileName, QDate(2026, 3, 7), 2);
    FUZZ_CHECK(plan.ok);
    const std::vector<QStringList> rows{{"0x00001002", "0x1", "Works"}, {"0x00001003", "0x1", "Works"}};
    const ExportOutcome out = writeRows(plan, rows);
    FUZZ_CHECK(out.ok());
    if (plan.path == kWorkbookFileName) {
        FUZZ_CHECK(before.status == XlsContents::Readable);
        const XlsContents after = readWorkbook(kWorkbookFileName);
        FUZZ_CHECK(after.status == XlsContents::Readable);
        FUZZ_CHECK(after.usedRows == before.usedRows + 2);
        FUZZ_CHECK(sameCells(before.sheet.cells, after.sheet.cells));
    } else {
        FUZZ_CHECK(fuzz::readFile(kWorkbookFileName) == bytes);
        FUZZ_CHECK(!plan.note.isEmpty());
        const XlsContents made = readWorkbook(plan.path);
        FUZZ_CHECK(made.status == XlsContents::Readable && made.usedRows == 2);
    }
    return 0;
}
