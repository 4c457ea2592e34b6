// The device information workbook: rows written and appended by the tool,
// read back by FreeXL (not by the tool's own code), and the files the tool
// must keep instead of overwriting.

#include "FreeXlReader.h"

#include "deviceinfo/core/Biff8Workbook.h"
#include "deviceinfo/core/CompoundFile.h"
#include "deviceinfo/core/XlsExport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin::deviceinfo;
using tovrin::test::readXls;

namespace {

QStringList row(const QString& id, int extraLength = 0)
{
    QStringList r{id, "0x00000001", "Factory", "Customer", "Producer", "20260307", "B1", "L2", "0x00000000",
                  "Model", "0x00000003", "0x00000000", "0x40", "0x01", "0:1/2/3", QString(extraLength, 'A')};
    return r;
}

class Spreadsheet : public ::testing::Test {
protected:
    tovrin::test::InTemporaryFolder folder;
    const QString path = kWorkbookFileName;
};

TEST_F(Spreadsheet, RowsAppendedTwiceReadBackExactly)
{
    const std::vector<QStringList> first{row("0x00001002", 9388), row("0x00001003", 9388)};
    ExportOutcome out = appendRows(path, first);
    ASSERT_EQ(out.status, ExportOutcome::Created) << out.message.toStdString();
    EXPECT_EQ(out.firstRow, 0);

    std::vector<QStringList> second{row("0x00002002"), row("0x00002003")};
    second[0][2] = QString::fromUtf8("Fabrik Müller");  // Latin-1 beyond ASCII
    out = appendRows(path, second);
    ASSERT_EQ(out.status, ExportOutcome::Appended) << out.message.toStdString();
    EXPECT_EQ(out.firstRow, 2);

    const auto x = readXls(path);
    ASSERT_EQ(x.error, 0);
    EXPECT_EQ(x.sheets, 1u);
    EXPECT_EQ(x.rows, 4u);
    EXPECT_EQ(x.columns, 16u);
    std::vector<QStringList> all = first;
    all.insert(all.end(), second.begin(), second.end());
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 16; ++c)
            EXPECT_EQ(x.text(r, c), all[r][static_cast<int>(c)]) << "row " << r << " column " << c;
}

TEST_F(Spreadsheet, EmptyTextsLeaveEmptyCells)
{
    QStringList r = row("0x1");
    r[12] = r[13] = r[14] = r[15] = QString();
    ASSERT_TRUE(appendRows(path, {r}).ok());
    const auto x = readXls(path);
    EXPECT_EQ(x.texts.count({0, 12}), 0u);
    EXPECT_EQ(x.text(0, 11), "0x00000000");
}

TEST_F(Spreadsheet, TextsBeyondLatin1AndLongOnesSplitAcrossRecords)
{
    // Long texts go on in CONTINUE records, in one byte per character or in
    // two (a text beyond Latin-1) - both must come back whole, also when the
    // second starts in a record of its own.
    XlsSheet sheet;
    sheet.columnWidths = deviceInfoColumnWidths();  // as the tool writes its workbook
    QString wide;
    for (int i = 0; i < 8000; ++i)
        wide += QChar(0x4E00 + i % 500);
    sheet.cells = {{0, 0, true, wide, 0}, {0, 1, true, QString(16000, 'z'), 0}, {1, 0, true, QString::fromUtf8("工厂"), 0},
                   {1, 1, false, {}, 2.5}, {1, 2, false, {}, -7}};
    ASSERT_TRUE(tovrin::test::writeFile(path, buildXlsFile(sheet).value()));
    const auto x = readXls(path);
    ASSERT_EQ(x.error, 0);
    EXPECT_EQ(x.text(0, 0), wide);
    EXPECT_EQ(x.text(0, 1), QString(16000, 'z'));
    EXPECT_EQ(x.text(1, 0), QString::fromUtf8("工厂"));
    EXPECT_EQ(x.numbers.at({1, 1}), 2.5);
    EXPECT_EQ(x.numbers.at({1, 2}), -7);

    // Appending keeps them, numbers as numbers.
    ASSERT_TRUE(appendRows(path, {row("0x5")}).ok());
    const auto y = readXls(path);
    EXPECT_EQ(y.text(0, 0), wide);
    EXPECT_EQ(y.numbers.at({1, 1}), 2.5);
    EXPECT_EQ(y.text(2, 0), "0x5");
}

