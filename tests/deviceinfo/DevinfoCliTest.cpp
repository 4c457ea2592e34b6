// tovrin-cli devinfo: both units written and read back, the workbook rows
// (read with FreeXL), and what is refused or kept.

#include "FreeXlReader.h"

#include "tests/cli/CliRunner.h"

#include <QFile>

using namespace tovrin::test;

namespace {

class DevinfoCli : public CliTest {
protected:
    QStringList fields(const QString& id)
    {
        return {"devinfo", "write", "DeviceID=" + id, "InfoVersion=1", "FactoryName=Works", "ManufDate=20260307",
                "EncrypWord=0", "SupportFeature=0xf"};
    }
    QString workbook() { return home.filePath("Tovrin_DeviceInfo.xls"); }
};

TEST_F(DevinfoCli, TwoWritesGiveFourRowsAndTheReadShowsTheLast)
{
    CliRun r = cli(fields("0x1001"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("rows 1-2 of Tovrin_DeviceInfo.xls"));
    r = cli(fields("0x2000"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const XlsRead x = readXls(workbook());
    ASSERT_EQ(x.error, 0);
    ASSERT_EQ(x.rows, 4u);
    EXPECT_EQ(x.text(0, 0), "0x00001002");
    EXPECT_EQ(x.text(1, 0), "0x00001003");
    EXPECT_EQ(x.text(2, 0), "0x00002000");
    EXPECT_EQ(x.text(3, 11), "0x00001003");  // the Slave's previous ID

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

TEST_F(DevinfoCli, AForeignFileAtTheWorkbookPathIsKeptAndSaidSo)
{
    const QByteArray foreign = "this is the factory's own notes file, not a workbook\n";
    {
        QFile f(workbook());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(foreign);
    }
    const CliRun r = cli(fields("0x10"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("kept unchanged")) << r.err.toStdString();
    QFile f(workbook());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), foreign);
    // The records themselves were written.
    EXPECT_TRUE(cli({"devinfo", "read"}).out.contains("0x00000010"));
}

} // namespace
