// tovrin-cli flash, reg, script and fpga as a production line runs them:
// outputs, exit codes, and refusals that leave the frame untouched.

#include "tests/service/PullSweep.h"

#include <QFile>

using namespace tovrin::test;

namespace {

// The texts of messages 61 and 19 of the language file.
const QString kPulledOut = QStringLiteral("Device has been pulled out, please exit.");
const QString kCalibrationRestored = QStringLiteral("restored prior calibration data");

// An FPGA configuration as the FPGA reads it from flash offset 0 (padding,
// the sync word AA 99 55 66, then data), and the file that gives it: every
// byte XOR-ed with the rolling key 0xA5, which rotates left after each byte.
QByteArray fpgaConfiguration(int size, int seed)
{
    QByteArray bytes(size, '\xff');
    const char sync[] = {'\xaa', '\x99', '\x55', '\x66'};
    std::copy(std::begin(sync), std::end(sync), bytes.begin() + 16);
    for (int i = 20; i < size; ++i)
        bytes[i] = static_cast<char>((i * seed + 7) & 0xFF);
    return bytes;
}
QByteArray fpgaFileFor(const QByteArray& configuration)
{
    QByteArray file = configuration;
    uint8_t key = 0xA5;
    for (char& b : file) {
        b = static_cast<char>(static_cast<uint8_t>(b) ^ key);
        key = static_cast<uint8_t>((key << 1) | (key >> 7));
    }
    return file;
}
// The FPGA configures itself only from a sync word in the first 256 bytes.
bool fpgaWouldLoad(const QByteArray& area) { return area.left(256).contains(QByteArray("\xaa\x99\x55\x66", 4)); }

class ServiceCli : public PullSweep {};

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

// A missing script, a binary one, or one with a line that cannot be run
// fails and runs nothing.
TEST_F(ServiceCli, ScriptsThatCannotRunFail)
{
    writeFile("binary.ini", QByteArray("1 pwd 46 1 1\n\0\0", 15));
    writeFile("s.ini", "1 pwd 46 1f 1\n1 pwd 46 1ff 1\n");
    for (const auto& [script, problem] : {std::pair{"missing.ini", "Script Open Fail!"}, std::pair{"binary.ini", "not a text file"},
                                          std::pair{"s.ini", "Script line 2 cannot be run: pwd value 1ff is out of range"}}) {
        const CliRun r = cli({"script", script});
        EXPECT_EQ(r.exitCode, 1) << script;
        EXPECT_TRUE(r.err.contains(problem)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
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

TEST_F(ServiceCli, ScriptSensorCommandsGoToTheChosenUnit)
{
    // brd takes its address as written: it saves the Slave's sensor register
    // after i2cwd set it through --unit slave.
    writeFile("s.ini", "1 i2cwd 19 1 3a\n1 brd 11000019 1 r19.bin\n");
    const CliRun r = cli({"script", "--unit", "slave", "s.ini"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Slave: I2CWrite Addr: 0x0019  value: 0x3a")) << r.out.toStdString();
    EXPECT_EQ(readFile("r19.bin"), QByteArray("\x3a", 1));
    EXPECT_EQ(cli({"script", "--unit", "left", "s.ini"}).exitCode, 2);
}

struct LostRow {
    const char* name;
    QStringList arguments;
    int vanishAt;  // output report at which the frame is pulled: inside the job
};
class ServiceCliLost : public ServiceCli, public ::testing::WithParamInterface<LostRow> {};

TEST_P(ServiceCliLost, AFrameLostInTheMiddleExitsThreeWithMessage61)
{
    writeFile("top.bin", fpgaFileFor(fpgaConfiguration(3000, 5)));
    writeFile("s.ini", QByteArray("1 pwd 46 1 1\n").repeated(20));
    ASSERT_EQ(cli({"flash", "dump", "--unit", "master", "image.bin"}).exitCode, 0);
    const CliRun r = cli(GetParam().arguments, QStringLiteral("vanish-at=%1").arg(GetParam().vanishAt));
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(kPulledOut)) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(kCalibrationRestored)) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Verbs, ServiceCliLost,
    ::testing::Values(LostRow{"Fpga", {"fpga", "top.bin"}, 40}, LostRow{"FlashFill", {"flash", "fill", "--unit", "slave", "image.bin"}, 500},
                      LostRow{"FlashErase", {"flash", "erase", "--unit", "slave"}, 10},
                      LostRow{"FlashDump", {"flash", "dump", "--unit", "slave", "d.bin"}, 300},
                      LostRow{"Script", {"script", "s.ini"}, 10},
                      LostRow{"RegisterRequest", {"reg", "read", "46"}, 3},
                      LostRow{"WorkModeAfterTheJob", {"reg", "read", "46"}, 4}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ServiceCli, FpgaDownloadPulledAtEveryReport)
{
    // Both units hold an old configuration; a new one of two pages and a bit
    // is downloaded and pulled at each output report of the job in turn.
    writeFile("old.bin", fpgaFileFor(fpgaConfiguration(280, 3)));
    ASSERT_EQ(cli({"fpga", "old.bin"}).exitCode, 0);
    const QByteArray before = flash();
    writeFile("new.bin", fpgaFileFor(fpgaConfiguration(300, 11)));
    QByteArray after;
    const auto commands = traceCleanRun({"fpga", "new.bin"}, before, after);
    ASSERT_GT(commands.size(), 30u);
    for (bool slave : {false, true})
        ASSERT_EQ(area(after, slave, 0, 300), fpgaConfiguration(300, 11));
    std::set<int> every;
    addRange(every, 1, static_cast<int>(commands.size()) + 1);
    sweep({"fpga", "new.bin"}, before, after, static_cast<int>(commands.size()), every, [&](const QByteArray& left) {
        for (bool slave : {false, true}) {
            const QByteArray fpga = area(left, slave, 0, 0x10000);
            EXPECT_TRUE(fpga == area(before, slave, 0, 0x10000) || fpga == area(after, slave, 0, 0x10000) ||
                        !fpgaWouldLoad(fpga))
                << (slave ? "Slave" : "Master") << " holds a configuration that is neither the old nor the new one";
            EXPECT_EQ(area(left, slave, 0x10000, 0x10000), area(before, slave, 0x10000, 0x10000));
        }
        // One unit at a time: never both without their old code and without the new one.
        EXPECT_TRUE(fpgaWouldLoad(area(left, false, 0, 0x10000)) || fpgaWouldLoad(area(left, true, 0, 0x10000)));
    });
}

TEST_F(ServiceCli, FlashFillPulledAtItsBoundaries)
{
    // The Master holds the factory records; the image brings other valid
    // records and an FPGA configuration. Swept: the reports around each erase
    // of the FPGA area's first and last sector and of every sector that holds
    // a record, each such sector's first word, the FPGA area's first page,
    // the read-back and the end, and every 500th report in between.
    ASSERT_EQ(cli({"flash", "dump", "--unit", "master", "old.bin"}).exitCode, 0);
    const QByteArray before = flash();
    QByteArray image = readFile("old.bin");
    const QByteArray configuration = fpgaConfiguration(0x10000, 7);
    image.replace(0, configuration.size(), configuration);
    const std::vector<int> records{0x10000, 0x11000, 0x13000, 0x18000, 0x19000, 0x1A000, 0x1F000};
    for (const int record : records) {
        image.replace(record, 4, QByteArray::fromHex(record == 0x11000 ? "46495746" : record == 0x18000 ? "46494341" : "5a5a5a5a"));
        for (int i = 8; i < 64; ++i)
            image[record + i] = static_cast<char>(image[record + i] ^ 0x5A);
    }
    writeFile("new.bin", image);
    QByteArray after;
    const auto commands = traceCleanRun({"flash", "fill", "--unit", "master", "new.bin"}, before, after);
    ASSERT_EQ(area(after, false, 0, kUnitFlash), image);

    std::set<int> at;
    const int last = static_cast<int>(commands.size());
    std::vector<int> sectors{0, 0xF000};
    sectors.insert(sectors.end(), records.begin(), records.end());
    int firstRead = 0;
    for (const TracedCommand& c : commands) {
        if (c.number == 13 && std::find(sectors.begin(), sectors.end(), static_cast<int>(c.flashAddress())) != sectors.end()) {
            addRange(at, c.index - 1, c.index + 1);  // the sector before ends, the erase, the first piece
            at.insert(c.index + 129);                // the sector's first word
        }
        if (c.number == 9 && c.flashAddress() < 256)
            at.insert(c.index);  // the FPGA area's first page
        if (c.number == 10 && firstRead == 0 && c.index > 10)
            firstRead = c.index;
    }
    addRange(at, firstRead - 1, firstRead + 1);
    addRange(at, last - 2, last + 1);
    for (int n = 1; n <= last; n += 500)
        at.insert(n);
    sweep({"flash", "fill", "--unit", "master", "new.bin"}, before, after, last, at, [&](const QByteArray& left) {
        const QByteArray fpga = area(left, false, 0, 0x10000);
        EXPECT_TRUE(fpga == area(before, false, 0, 0x10000) || fpga == area(after, false, 0, 0x10000) || !fpgaWouldLoad(fpga));
        for (const int record : records) {
            const QByteArray sector = area(left, false, record, 0x1000);
            EXPECT_TRUE(sector == area(before, false, record, 0x1000) || sector == area(after, false, record, 0x1000) ||
                        sector.left(4) == QByteArray(4, '\xff'))
                << "the sector at " << std::hex << record << " looks valid and is neither the old nor the new one";
        }
        EXPECT_EQ(area(left, true, 0, kUnitFlash), area(before, true, 0, kUnitFlash)) << "the Slave was touched";
    });
}

} // namespace
