// The leveling settings record: its bytes, and its values from the INI.
#include "LevelingTestSupport.h"

#include "leveling/core/LevelingSettingsRecord.h"

namespace tovrin::leveling {
namespace {

TEST(SettingsRecord, BytesAtTheirOffsets)
{
    LevelingSettingsRecord r;
    r.expValue = 0xC1;
    r.pointValueBegin = 0x09;
    r.pointValueEnd = 0x1F;
    r.vsyncDiff = 0x03;
    r.kept = {0xA1, 0xA2, 0xA3, 0xA4};
    r.autoUpdateBk = 0;
    r.autoImageEval = 1;
    r.autoStartLine = 2;
    const LevelingSettingsRecord::Bytes expected{'T', 'E', 'S', 'T', 0xC1, 0x09, 0x1F, 0x03,
                                                 0xA1, 0xA2, 0xA3, 0xA4, 0, 1, 2};
    EXPECT_EQ(r.encode(), expected);
    EXPECT_EQ(LevelingSettingsRecord::decode(expected), r);
    LevelingSettingsRecord::Bytes other = expected;
    other[3] = 'X';
    EXPECT_FALSE(LevelingSettingsRecord::decode(other).hasMagic());
}

TEST(SettingsRecord, HexTextToByte)
{
    EXPECT_EQ(byteFromHexText("0xc0"), uint8_t{0xC0});
    EXPECT_EQ(byteFromHexText("C0"), uint8_t{0xC0});
    EXPECT_EQ(byteFromHexText("0x00_1e"), uint8_t{0x1E});
    EXPECT_EQ(byteFromHexText(""), uint8_t{0});
    EXPECT_EQ(byteFromHexText("zz"), uint8_t{0}) << "not a number reads as 0";
    EXPECT_EQ(byteFromHexText("0x1c0"), std::nullopt) << "does not fit: refused, not cut";
    EXPECT_EQ(byteFromHexText("fffffffffffffffff"), std::nullopt);
}

class SettingsFromIni : public ::testing::Test {
protected:
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(SettingsFromIni, DefaultsWithoutAFile)
{
    const auto r = levelingSettingsFromIni();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->encode(), (LevelingSettingsRecord::Bytes{'T', 'E', 'S', 'T', 0xC0, 0x08, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1}));
}

TEST_F(SettingsFromIni, ValuesOfTheFile)
{
    test::writeIni("[TEST_PARA]\nexpValue=c8\npointValueBegin=0x0A\nautoStartLine=0\n");
    const auto r = levelingSettingsFromIni();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->expValue, 0xC8);
    EXPECT_EQ(r->pointValueBegin, 0x0A);
    EXPECT_EQ(r->autoStartLine, 0);
}

TEST_F(SettingsFromIni, ValueThatDoesNotFitRefusesTheRecord)
{
    test::writeIni("[TEST_PARA]\nvsyncDiff=0x102\n");
    EXPECT_FALSE(levelingSettingsFromIni());
    test::writeIni("[TEST_PARA]\nautoUpdateBk=256\n");
    EXPECT_FALSE(levelingSettingsFromIni());
}

} // namespace
} // namespace tovrin::leveling
