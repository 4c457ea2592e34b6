// How frames travel: the plain chunk plans of both workers, the packed
// stream's follow-ups, and the frame's line count from the INI.
#include "leveling/core/ChunkPlan.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace tovrin::leveling {
namespace {

int bytesOf(const std::vector<Chunk>& plan)
{
    return std::accumulate(plan.begin(), plan.end(), 0, [](int s, const Chunk& c) { return s + c.length; });
}

// Every byte of lines x 640 is filled exactly once, and nothing outside.
void expectCoversFrame(const std::vector<Chunk>& plan, int lines)
{
    std::vector<int> hits(kFrameBytes, 0);
    for (const Chunk& c : plan) {
        ASSERT_LE(c.bufferOffset + c.length, kFrameBytes);
        for (int i = 0; i < c.length; ++i)
            ++hits[static_cast<size_t>(c.bufferOffset + i)];
    }
    for (int i = 0; i < lines * 640; ++i)
        ASSERT_EQ(hits[static_cast<size_t>(i)], 1) << "byte " << i;
}

TEST(LevelingPlan, OrdinaryNineLinesIs95Chunks)
{
    const auto plan = levelingFramePlan(9, false, false);
    ASSERT_EQ(plan.size(), 95u);
    for (size_t k = 0; k < 83; ++k)
        EXPECT_EQ(plan[k], (Chunk{kRegionA, static_cast<uint16_t>(k * 61), 61, static_cast<uint16_t>(k * 61)}));
    EXPECT_EQ(plan[83], (Chunk{kRegionA, 5063, 57, 5063}));
    for (size_t k = 84; k < 94; ++k)
        EXPECT_EQ(plan[k], (Chunk{kRegionB, static_cast<uint16_t>((k - 84) * 61), 61,
                                  static_cast<uint16_t>(5120 + (k - 84) * 61)}));
    EXPECT_EQ(plan[94], (Chunk{kRegionB, 610, 30, 5730}));
    expectCoversFrame(plan, 9);
}

TEST(LevelingPlan, ExtendedElevenLinesIs116Chunks)
{
    const auto plan = levelingFramePlan(11, true, false);
    ASSERT_EQ(plan.size(), 116u);
    EXPECT_EQ(plan[103], (Chunk{kRegionA, 6283, 61, 6283}));
    EXPECT_EQ(plan[104], (Chunk{kRegionA, 6344, 56, 6344}));
    EXPECT_EQ(plan[105], (Chunk{kRegionB, 7168, 61, 6400}));
    EXPECT_EQ(plan[114], (Chunk{kRegionB, 7168 + 549, 61, 6400 + 549}));
    EXPECT_EQ(plan[115], (Chunk{kRegionB, 7168 + 610, 30, 6400 + 610}));
    expectCoversFrame(plan, 11);
}

TEST(LevelingPlan, ExtendedWithFewerLinesReadsRegionAOnly)
{
    // The last chunk takes what is left of the last line, at least 30 bytes:
    // 2 lines leave 60 after 20 chunks of 61.
    for (int lines = 1; lines <= 10; ++lines) {
        const auto plan = levelingFramePlan(lines, true, false);
        ASSERT_EQ(static_cast<int>(plan.size()), lines * 640 / 61 + 1) << lines;
        for (const Chunk& c : plan) {
            EXPECT_EQ(c.region, kRegionA) << lines;
            EXPECT_EQ(c.regionOffset, c.bufferOffset) << lines;
        }
        EXPECT_EQ(plan.back().length, lines == 10 ? 56 : std::max(30, lines * 640 % 61)) << lines;
        expectCoversFrame(plan, lines);
    }
}

TEST(LevelingPlan, OnlyLastLineKeepsChunkZeroAndTheLastLine)
{
    const auto plan = levelingFramePlan(11, true, true);
    ASSERT_EQ(plan.size(), 12u);
    EXPECT_EQ(plan[0], (Chunk{kRegionA, 0, 61, 0}));
    for (size_t k = 1; k < plan.size(); ++k)
        EXPECT_EQ(plan[k].region, kRegionB);
    EXPECT_EQ(bytesOf(plan), 61 + 640);
}

TEST(PreviewPlan, NineLinesSplitAsTheFrameKeepsThem)
{
    const auto preview = previewFramePlan(9, false);
    EXPECT_EQ(preview, levelingFramePlan(9, false, false));
}

TEST(PreviewPlan, ExtendedFramesKeepLineIAtIx640)
{
    for (int lines = 1; lines <= 11; ++lines) {
        const auto plan = previewFramePlan(lines, true);
        expectCoversFrame(plan, lines == 11 ? 11 : lines);
    }
}

struct FollowUpRow {
    const char* name;
    int length;
    std::vector<StreamPiece> pieces;
};

void PrintTo(const FollowUpRow& row, std::ostream* os) { *os << row.name; }

class FollowUps : public ::testing::TestWithParam<FollowUpRow> {};

TEST_P(FollowUps, Pieces) { EXPECT_EQ(streamFollowUps(GetParam().length), GetParam().pieces); }

INSTANTIATE_TEST_SUITE_P(
    Lengths, FollowUps,
    ::testing::Values(FollowUpRow{"Empty", 0, {}}, FollowUpRow{"Length59NeedsNone", 59, {}},
                      FollowUpRow{"Length60NeedsOneByte", 60, {{59, 1}}},
                      FollowUpRow{"Length118NeedsOneFullPiece", 118, {{59, 59}}},
                      FollowUpRow{"Length119", 119, {{59, 59}, {118, 1}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FollowUpsFit, AStreamPassing640BytesEndsInAPieceThatDoesNotFit)
{
    const auto full = streamFollowUps(640);
    ASSERT_EQ(full.size(), 10u);
    for (const StreamPiece& p : full)
        EXPECT_TRUE(p.fits());
    for (int length : {641, 700, 65535}) {
        const auto pieces = streamFollowUps(length);
        ASSERT_GE(pieces.size(), 10u) << length;
        for (size_t k = 0; k < 9; ++k)
            EXPECT_TRUE(pieces[k].fits());
        EXPECT_FALSE(pieces[9].fits()) << length;
    }
}

TEST(LineCount, FromTheIniAndTheDevice)
{
    EXPECT_EQ(frameLineCount(false, 11, true), 9) << "an ordinary unit has 9 lines";
    EXPECT_EQ(frameLineCount(true, 5, false), 5);
    EXPECT_EQ(frameLineCount(true, 0, false), 1);
    EXPECT_EQ(frameLineCount(true, 99, false), 11);
    EXPECT_EQ(frameLineCount(true, -3, false), 1);
    EXPECT_EQ(frameLineCount(true, 3, true), 11) << "the debug panel needs all 11 lines";
}

} // namespace
} // namespace tovrin::leveling
