// tovrin-cli flash, reg, script and fpga as a production line runs them:
// outputs, exit codes, and refusals that leave the frame untouched.

#include "tests/cli/CliRunner.h"

#include <QFile>

using namespace tovrin::test;

namespace {

class ServiceCli : public CliTest {
protected:
    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(home.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray readFile(const QString& name)
    {
        QFile f(home.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(ServiceCli, RegisterWrittenOnTheSlaveReadsBackThere)
{
    CliRun r = cli({"reg", "write", "--unit", "slave", "0x46", "5a"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "Slave: FPGAPortWrite Addr: 0x0046  value: 0x5a");
    // The register lives in the frame, not in the flash file: one run per
    // frame, so the read checks the refusal paths instead.
    r = cli({"reg", "read", "--sensor", "--unit", "master", "0a"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Master: I2C_Read Addr: 0x000a  value: 0x"));
}

TEST_F(ServiceCli, BadRegisterInputIsUsageAndNoFrameIsThree)
{
    EXPECT_EQ(cli({"reg", "write", "46"}).exitCode, 2);
    const CliRun r = cli({"reg", "read", "--sensor", "1ff"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("out of range"));
    EXPECT_EQ(cli({"reg", "read", "zz"}).exitCode, 2);
    EXPECT_EQ(cli({"reg", "read", "46"}, "unplugged").exitCode, 3);
}

TEST_F(ServiceCli, ScriptPrintsItsLinesAndSucceeds)
{
    writeFile("s.ini", "0 check the FPGA\n1 pwd 46 1f 1\n1 prd 46 1\n1 # 5\n");
    const CliRun r = cli({"script", "s.ini"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Master: FPGAPortWrite Addr: 0x0046  value: 0x1f\n"
                     "Master: FPGAPortRead Addr: 0x0046  value: 0x1f\n"
                     "Delay 5 ms!\n"
                     "Success!\n");
}

TEST_F(ServiceCli, ScriptsThatCannotRunFail)
{
    CliRun r = cli({"script", "missing.ini"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Script Open Fail!"));
    writeFile("binary.ini", QByteArray("1 pwd 46 1 1\n\0\0", 15));
    r = cli({"script", "binary.ini"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not a text file"));
}

TEST_F(ServiceCli, FpgaDownloadAndItsRefusals)
{
    writeFile("top.bin", QByteArray(519 * 62, '\x5a'));
    CliRun r = cli({"fpga", "top.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("Success!\nWrite FPGA Code 31KB Success!\n"));
    writeFile("empty.bin", QByteArray());
    r = cli({"fpga", "empty.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("FPGA File is empty"));
    writeFile("big.bin", QByteArray(70000, 'x'));
    EXPECT_EQ(cli({"fpga", "big.bin"}).exitCode, 1);
    EXPECT_EQ(cli({"fpga"}).exitCode, 2);
}

TEST_F(ServiceCli, FlashDumpFillEraseRoundTrip)
{
    ASSERT_EQ(cli({"flash", "dump", "--unit", "master", "master.bin"}).exitCode, 0);
    const QByteArray master = readFile("master.bin");
    ASSERT_EQ(master.size(), 0x20000);
    // The Master's image into the Slave, then the Slave dumped: the same bytes.
    ASSERT_EQ(cli({"flash", "fill", "--unit", "slave", "master.bin"}).exitCode, 0);
    ASSERT_EQ(cli({"flash", "dump", "--unit", "slave", "slave.bin"}).exitCode, 0);
    EXPECT_EQ(readFile("slave.bin"), master);
    ASSERT_EQ(cli({"flash", "erase", "--unit", "slave"}).exitCode, 0);
    ASSERT_EQ(cli({"flash", "dump", "--unit", "slave", "erased.bin"}).exitCode, 0);
    EXPECT_EQ(readFile("erased.bin"), QByteArray(0x20000, '\xff'));
}

TEST_F(ServiceCli, AFillFileOfAnotherSizeLeavesTheFlashAsItWas)
{
    ASSERT_EQ(cli({"flash", "dump", "--unit", "master", "before.bin"}).exitCode, 0);
    writeFile("short.bin", QByteArray(0x10000, '\0'));
    const CliRun r = cli({"flash", "fill", "--unit", "master", "short.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("nothing was written"));
    ASSERT_EQ(cli({"flash", "dump", "--unit", "master", "after.bin"}).exitCode, 0);
    EXPECT_EQ(readFile("after.bin"), readFile("before.bin"));
}

TEST_F(ServiceCli, FlashNeedsItsUnitAndAWritableTarget)
{
    EXPECT_EQ(cli({"flash", "dump", "x.bin"}).exitCode, 2);
    EXPECT_EQ(cli({"flash", "erase"}).exitCode, 2);
    EXPECT_EQ(cli({"flash", "erase", "--unit", "left"}).exitCode, 2);
    const CliRun r = cli({"flash", "dump", "--unit", "master", "/proc/dump.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("could not be written"));
    EXPECT_EQ(cli({"flash", "erase", "--unit", "master"}, "unplugged").exitCode, 3);
}

} // namespace
