// What the leveling window's labels say for its codes.
#include "leveling/core/LevelingState.h"
#include "leveling/core/LevelingTexts.h"

#include "shell/AppContext.h"
#include "shell/MessageTexts.h"

#include <gtest/gtest.h>

namespace tovrin::leveling {
namespace {

class Texts : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell::context().setTexts(shell::builtinTexts());
        resetLevelingState();
    }
};

TEST_F(Texts, SearchResultNamesTheLineOnlyInside1To639)
{
    for (const auto& [line, expected] : std::vector<std::pair<int, QString>>{
             {1, "Optical Parameters:1!"},
             {639, "Optical Parameters:639!"},
             {0, "Failed to find the starting line, please exit and re-level."},
             {640, "Failed to find the starting line, please exit and re-level."},
             {65535, "Failed to find the starting line, please exit and re-level."}}) {
        g_StartLineS = line;
        EXPECT_EQ(searchResultText(kSlave), expected) << line;
    }
}

TEST_F(Texts, LeveledShowsLineAndColumns)
{
    g_StartLineM = 236;
    setColumns(kMaster, 40, 600);
    EXPECT_EQ(leveledText(kMaster),
              "Image line has been selected successfully.\nOptical Parameters:236, 40, 600 \nDo exposure please.");
}

TEST_F(Texts, StoredLevelingOfAnOrdinaryUnit)
{
    g_StartLineS = 248;
    setExposure(kSlave, 0x06, 0x0c);
    device::ZoneTable zones{};
    for (size_t e = 0; e < 8; ++e)
        zones[e] = device::ZoneEntry{static_cast<uint16_t>(100 + e), static_cast<uint16_t>(e % 4), {}};
    setZones(kSlave, zones);
    EXPECT_EQ(storedLevelingText(kSlave, false),
              "S--248,0x06,0x0c\n(100,0,100),(101,1,101),(102,2,102),(103,3,103),\n"
              "(104,0,104),(105,1,105),(106,2,106),(107,3,107)\n");
    EXPECT_EQ(storedLevelingText(kSlave, true), "S--248,0x06,0x0c");
}

TEST_F(Texts, ExposureResultPadsBothBytes)
{
    g_StartLineM = 240;
    setColumns(kMaster, 38, 601);
    setExposure(kMaster, 0x04, 0x0b);
    EXPECT_EQ(exposureText(kMaster), "Exposure complete.\nOptical Parameters:240, 38, 601\n 0x04, 0x0b.");
}

TEST_F(Texts, CountdownCaption) { EXPECT_EQ(countdownCaption(3), "Save&Exit(3s)"); }

} // namespace
} // namespace tovrin::leveling
