// The register script's line forms, parsed without a frame: every field
// kind, comments, the lines that are skipped quietly and the ones that
// cannot be run.

#include "maintenance/service/ScriptParser.h"

#include <gtest/gtest.h>

using namespace tovrin::maintenance;

namespace {

ScriptLine parse(const char* text) { return parseScriptLine(QByteArrayView(text), 7); }

struct Good {
    const char* name;
    const char* line;
    ScriptOp op;
    uint32_t address;
    uint32_t value;
    int count;
    uint32_t windowLast = 0;  // bwd
    int delayMs = 0;          // #
    const char* file = "";    // brd, bwd
};
class ScriptLineForms : public ::testing::TestWithParam<Good> {};

TEST_P(ScriptLineForms, ParsesTheFields)
{
    const ScriptLine l = parse(GetParam().line);
    ASSERT_EQ(l.kind, ScriptLine::Command) << l.problem.toStdString();
    EXPECT_EQ(l.command.op, GetParam().op);
    EXPECT_EQ(l.command.address, GetParam().address);
    EXPECT_EQ(l.command.value, GetParam().value);
    EXPECT_EQ(l.command.count, GetParam().count);
    EXPECT_EQ(l.command.windowLast, GetParam().windowLast);
    EXPECT_EQ(l.command.delayMs, GetParam().delayMs);
    EXPECT_EQ(l.command.file, GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptLineForms,
    ::testing::Values(Good{"PortRead", "1 prd 12 4", ScriptOp::PortRead, 0x12, 0, 4},
                      Good{"PortReadWithPrefix", "1 prd 0x12 0x4", ScriptOp::PortRead, 0x12, 0, 4},
                      Good{"PortReadSlave", "1 prd 10000012 1", ScriptOp::PortRead, 0x10000012, 0, 1},
                      // prd takes any unit address as written: flash and sensor too.
                      Good{"PortReadSlaveFlash", "1 prd 12011000 4", ScriptOp::PortRead, 0x12011000, 0, 4},
                      Good{"PortReadSensor", "1 prd 1000012 1", ScriptOp::PortRead, 0x01000012, 0, 1},
                      Good{"PortWrite", "1 pwd 35 1f 1", ScriptOp::PortWrite, 0x35, 0x1F, 1},
                      Good{"SingleRead", "1 srd ffff", ScriptOp::SingleRead, 0xFFFF, 0, 0},
                      Good{"SensorWrite", "1 i2cwd 19 1 3a", ScriptOp::I2cWrite, 0x19, 0x3A, 1},
                      Good{"SensorRead", "1 i2crd 0a 1", ScriptOp::I2cRead, 0x0A, 0, 1},
                      Good{"CommentAfterTheFields", "1 prd 12 4 the chip id, four bytes", ScriptOp::PortRead, 0x12, 0, 4},
                      Good{"TabsAndCarriageReturn", "\t1\tprd\t12\t4\r", ScriptOp::PortRead, 0x12, 0, 4},
                      Good{"PlusSignedFirstNumber", "+1 srd 5", ScriptOp::SingleRead, 5, 0, 0},
                      Good{"LeadingZeroFirstNumber", "01 srd 5", ScriptOp::SingleRead, 5, 0, 0},
                      Good{"DelayIsDecimal", "1 # 100 wait for the sensor", ScriptOp::Delay, 0, 0, 0, 0, 100},
                      // brd n is hexadecimal; bwd: n decimal, then the register window, then the file.
                      Good{"BurstRead", "1 brd 40 270 dump.bin", ScriptOp::BurstRead, 0x40, 0, 624, 0, 0, "dump.bin"},
                      Good{"BurstWrite", "1 bwd 16 20 2f lut.bin", ScriptOp::BurstWrite, 0x20, 0, 16, 0x2F, 0, "lut.bin"},
                      // Burst addresses are taken as written: a unit's calibration record
                      // head saved with brd, bytes written into flash with bwd.
                      Good{"BurstReadOfAFlashRecord", "1 brd 2011000 3c cal.bin", ScriptOp::BurstRead, 0x02011000, 0, 0x3C, 0,
                           0, "cal.bin"},
                      Good{"BurstWriteIntoFlash", "1 bwd 8 1201a000 1201a00f t.bin", ScriptOp::BurstWrite, 0x1201A000, 0, 8,
                           0x1201A00F, 0, "t.bin"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ScriptLine, OnlyLinesStartingWithOneRun)
{
    EXPECT_EQ(parse("0 prd 12 4").kind, ScriptLine::Skipped);
    EXPECT_EQ(parse("2 prd 12 4").kind, ScriptLine::Skipped);
    EXPECT_EQ(parse("-1 prd 12 4").kind, ScriptLine::Skipped);
    EXPECT_EQ(parse("1 xyz 12 4").kind, ScriptLine::Skipped);  // another command word: quietly
    EXPECT_EQ(parse("1 PRD 12 4").kind, ScriptLine::Skipped);
    EXPECT_EQ(parse("   ").kind, ScriptLine::Blank);
    EXPECT_EQ(parse("").kind, ScriptLine::Blank);
}

struct Bad {
    const char* name;
    const char* line;
    const char* problem;
};
class ScriptLineRefusals : public ::testing::TestWithParam<Bad> {};

TEST_P(ScriptLineRefusals, CannotBeRun)
{
    const ScriptLine l = parse(GetParam().line);
    EXPECT_EQ(l.kind, ScriptLine::Malformed);
    EXPECT_EQ(l.number, 7);
    EXPECT_TRUE(l.problem.contains(QLatin1String(GetParam().problem))) << l.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptLineRefusals,
    ::testing::Values(
        Bad{"NoNumber", "prd 12 4", "does not start with a number"},
        Bad{"GluedNumber", "1prd 12 4", "does not start with a number"},
        Bad{"CommentLine", "; read the id", "does not start with a number"},
        Bad{"LongWord", "1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1", "longer than 63"},
        Bad{"LongFileName", "1 brd 40 10 a_file_name_16ch", "longer than 15"},
        Bad{"MissingCount", "1 prd 12", "prd needs <addr> <count>"},
        Bad{"NotHexadecimal", "1 prd 12 zz", "prd needs"},
        Bad{"ValueBeyondOneByte", "1 pwd 35 100 1", "value 100 is out of range"},
        Bad{"SensorRegisterBeyondOneByte", "1 i2crd 100 1", "register 100 is out of range"},
        Bad{"FlashAddressIsNoRegister", "1 pwd 2011000 0 1", "address 2011000 is out of range"},
        Bad{"DownloadChannelIsNotForScripts", "1 prd 3004080 1", "address 3004080 is out of range"},
        Bad{"ReservedAddressBits", "1 brd 20000000 4 d.bin", "address 20000000 is out of range"},
        Bad{"RegisterOffsetBeyondThePort", "1 prd 10000 1", "address 10000 is out of range"},
        Bad{"BurstWindowInAnotherUnit", "1 bwd 4 2000 10002003 t.bin", "do not fit the window"},
        Bad{"AbsoluteBurstFile", "1 brd 40 10 /etc/passwd", "not a plain file name"},
        Bad{"BurstFileOneFolderUp", "1 brd 40 10 ../x.bin", "not a plain file name"},
        Bad{"BurstFileIsTheParent", "1 bwd 4 20 2f ..", "not a plain file name"},
        Bad{"BurstFileWithBackslash", "1 brd 40 10 ..\\x.bin", "not a plain file name"},
        Bad{"BurstFileIsTheSettings", "1 brd 40 10 Tovrin.ini", "tool's own settings"},
        Bad{"BurstFileIsALanguageFile", "1 brd 40 10 texts.LRP", "tool's own settings"},
        Bad{"BurstReadTooLong", "1 brd 40 271 d.bin", "count 271 is out of range"},
        Bad{"ZeroCount", "1 prd 12 0", "count 0 is out of range"},
        Bad{"BurstWriteBeyondItsWindow", "1 bwd 17 20 2f lut.bin", "do not fit the window"},
        Bad{"NegativeDelay", "1 # -5", "delay -5 is out of range"},
        Bad{"DelayIsDecimalOnly", "1 # 1f", "# needs <ms>"},
        Bad{"Beyond32Bits", "1 srd 100000000", "srd needs <addr>"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ScriptLine, ALineBeyond511CharactersIsRefusedWhole)
{
    // Read in parts, its last field would be cut: "3a" would go out as 3.
    const std::string cut = "1 i2cwd 19 1" + std::string(498, ' ') + "3a";
    ASSERT_EQ(cut.size(), 512u);
    const ScriptLine l = parseScriptLine(QByteArrayView(cut.data(), cut.size()), 4);
    EXPECT_EQ(l.kind, ScriptLine::Malformed);
    EXPECT_TRUE(l.problem.contains("longer than 511")) << l.problem.toStdString();

    // A comment line too: what stands past character 511 would be read as a line of its own.
    const std::string hidden = "0 " + std::string(509, 'x') + "1 pwd 35 0 1";
    EXPECT_EQ(parseScriptLine(QByteArrayView(hidden.data(), hidden.size()), 1).kind, ScriptLine::Malformed);

    const std::string longest = "1 prd 12 4 " + std::string(500, '.');
    ASSERT_EQ(longest.size(), 511u);
    EXPECT_EQ(parseScriptLine(QByteArrayView(longest.data(), longest.size()), 1).kind, ScriptLine::Command);
}

TEST(Script, LinesEndWithLfCrLfOrCr)
{
    const ParsedScript s = parseScript("1 srd 1\n1 srd 2\r\n1 srd 3\r1 srd 4");
    ASSERT_FALSE(s.refused);
    ASSERT_EQ(s.lines.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.lines[i].command.address, i + 1);
        EXPECT_EQ(s.lines[i].number, static_cast<int>(i) + 1);
    }
}

TEST(Script, BinaryAndHugeFilesAreRefusedWhole)
{
    EXPECT_TRUE(parseScript(QByteArray("1 srd 1\n\0\x01\x02", 11)).refused);
    EXPECT_TRUE(parseScript(QByteArray(kScriptSizeMax + 1, ' ')).refused);
    EXPECT_FALSE(parseScript(QByteArray()).refused);
    EXPECT_TRUE(parseScript(QByteArray()).lines.empty());
}

TEST(Script, NonUtf8TextInCommentsIsHarmless)
{
    const ParsedScript s = parseScript("1 srd 5 \xc4\xe3\xba\xc3 \xff\xfe\n0 \x80\x81\n");
    ASSERT_FALSE(s.refused);
    EXPECT_EQ(s.lines[0].kind, ScriptLine::Command);
    EXPECT_EQ(s.lines[1].kind, ScriptLine::Skipped);
}

} // namespace