// A text comes back exactly or is refused before anything is written: never
// garbled, never a workbook FreeXL refuses whole. Around the limit, as the
// first string of the table (its record has the table's header) and after
// a short one, in one byte per character and in two.
TEST_F(Spreadsheet, ALongTextReadsBackWholeOrIsRefused)
{
    struct Case {
        int length;
        bool wide;
        bool first;
    };
    std::vector<Case> cases;
    for (bool first : {true, false}) {
        for (int n : {8100, 8190, 8200, 8210, 8215, 8216, 8217, 8218, 8219, 8220, 8221, 8222, 8223, 8230, 9000})
            cases.push_back({n, true, first});
        for (int n : {16400, 16430, 16436, 16437, 16440, 16444, 16445, 16460, 20000})
            cases.push_back({n, false, first});
    }
    int accepted = 0;
    for (const Case& c : cases) {
        QString text;
        for (int i = 0; i < c.length; ++i)
            text += c.wide ? QChar(0x4E00 + i % 700) : QChar('a' + i % 26);
        XlsSheet sheet;
        if (!c.first)
            sheet.cells.push_back({0, 0, true, "short", 0});
        sheet.cells.push_back({1, 0, true, text, 0});
        sheet.cells.push_back({2, 0, true, "after", 0});
        const std::optional<QByteArray> file = buildXlsFile(sheet);
        const std::string what = std::to_string(c.length) + (c.wide ? " wide" : " narrow") + (c.first ? " first" : " second");
        if (!file)
            continue;
        ++accepted;
        ASSERT_TRUE(tovrin::test::writeFile(path, *file));
        const auto x = readXls(path);
        ASSERT_EQ(x.error, 0) << what;
        EXPECT_EQ(x.text(1, 0), text) << what;
        EXPECT_EQ(x.text(2, 0), "after") << what;
    }
    EXPECT_GT(accepted, 10);
    // A NUL would end the text for readers: such a text is refused too.
    XlsSheet withNul;
    withNul.cells.push_back({0, 0, true, QString("ab") + QChar(0) + "cd", 0});
    EXPECT_FALSE(buildXlsFile(withNul));
    // What the header promises is kept.
    for (int n : {kXlsMaxWideText, kXlsMaxNarrowText}) {
        const bool wide = n == kXlsMaxWideText;
        EXPECT_TRUE(xlsTextFits(QString(n, wide ? QChar(0x4E00) : QChar('a')))) << n;
        EXPECT_FALSE(xlsTextFits(QString(n + 1, wide ? QChar(0x4E00) : QChar('a')))) << n;
    }
}

TEST_F(Spreadsheet, AWorkbookBeyondSevenMegabytesNeedsMoreThanTheHeaderFat)
{
    // More than 109 FAT sectors: the rest are listed in DIFAT sectors.
    XlsSheet sheet;
    for (int r = 0; r < 900; ++r)
        for (int c = 0; c < 16; ++c)
            sheet.cells.push_back({r, c, true, QStringLiteral("%1/%2 ").arg(r).arg(c) + QString(512, QChar('a' + c)), 0});
    const QByteArray file = buildXlsFile(sheet).value();
    ASSERT_GT(file.size(), 109 * 128 * 512);
    ASSERT_TRUE(tovrin::test::writeFile(path, file));
    const auto x = readXls(path);
    ASSERT_EQ(x.error, 0);
    EXPECT_EQ(x.rows, 900u);
    EXPECT_EQ(x.text(899, 15), QStringLiteral("899/15 ") + QString(512, 'p'));
}

// A file the tool cannot keep whole when it adds rows is left exactly as it
// was; the rows go to a new workbook beside it, named with the date, and the
// outcome says so. A second such file of the day is taken next.
TEST_F(Spreadsheet, AFileThatCannotBeKeptWholeIsLeftAndTheRowsGoBesideIt)
{
    const QDate day(2026, 3, 7);
    QByteArray extended;  // one of ours with more than its cells behind them
    ASSERT_TRUE(appendRows(path, {row("0x1"), row("0x2")}).ok());
    extended = tovrin::test::readFile(path) + QByteArray(2000, '\0');
    for (const QByteArray& junk : {QByteArray("not a workbook at all"), QByteArray(), QByteArray(4096, '\xD0'), extended}) {
        QFile::remove("Tovrin_DeviceInfo_2026-03-07.xls");
        ASSERT_TRUE(tovrin::test::writeFile(path, junk));
        const WorkbookPlan plan = planWorkbook(path, day, 1);
        ASSERT_TRUE(plan.ok);
        EXPECT_EQ(plan.path, "Tovrin_DeviceInfo_2026-03-07.xls");
        const ExportOutcome out = writeRows(plan, {row("0x1")});
        EXPECT_EQ(out.status, ExportOutcome::Created);
        EXPECT_TRUE(out.message.contains("kept unchanged") && out.message.contains(plan.path)) << out.message.toStdString();
        EXPECT_EQ(tovrin::test::readFile(path), junk);
        EXPECT_EQ(readXls(plan.path).text(0, 0), "0x1");
    }
    // The dated workbook goes on taking rows; a foreign one of that name is
    // passed over for the next name.
    EXPECT_EQ(planWorkbook(path, day, 1).path, "Tovrin_DeviceInfo_2026-03-07.xls");
    ASSERT_TRUE(tovrin::test::writeFile("Tovrin_DeviceInfo_2026-03-07.xls", "notes"));
    EXPECT_EQ(planWorkbook(path, day, 1).path, "Tovrin_DeviceInfo_2026-03-07_2.xls");
}

