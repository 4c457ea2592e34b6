#include "calibration/math/SpotSelect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace tovrin::calib;

namespace {

Spot spot(int pos, int width = 10, int strength = 100)
{
    return {static_cast<std::uint16_t>(pos), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(strength), 1};
}

SpotReport report(const std::vector<Spot>& spots)
{
    SpotReport r;
    for (const Spot& s : spots)
        r.spots[static_cast<std::size_t>(r.count++)] = s;
    return r;
}

} // namespace

// --- vote and sort -----------------------------------------------------------

struct VoteRow {
    const char* name;
    std::vector<std::vector<Spot>> history;  // oldest first
    int position, width, strength;
};

class VoteAndSortVotes : public testing::TestWithParam<VoteRow> {};

TEST_P(VoteAndSortVotes, NewestSpotMovesToTheMostVotedNeighbour)
{
    TouchHistory h;
    for (const auto& frame : GetParam().history)
        h.push(report(frame));
    const SpotReport out = VoteAndSort(h);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(out.spots[0].position, GetParam().position);
    EXPECT_EQ(out.spots[0].width, GetParam().width);  // widest and strongest seen there
    EXPECT_EQ(out.spots[0].strength, GetParam().strength);
    EXPECT_EQ(out.spots[0].flag, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VoteAndSortVotes,
    testing::Values(
        // Newest at 399: 398 none, 399 twice, 400 twice; p + 1 wins the tie.
        VoteRow{"equalVotesGoToTheLargerPosition",
                {{spot(400, 8, 50)}, {spot(401, 12, 70)}, {spot(399, 9, 60)}, {spot(400, 7, 40)}, {spot(401, 6, 30)},
                 {spot(399, 5, 20)}},
                400, 8, 50},
        VoteRow{"strictMajorityWins",
                {{spot(299, 4, 10)}, {spot(299, 4, 10)}, {spot(299, 4, 10)}, {spot(299, 4, 10)}, {spot(299, 4, 10)},
                 {spot(300, 3, 90)}, {spot(300, 3, 90)}, {spot(301)}, {spot(300, 3, 90)}},
                299, 4, 10},
        VoteRow{"positionBeatsNextOnlyWithMoreVotes", {{spot(501)}, {spot(500)}, {spot(500)}}, 500, 10, 100}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(VoteAndSort, SortIsByWidthAndKeepsOrderOfEqualWidths)
{
    TouchHistory h;
    h.push(report({spot(200, 5), spot(400, 5), spot(600, 9), spot(800, 5)}));
    const SpotReport out = VoteAndSort(h);
    ASSERT_EQ(out.count, 4);
    EXPECT_EQ(out.spots[0].position, 600);
    EXPECT_EQ(out.spots[1].position, 200);
    EXPECT_EQ(out.spots[2].position, 400);
    EXPECT_EQ(out.spots[3].position, 800);
}

TEST(VoteAndSort, CountsBeyondFiveAndEdgesOfTheRangeAreSafe)
{
    TouchHistory h;
    SpotReport r = report({spot(0), spot(65535)});
    r.count = 99;  // a broken report: read as 5 spots
    h.push(r);
    const SpotReport out = VoteAndSort(h);
    EXPECT_EQ(out.count, 5);
    for (int i = 0; i < out.count; ++i)
        EXPECT_LE(out.spots[static_cast<std::size_t>(i)].position, 65535);
}

// --- background --------------------------------------------------------------

TEST(Background, OnlyFramesWithOneCameraCount)
{
    BackgroundList l, r;
    AccumulateBackground(report({spot(300)}), report({spot(700)}), l, r);
    AccumulateBackground(report({}), report({}), l, r);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(r.count, 0);
    AccumulateBackground(report({}), report({spot(700, 4, 30), spot(900)}), l, r);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(r.count, 2);
}

TEST(Background, SamePositionKeepsTheLargerWidthAndStrength)
{
    BackgroundList l, r;
    AccumulateBackground(report({spot(300, 4, 200)}), report({}), l, r);
    AccumulateBackground(report({spot(300, 9, 20)}), report({}), l, r);
    ASSERT_EQ(l.count, 1);
    EXPECT_EQ(l.spots[0].width, 9);
    EXPECT_EQ(l.spots[0].strength, 200);
}

TEST(Background, ListStopsAt64)
{
    BackgroundList list;
    for (int i = 0; i < 70; ++i)
        addBackgroundSpot(list, spot(100 + i));
    EXPECT_EQ(list.count, 64);
    EXPECT_EQ(list.spots[63].position, 163);
}

TEST(Background, DeletedSpotsOfAPointAreAdded)
{
    BackgroundList list;
    SpotReport sorted = report({spot(300), spot(500), spot(700)});
    sorted.spots[1].flag = 0;
    AccumulateDeletedSpots(sorted, list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.spots[0].position, 500);
}

// --- FalsePotDel ---------------------------------------------------------------

// One choice of the spot of a grid point. The baseline: left camera, capture
// mode, table A, no background, no point captured yet.
struct PickRow {
    const char* name;
    Side side;
    int index;
    std::vector<std::pair<int, int>> captured;  // grid point, position
    std::vector<Spot> spots;
    int position;  // of the returned spot; -1: not looked at
    int flag;
    int falseSpot = -1;  // index of a spot that must end deleted (flag 0)
    std::vector<Spot> background = {};
    int variant = 0;
    SpotMode mode = SpotMode::Capture;
};

class FalsePotDelPicks : public testing::TestWithParam<PickRow> {};

TEST_P(FalsePotDelPicks, ChoosesAndStoresThePoint)
{
    const PickRow& row = GetParam();
    BackgroundList background;
    for (const Spot& s : row.background)
        addBackgroundSpot(background, s);
    PointTable table;
    for (const auto& [point, position] : row.captured) {
        table.position[static_cast<std::size_t>(point)] = static_cast<std::uint16_t>(position);
        table.set[static_cast<std::size_t>(point)] = true;
    }
    SpotReport spots = report(row.spots);
    const Spot s = FalsePotDel(background, spots, row.side, columnTypeOf16(row.index), table, row.index, row.mode,
                               row.variant);
    if (row.position >= 0) {
        EXPECT_EQ(s.position, row.position);
    }
    EXPECT_EQ(s.flag, row.flag);
    if (row.falseSpot >= 0) {
        EXPECT_EQ(spots.spots[static_cast<std::size_t>(row.falseSpot)].flag, 0);
    }
    // Only a spot chosen while capturing is stored, at its position.
    const auto i = static_cast<std::size_t>(row.index);
    EXPECT_EQ(table.set[i], row.flag == 1 && row.mode == SpotMode::Capture);
    if (table.set[i]) {
        EXPECT_EQ(table.position[i], s.position);
    }
}

constexpr Side L = Side::Left;
constexpr Side R = Side::Right;

INSTANTIATE_TEST_SUITE_P(
    Rows, FalsePotDelPicks,
    testing::Values(
        // Range: positions 51 to 1219 only.
        PickRow{"at50", L, 5, {}, {spot(50)}, -1, 0}, PickRow{"at51", L, 5, {}, {spot(51)}, 51, 1},
        PickRow{"at1219", L, 5, {}, {spot(1219)}, 1219, 1}, PickRow{"at1220", L, 5, {}, {spot(1220)}, -1, 0},
        // The left camera's far point (3), once captured, limits the range;
        // release mode ignores the limit and stores nothing.
        PickRow{"atCapturedFarPoint", L, 7, {{3, 1100}}, {spot(1100)}, -1, 0},
        PickRow{"belowCapturedFarPoint", L, 7, {{3, 1100}}, {spot(1099)}, 1099, 1},
        PickRow{"releaseBeyondFarPoint", L, 7, {{3, 1100}}, {spot(1150)}, 1150, 1, -1, {}, 0, SpotMode::Release},
        PickRow{"rightFarPointBeyondEveryLimitNearestTheMiddle", R, 0, {},
                {spot(1250), spot(30), spot(1230), spot(1240)}, 1230, 1},
        PickRow{"noCandidateGivesAnUnflaggedFirstSpot", R, 3, {}, {spot(1250), spot(1230)}, 1250, 0},
        PickRow{"noSpotAtAll", L, 3, {}, {}, -1, 0},
        // Neighbour rules.
        PickRow{"firstRowLeftKeepsSpotsBeyondThePrevious", L, 1, {{0, 400}}, {spot(300, 20), spot(600, 10)}, 600, 1, 0},
        PickRow{"firstRowRightKeepsSpotsBeforeThePrevious", R, 2, {{1, 800}}, {spot(900, 20), spot(700, 10)}, 700, 1},
        PickRow{"oneReferenceNothingKeptDecidesUnflagged", L, 1, {{0, 900}}, {spot(300, 20), spot(600, 10)}, -1, 0},
        PickRow{"oneReferenceSeveralKeptNearestTheMiddle", L, 1, {{0, 200}}, {spot(300, 8), spot(600, 7)}, 600, 1},
        PickRow{"firstColumnUnsetReferenceDoesNotDecide", L, 4, {}, {spot(300, 8), spot(700, 7)}, 700, 1},
        PickRow{"firstColumnBelowThePointAbove", L, 4, {{0, 500}}, {spot(300, 8), spot(700, 7)}, 300, 1},
        PickRow{"innerLeftNarrowsWithThePointAbove", L, 5, {{4, 200}, {1, 500}},
                {spot(100, 30), spot(450, 20), spot(800, 10)}, 450, 1},
        // Without the point above: the generic choice (800 is 160 half pixels
        // from the middle, 450 is 190).
        PickRow{"innerLeftWithoutThePointAbove", L, 5, {{4, 200}}, {spot(100, 30), spot(450, 20), spot(800, 10)}, 800, 1},
        PickRow{"innerRightUsesThePointAboveWhenThePreviousIsUnset", R, 5, {{1, 600}}, {spot(700, 20), spot(500, 10)},
                500, 1},
        // Generic choice.
        PickRow{"splitFingerNearTheCameraIsMerged", L, 0, {}, {spot(400, 12, 100), spot(430, 10, 120)}, 414, 1, 1},
        PickRow{"mergeOnlyWithTableA", L, 0, {}, {spot(400, 12, 100), spot(430, 10, 120)}, 430, 1, -1, {}, 1},
        PickRow{"dominantSpotWins", L, 0, {}, {spot(200, 12), spot(640, 3)}, 200, 1},
        PickRow{"dominantAtThreeTimesTheWidth", L, 0, {}, {spot(200, 12), spot(640, 4)}, 200, 1},
        PickRow{"notDominantBelowThreeTimes", L, 0, {}, {spot(200, 11), spot(640, 4)}, 640, 1},
        PickRow{"farSideDeletesSpotsNearTheAxis", L, 15, {}, {spot(450, 8), spot(520, 7), spot(900, 6)}, 520, 1, 0},
        PickRow{"middleTieKeepsTheFirst", L, 0, {}, {spot(600, 6), spot(680, 5)}, 600, 1},
        // Background of almost the same width at almost the same place.
        PickRow{"backgroundSamePlace", L, 0, {}, {spot(640, 6), spot(900, 5)}, 900, 1, -1, {spot(640, 6)}},
        PickRow{"backgroundOneOffWidthOneMore", L, 0, {}, {spot(640, 6), spot(900, 5)}, 900, 1, -1, {spot(641, 7)}},
        PickRow{"backgroundTwoWider", L, 0, {}, {spot(640, 6), spot(900, 5)}, 640, 1, -1, {spot(640, 8)}},
        PickRow{"backgroundTwoAway", L, 0, {}, {spot(640, 6), spot(900, 5)}, 640, 1, -1, {spot(642, 6)}},
        PickRow{"everythingBackgroundLeavesTheWidest", L, 0, {}, {spot(640, 6), spot(900, 5)}, 640, 1, -1,
                {spot(640, 6), spot(900, 5)}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FalsePotDel, PointIndexOutsideTheGridIsRefused)
{
    BackgroundList background;
    PointTable table;
    SpotReport spots = report({spot(600)});
    EXPECT_EQ(FalsePotDel(background, spots, Side::Left, 0, table, 16, SpotMode::Capture, 0).flag, 0);
}
