// The comparison of a dump with the reference: which differences count, and
// the block address reported.

#include "production/core/FlashCompare.h"

#include <gtest/gtest.h>

using namespace tovrin::production;

namespace {

struct Case {
    const char* name;
    uint32_t changedOffset;
    bool exposure, columns, lineJoin;
    std::optional<uint32_t> reported;
};
class IgnoreRules : public ::testing::TestWithParam<Case> {};

TEST_P(IgnoreRules, OnlyListedBytesOfTheirBlockAreSkipped)
{
    std::vector<uint8_t> reference(kDumpSize, 0x5A);
    std::vector<uint8_t> current = reference;
    current[GetParam().changedOffset] ^= 0x01;
    const auto ignore = ignoreListFor(GetParam().exposure, GetParam().columns, GetParam().lineJoin);
    EXPECT_EQ(firstDifferentBlock(reference, current, CompareMode::IgnoreListed, ignore), GetParam().reported);
    // Comparing everything reports any change.
    EXPECT_EQ(firstDifferentBlock(reference, current, CompareMode::All, ignore),
              GetParam().changedOffset / kFlashBlock * kFlashBlock);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, IgnoreRules,
    ::testing::Values(Case{"ExposureByte4Ignored", 0x11004, true, false, false, std::nullopt},
                      Case{"ExposureByte7Ignored", 0x11007, true, false, false, std::nullopt},
                      Case{"Byte3Reported", 0x11003, true, false, false, 0x11000u},
                      Case{"Byte8NeedsTheColumnBox", 0x11008, true, false, false, 0x11000u},
                      Case{"Byte8WithColumns", 0x11008, false, true, false, std::nullopt},
                      Case{"Byte12AfterColumns", 0x1100C, true, true, false, 0x11000u},
                      Case{"LineJoin18", 0x11012, false, false, true, std::nullopt},
                      Case{"LineJoin65", 0x11041, false, false, true, std::nullopt},
                      Case{"LineJoin66Reported", 0x11042, false, false, true, 0x11000u},
                      Case{"SameIndexOtherBlock", 0x12005, true, true, true, 0x12000u},
                      Case{"BlockStartNotByte", 0x1A123, true, true, true, 0x1A000u}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FlashCompare, IdenticalDumpsHaveNoDifference)
{
    const std::vector<uint8_t> a(kDumpSize, 0xFF);
    EXPECT_EQ(firstDifferentBlock(a, a, CompareMode::All, {}), std::nullopt);
}

TEST(FlashCompare, TheFirstCountingDifferenceWins)
{
    std::vector<uint8_t> a(kDumpSize, 0);
    std::vector<uint8_t> b = a;
    b[0x11005] = 1;  // ignored
    b[0x1F000] = 1;
    b[0x1E000] = 1;
    EXPECT_EQ(firstDifferentBlock(a, b, CompareMode::IgnoreListed, ignoreListFor(true, false, false)), 0x1E000u);
}

TEST(FlashCompare, AShortDumpDiffersAtItsEnd)
{
    const std::vector<uint8_t> a(kDumpSize, 0);
    const std::vector<uint8_t> b(kDumpSize - 100, 0);
    EXPECT_EQ(firstDifferentBlock(a, b, CompareMode::All, {}), 0x1F000u);
}

} // namespace