TEST_F(Spreadsheet, AFolderThatCannotBeWrittenIsAFailureNotASuccess)
{
    EXPECT_FALSE(planWorkbook("/proc/" + kWorkbookFileName, QDate(2026, 3, 7), 2).ok);
    const ExportOutcome out = appendRows("/proc/" + kWorkbookFileName, {row("0x1")});
    EXPECT_EQ(out.status, ExportOutcome::Failed);
    EXPECT_FALSE(out.message.isEmpty());
}

// A damaged container is found out by the tool's own check and never handed
// to FreeXL (which reads past its buffers on some of them).
TEST_F(Spreadsheet, ADamagedCompoundFileNeverReachesTheReader)
{
    XlsSheet sheet;
    sheet.cells = {{0, 0, true, "0x00001002", 0}, {1, 0, false, {}, 7}};
    const QByteArray good = buildXlsFile(sheet).value();
    ASSERT_TRUE(readCompoundStream(good, "Workbook"));
    const auto put32 = [](QByteArray b, int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(v >> (8 * i));
        return b;
    };
    const auto put16 = [](QByteArray b, int at, uint16_t v) {
        b[at] = static_cast<char>(v);
        b[at + 1] = static_cast<char>(v >> 8);
        return b;
    };
    const int dirSector = static_cast<uint8_t>(good[48]);
    const int dir = 512 * (1 + dirSector);
    const int fat = 512 * (1 + static_cast<uint8_t>(good[76]));
    const std::vector<std::pair<const char*, QByteArray>> damaged{
        {"header only", good.left(512)},
        {"cut in the stream", good.left(2048)},
        {"signature", put32(good, 0, 0)},
        {"byte order", put32(good, 28, 0xFFFFFFFF)},
        {"sector size", put32(good, 30, 12)},
        {"fat sector beyond the file", put32(good, 76, 5000)},
        {"fat count beyond the header", put32(good, 44, 110)},
        {"directory beyond the file", put32(good, 48, 0x7FFFFFF0)},
        {"stream longer than its chain", put32(good, dir + 128 + 120, 900000)},
        {"stream chain loops", put32(good, fat + 4 * 3, 1)},
        {"directory chain loops", put32(good, fat + 4 * dirSector, static_cast<uint32_t>(dirSector))},
        {"name length odd", put16(good, dir + 128 + 64, 17)},
        {"name longer than its field", put16(good, dir + 128 + 64, 66)},
        {"name length of the root odd", put16(good, dir + 64, 21)},
        {"small stream without a mini stream", put32(good, dir + 128 + 120, 100)},
        {"difat chain beyond the file", put32(put32(good, 68, 9999), 72, 1)},
    };
    for (const auto& [what, bytes] : damaged) {
        QString problem;
        EXPECT_FALSE(readCompoundStream(bytes, "Workbook", &problem)) << what;
        EXPECT_FALSE(problem.isEmpty()) << what;
        ASSERT_TRUE(tovrin::test::writeFile(path, bytes));
        EXPECT_EQ(readWorkbook(path).status, XlsContents::Unreadable) << what;
    }
}

TEST(CompoundFile, HeaderAndDirectoryAsTheFormatLaysThemOut)
{
    const QByteArray stream(5000, 'w');
    const QByteArray f = buildCompoundFile("Workbook", stream);
    ASSERT_EQ(f.size() % 512, 0);
    EXPECT_EQ(f.left(8), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    const auto u32 = [&f](int at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(f[at])) | static_cast<uint32_t>(static_cast<uint8_t>(f[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(f[at + 2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(f[at + 3])) << 24;
    };
    // 10 stream sectors, then the directory at sector 10.
    EXPECT_EQ(u32(48), 10u);
    const int dir = 512 * (1 + 10);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(f.constData() + dir + 128), 8), "Workbook");
    EXPECT_EQ(u32(dir + 128 + 116), 0u);     // starts at sector 0
    EXPECT_EQ(u32(dir + 128 + 120), 5000u);  // its size
    EXPECT_EQ(f.mid(512, 5000), stream);
}

} // namespace
