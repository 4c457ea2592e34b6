// The leveling window's settings from Tovrin.ini, bad values included.
#include "LevelingTestSupport.h"

#include "leveling/core/LevelingConfig.h"

namespace tovrin::leveling {
namespace {

class Config : public ::testing::Test {
protected:
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(Config, DefaultsOfAnOrdinaryDevice)
{
    const LevelingConfig c = readLevelingConfig(false);
    EXPECT_EQ(c.lineNum, 9);
    EXPECT_TRUE(c.compress);
    EXPECT_TRUE(c.previewOnly);
    EXPECT_FALSE(c.adjustDebug);
    EXPECT_EQ(c.exposureLimit, 18);
}

TEST_F(Config, OnlyOneSwitchesCompressionAndPreviewOnlyOn)
{
    test::writeIni("[Tovrin_Config]\nCompress_en=2\nPreviewOnly_en=yes\n");
    const LevelingConfig c = readLevelingConfig(false);
    EXPECT_FALSE(c.compress);
    EXPECT_FALSE(c.previewOnly);
}

TEST_F(Config, ExtendedDeviceNeverCompressesAndTakesItsLineCount)
{
    test::writeIni("[Tovrin_Config]\nCompress_en=1\nLineNum=0\n");
    EXPECT_FALSE(readLevelingConfig(true).compress);
    EXPECT_EQ(readLevelingConfig(true).lineNum, 1);
    test::writeIni("[Tovrin_Config]\nLineNum=99\n");
    EXPECT_EQ(readLevelingConfig(true).lineNum, 11);
    test::writeIni("[Tovrin_Config]\nLineNum=7\n[Tovrin_Debug]\nAdjustDebug=1\n");
    EXPECT_EQ(readLevelingConfig(true).lineNum, 11);
    EXPECT_TRUE(readLevelingConfig(true).adjustDebug);
    EXPECT_FALSE(readLevelingConfig(false).adjustDebug) << "an ordinary device has no debug panel";
}

TEST_F(Config, ExposureLimitIsCutTo0To25)
{
    test::writeIni("[Tovrin_Config]\nExpValue=300\n");
    EXPECT_EQ(readLevelingConfig(false).exposureLimit, 25);
    test::writeIni("[Tovrin_Config]\nExpValue=abc\n");
    EXPECT_EQ(readLevelingConfig(false).exposureLimit, 0);
    test::writeIni("[Tovrin_Config]\nExpValue=-4\n");
    EXPECT_EQ(readLevelingConfig(false).exposureLimit, 0);
}

} // namespace
} // namespace tovrin::leveling
