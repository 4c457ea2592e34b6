// tovrin-cli devinfo: both units written and read back, the workbook rows
// (read with FreeXL), and what is refused or kept.

#include "FreeXlReader.h"

#include "tests/service/PullSweep.h"

#include "shell/MessageTexts.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cctype>

using namespace tovrin::test;

namespace {

class DevinfoCli : public PullSweep {
protected:
    QStringList fields(const QString& id)
    {
        return {"devinfo", "write", "DeviceID=" + id, "InfoVersion=1", "FactoryName=Works", "ManufDate=20260307",
                "EncrypWord=0", "SupportFeature=0xf"};
    }
    QString workbook() { return home.filePath("Tovrin_DeviceInfo.xls"); }
    // FreeXL's reading and, where it is installed, a second reader's.
    std::vector<XlsRead> readersOf(const QString& path)
    {
        std::vector<XlsRead> out{readXls(path)};
        if (auto x = readXlsWithXlrd(path))
            out.push_back(*x);
        return out;
    }
};

TEST_F(DevinfoCli, TwoWritesGiveFourRowsAndTheReadShowsTheLast)
{
    CliRun r = cli(fields("0x1001"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("rows 1-2 of Tovrin_DeviceInfo.xls"));
    r = cli(fields("0x2000"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const XlsRead& x : readersOf(workbook())) {
        ASSERT_EQ(x.error, 0);
        ASSERT_EQ(x.rows, 4u);
        EXPECT_EQ(x.sheetName, "DeviceInfo");
        EXPECT_EQ(x.text(0, 0), "0x00001002");
        EXPECT_EQ(x.text(1, 0), "0x00001003");
        EXPECT_EQ(x.text(2, 0), "0x00002000");
        EXPECT_EQ(x.text(3, 11), "0x00001003");  // the Slave's previous ID
        EXPECT_EQ(x.text(3, 5), "20260307");
    }

    r = cli({"devinfo", "read"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("DeviceID:       0x00002000         0x00002001"));
    EXPECT_TRUE(r.out.contains("SupportFeature: 0x0000000f"));
}

TEST_F(DevinfoCli, AFieldOutOfRangeWritesNothing)
{
    CliRun r = cli(fields("0xffffffff"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Nothing was written"));
    r = cli({"devinfo", "read"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Read Master failed 1!"));
    EXPECT_FALSE(QFile::exists(workbook()));
    EXPECT_EQ(cli({"devinfo", "write", "Colour=red"}).exitCode, 2);
}

// The workbooks written beside the one asked for, named with the date.
QStringList datedWorkbooks(const QDir& home)
{
    return home.entryList({"Tovrin_DeviceInfo_*.xls"}, QDir::Files, QDir::Name);
}

// A workbook the tool cannot keep whole when it adds rows (another kind of
// file, or one a spreadsheet program wrote: from a CSV, two sheets, a date,
// a formula and TRUE, 20 rows and more) is left exactly as it was; the rows
// go to a new workbook beside it, named with the date, and the tool says so.
class DevinfoForeignWorkbook : public DevinfoCli, public ::testing::WithParamInterface<const char*> {};

TEST_P(DevinfoForeignWorkbook, IsKeptWholeAndTheRowsGoBesideIt)
{
    const QString name = QString::fromLatin1(GetParam());
    const QByteArray foreign = name == "notes.txt" ? QByteArray("this is the factory's own notes file\n")
                                                   : tovrin::test::readFile(QStringLiteral(TOVRIN_SAMPLE_WORKBOOKS "/") + name);
    ASSERT_FALSE(foreign.isEmpty());
    ASSERT_TRUE(tovrin::test::writeFile(workbook(), foreign));
    CliRun r = cli(fields("0x10"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(tovrin::test::readFile(workbook()), foreign);
    QStringList beside = datedWorkbooks(QDir(home.path()));
    ASSERT_EQ(beside.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(beside.first())) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("rows 1-2 of " + beside.first())) << r.out.toStdString();

    // A second write the same day goes on in the same new workbook.
    r = cli(fields("0x20"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(tovrin::test::readFile(workbook()), foreign);
    ASSERT_EQ(datedWorkbooks(QDir(home.path())), beside);
    const QString rows = home.filePath(beside.first());
    for (const XlsRead& x : readersOf(rows)) {
        ASSERT_EQ(x.error, 0);
        ASSERT_EQ(x.rows, 4u);
        EXPECT_EQ(x.text(0, 0), "0x00000010");
        EXPECT_EQ(x.text(3, 0), "0x00000021");
        EXPECT_EQ(x.text(3, 11), "0x00000011");  // the Slave's previous ID
    }
    EXPECT_TRUE(cli({"devinfo", "read"}).out.contains("0x00000020"));
}

INSTANTIATE_TEST_SUITE_P(Workbooks, DevinfoForeignWorkbook,
                         ::testing::Values("notes.txt", "csv-rows.xls", "two-sheets.xls", "date-cell.xls",
                                           "formula-and-true.xls"),
                         [](const auto& row) {
                             std::string n = row.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

// A value that DeviceInfo.ini (a GBK file) cannot hold is found before the
// frame, the workbook or the file is touched.
TEST_F(DevinfoCli, ATextOutsideGbkIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_EQ(cli(fields("0x100")).exitCode, 0);
    // "; 设备信息" and a line's own note "中文", in GBK.
    ASSERT_TRUE(tovrin::test::writeFile(home.filePath("DeviceInfo.ini"),
                                        "; \xC9\xE8\xB1\xB8\xD0\xC5\xCF\xA2\n[DeviceInfo]\nCustomerName=Customer\n"
                                        "[Line]\nNote=\xD6\xD0\xCE\xC4\n"));
    const QByteArray ini = tovrin::test::readFile(home.filePath("DeviceInfo.ini"));
    const QByteArray rows = tovrin::test::readFile(workbook());
    const CliRun r = cli(fields("0x200") << QString::fromUtf8("FactoryName=Fábrica Ñandú"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("FactoryName")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Nothing was written")) << r.err.toStdString();
    EXPECT_EQ(tovrin::test::readFile(home.filePath("DeviceInfo.ini")), ini);
    EXPECT_EQ(tovrin::test::readFile(workbook()), rows);
    const CliRun read = cli({"devinfo", "read"});
    EXPECT_TRUE(read.out.contains("DeviceID:       0x00000100         0x00000101")) << read.out.toStdString();
    // A text GBK holds goes through, and both the file and the rows keep it.
    ASSERT_EQ(cli(fields("0x200") << QString::fromUtf8("FactoryName=Fábrica")).exitCode, 0);
    EXPECT_TRUE(tovrin::test::readFile(home.filePath("DeviceInfo.ini")).contains("F\xA8\xA2" "brica"));
}

// A pull at any output report of the write: exit 0 only with both records
// new and read back, exit 3 with message 61 (or 17 before the frame was
// found) otherwise; each record is then the old one, the new one or
// invalid, rows were added only for new records read back, and a clean run
// afterwards succeeds.
TEST_F(DevinfoCli, APullAtAnyOutputReportEndsHonestly)
{
    ASSERT_EQ(cli(fields("0x100")).exitCode, 0);
    const QByteArray before = flash();
    const QByteArray rowsBefore = tovrin::test::readFile(workbook());
    QByteArray after;
    const int reports = static_cast<int>(traceCleanRun(fields("0x200"), before, after).size());
    ASSERT_GT(reports, 20);
    const QString message61 = QString::fromUtf8(tovrin::shell::builtinText(61));
    const QString message17 = QString::fromUtf8(tovrin::shell::builtinText(17));
    for (int n = 1; n <= reports; ++n) {
        setFlash(before);
        ASSERT_TRUE(tovrin::test::writeFile(workbook(), rowsBefore));
        const CliRun r = cli(fields("0x200"), QStringLiteral("vanish-at=%1").arg(n));
        const CliRun read = cli({"devinfo", "read"});
        const bool masterNew = read.out.contains(QRegularExpression("DeviceID: +0x00000200"));
        const bool slaveNew = read.out.contains(QRegularExpression("DeviceID: +\\S+ +0x00000201"));
        if (r.exitCode == 0) {
            EXPECT_TRUE(masterNew && slaveNew) << n << read.out.toStdString();
            continue;
        }
        EXPECT_EQ(r.exitCode, 3) << n << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(message61) || r.err.contains(message17)) << n << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QString::fromUtf8(tovrin::shell::builtinText(19)))) << n;
        // Old, new or invalid: never a valid record that is neither.
        for (const QString& id : read.out.split('\n').filter("DeviceID:").value(0).split(' ', Qt::SkipEmptyParts).mid(1))
            EXPECT_TRUE(id == "0x00000100" || id == "0x00000101" || id == "0x00000200" || id == "0x00000201" || id == "-")
                << n << ": " << id.toStdString();
        // Rows are added only for records both units read back.
        if (tovrin::test::readFile(workbook()) != rowsBefore) {
            EXPECT_TRUE(masterNew && slaveNew) << n;
        }
        const CliRun again = cli(fields("0x200"));
        EXPECT_EQ(again.exitCode, 0) << n << ": " << again.err.toStdString();
    }
}

} // namespace
