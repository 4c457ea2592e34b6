#include "calibration/math/SpotSelect.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace tovrin::calib;

namespace {

Spot spot(int pos, int width = 10, int strength = 100)
{
    return {static_cast<std::uint16_t>(pos), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(strength), 1};
}

SpotReport report(std::initializer_list<Spot> spots)
{
    SpotReport r;
    for (const Spot& s : spots)
        r.spots[static_cast<std::size_t>(r.count++)] = s;
    return r;
}

// The baseline of FalsePotDel cases: capture mode, nothing captured yet.
struct Pick {
    BackgroundList background;
    PointTable table;
    SpotReport spots;
    Side side = Side::Left;
    int index = 5;
    SpotMode mode = SpotMode::Capture;
    int variant = 0;
    Spot run() { return FalsePotDel(background, spots, side, columnTypeOf16(index), table, index, mode, variant); }
};

void setPoint(PointTable& t, int index, int pos)
{
    t.position[static_cast<std::size_t>(index)] = static_cast<std::uint16_t>(pos);
    t.set[static_cast<std::size_t>(index)] = true;
}

} // namespace

// --- vote and sort -----------------------------------------------------------

TEST(VoteAndSort, EqualVotesGoToTheLargerPosition)
{
    TouchHistory h;
    h.push(report({spot(400, 8, 50)}));
    h.push(report({spot(401, 12, 70)}));
    h.push(report({spot(399, 9, 60)}));
    h.push(report({spot(400, 7, 40)}));
    h.push(report({spot(401, 6, 30)}));
    h.push(report({spot(399, 5, 20)}));  // newest 399: 398 none, 399 twice, 400 twice
    const SpotReport out = VoteAndSort(h);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(out.spots[0].position, 400);  // newest at 399: p + 1 wins the tie
    EXPECT_EQ(out.spots[0].width, 8);       // widest and strongest seen at 400
    EXPECT_EQ(out.spots[0].strength, 50);
    EXPECT_EQ(out.spots[0].flag, 1);
}

TEST(VoteAndSort, StrictMajorityWins)
{
    TouchHistory h;
    for (int i = 0; i < 5; ++i)
        h.push(report({spot(299, 4, 10)}));
    h.push(report({spot(300, 3, 90)}));
    h.push(report({spot(300, 3, 90)}));
    h.push(report({spot(301)}));
    h.push(report({spot(300, 3, 90)}));
    const SpotReport out = VoteAndSort(h);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(out.spots[0].position, 299);
    EXPECT_EQ(out.spots[0].strength, 10);
}

TEST(VoteAndSort, PositionBeatsNextOnlyWithMoreVotes)
{
    TouchHistory h;
    h.push(report({spot(501)}));
    h.push(report({spot(500)}));
    h.push(report({spot(500)}));
    EXPECT_EQ(VoteAndSort(h).spots[0].position, 500);
}

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

// --- FalsePotDel: range test -------------------------------------------------

struct RangeRow {
    const char* name;
    int position;
    bool kept;
};

class FalsePotDelRange : public testing::TestWithParam<RangeRow> {};

TEST_P(FalsePotDelRange, LimitsAre51And1220)
{
    Pick p;
    p.index = 5;
    p.spots = report({spot(GetParam().position)});
    const Spot s = p.run();
    EXPECT_EQ(s.flag, GetParam().kept ? 1 : 0);
    EXPECT_EQ(p.table.set[5], GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Rows, FalsePotDelRange,
                         testing::Values(RangeRow{"at50", 50, false}, RangeRow{"at51", 51, true},
                                         RangeRow{"at1219", 1219, true}, RangeRow{"at1220", 1220, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FalsePotDel, FarPointCapturedLimitsTheRange)
{
    Pick p;
    setPoint(p.table, 3, 1100);  // left camera's far point
    p.index = 7;
    p.spots = report({spot(1100)});
    EXPECT_EQ(p.run().flag, 0);
    p.spots = report({spot(1099)});
    EXPECT_EQ(p.run().flag, 1);
    // Release mode ignores the captured limit and stores nothing.
    Pick q;
    setPoint(q.table, 3, 1100);
    q.index = 7;
    q.mode = SpotMode::Release;
    q.spots = report({spot(1150)});
    EXPECT_EQ(q.run().flag, 1);
    EXPECT_FALSE(q.table.set[7]);
}

TEST(FalsePotDel, RightFarPointBeyondEveryLimitTakesTheSpotNearestTheMiddle)
{
    Pick p;
    p.side = Side::Right;
    p.index = 0;
    p.spots = report({spot(1250), spot(30), spot(1230), spot(1240)});
    const Spot s = p.run();
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.position, 1230);
    EXPECT_TRUE(p.table.set[0]);
    EXPECT_EQ(p.table.position[0], 1230);
}

TEST(FalsePotDel, NoCandidateElsewhereGivesAnUnflaggedFirstSpot)
{
    Pick p;
    p.side = Side::Right;
    p.index = 3;  // not the right camera's far point
    p.spots = report({spot(1250), spot(1230)});
    const Spot s = p.run();
    EXPECT_EQ(s.flag, 0);
    EXPECT_EQ(s.position, 1250);
    EXPECT_FALSE(p.table.set[3]);
    // No spot at all.
    Pick q;
    q.index = 3;
    EXPECT_EQ(q.run().flag, 0);
}

// --- FalsePotDel: neighbour rules --------------------------------------------

TEST(FalsePotDel, FirstRowLeftKeepsSpotsBeyondThePreviousPoint)
{
    Pick p;
    setPoint(p.table, 0, 400);
    p.index = 1;
    p.spots = report({spot(300, 20), spot(600, 10)});
    const Spot s = p.run();
    EXPECT_EQ(s.position, 600);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(p.spots.spots[0].flag, 0);  // the other one is a false spot
    EXPECT_EQ(p.table.position[1], 600);
}

TEST(FalsePotDel, FirstRowRightKeepsSpotsBeforeThePreviousPoint)
{
    Pick p;
    p.side = Side::Right;
    setPoint(p.table, 1, 800);
    p.index = 2;
    p.spots = report({spot(900, 20), spot(700, 10)});
    EXPECT_EQ(p.run().position, 700);
}

TEST(FalsePotDel, OneReferenceRuleWithNothingKeptDecidesUnflagged)
{
    Pick p;
    setPoint(p.table, 0, 900);
    p.index = 1;
    p.spots = report({spot(300, 20), spot(600, 10)});
    const Spot s = p.run();
    EXPECT_EQ(s.flag, 0);
    EXPECT_FALSE(p.table.set[1]);
}

TEST(FalsePotDel, OneReferenceRuleWithSeveralKeptFallsToTheGenericChoice)
{
    Pick p;
    setPoint(p.table, 0, 200);
    p.index = 1;
    p.spots = report({spot(300, 8), spot(600, 7)});
    const Spot s = p.run();
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.position, 600);  // nearest to the middle (640)
}

TEST(FalsePotDel, FirstColumnUnsetReferenceDoesNotDecide)
{
    Pick p;
    p.index = 4;  // point 0 not captured
    p.spots = report({spot(300, 8), spot(700, 7)});
    EXPECT_EQ(p.run().position, 700);
    Pick q;
    setPoint(q.table, 0, 500);
    q.index = 4;
    q.spots = report({spot(300, 8), spot(700, 7)});
    EXPECT_EQ(q.run().position, 300);  // below the point above
}

TEST(FalsePotDel, InnerPointLeftNarrowsWithThePointAbove)
{
    Pick p;
    setPoint(p.table, 4, 200);  // previous
    setPoint(p.table, 1, 500);  // above
    p.index = 5;
    p.spots = report({spot(100, 30), spot(450, 20), spot(800, 10)});
    EXPECT_EQ(p.run().position, 450);
    // Without the point above the second filter cannot run: generic choice.
    Pick q;
    setPoint(q.table, 4, 200);
    q.index = 5;
    q.spots = report({spot(100, 30), spot(450, 20), spot(800, 10)});
    EXPECT_EQ(q.run().position, 800);  // 160 half pixels from the middle, 450 is 190
}

TEST(FalsePotDel, InnerPointRightUsesThePointAboveWhenThePreviousIsUnset)
{
    Pick p;
    p.side = Side::Right;
    setPoint(p.table, 1, 600);
    p.index = 5;
    p.spots = report({spot(700, 20), spot(500, 10)});
    EXPECT_EQ(p.run().position, 500);
}

// --- FalsePotDel: generic choice ---------------------------------------------

TEST(FalsePotDel, SplitFingerNearTheCameraIsMerged)
{
    Pick p;
    p.index = 0;
    p.spots = report({spot(400, 12, 100), spot(430, 10, 120)});
    const Spot s = p.run();
    EXPECT_EQ(s.position, 414);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(p.spots.spots[1].flag, 0);
    EXPECT_EQ(p.table.position[0], 414);
}

TEST(FalsePotDel, MergeOnlyWithTableA)
{
    Pick p;
    p.index = 0;
    p.variant = 1;
    p.spots = report({spot(400, 12, 100), spot(430, 10, 120)});
    EXPECT_EQ(p.run().position, 430);  // nearer the middle
}

TEST(FalsePotDel, DominantSpotWins)
{
    Pick p;
    p.index = 0;
    p.spots = report({spot(200, 12), spot(640, 3)});
    EXPECT_EQ(p.run().position, 200);
    Pick q;
    q.index = 0;
    q.spots = report({spot(200, 12), spot(640, 4)});  // 12 = 3 x 4
    EXPECT_EQ(q.run().position, 200);
    Pick r;
    r.index = 0;
    r.spots = report({spot(200, 11), spot(640, 4)});
    EXPECT_EQ(r.run().position, 640);
}

TEST(FalsePotDel, FarSideDeletesSpotsNearTheAxis)
{
    Pick p;
    p.index = 15;  // left camera, last column
    p.spots = report({spot(450, 8), spot(520, 7), spot(900, 6)});
    const Spot s = p.run();
    EXPECT_EQ(s.position, 520);
    EXPECT_EQ(p.spots.spots[0].flag, 0);
}

struct BackgroundRow {
    const char* name;
    int bgPos, bgWidth;
    bool removed;
};

class FalsePotDelBackground : public testing::TestWithParam<BackgroundRow> {};

TEST_P(FalsePotDelBackground, RemovesSpotsAtBackgroundOfAlmostTheSameWidth)
{
    Pick p;
    p.index = 0;
    addBackgroundSpot(p.background, spot(GetParam().bgPos, GetParam().bgWidth));
    p.spots = report({spot(640, 6), spot(900, 5)});
    EXPECT_EQ(p.run().position, GetParam().removed ? 900 : 640);
}

INSTANTIATE_TEST_SUITE_P(Rows, FalsePotDelBackground,
                         testing::Values(BackgroundRow{"samePlace", 640, 6, true},
                                         BackgroundRow{"oneOffWidthOneMore", 641, 7, true},
                                         BackgroundRow{"twoWider", 640, 8, false},
                                         BackgroundRow{"twoAway", 642, 6, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FalsePotDel, EverythingRemovedLeavesTheWidestCandidate)
{
    Pick p;
    p.index = 0;
    addBackgroundSpot(p.background, spot(640, 6));
    addBackgroundSpot(p.background, spot(900, 5));
    p.spots = report({spot(640, 6), spot(900, 5)});
    const Spot s = p.run();
    EXPECT_EQ(s.position, 640);
    EXPECT_EQ(s.flag, 1);
    EXPECT_TRUE(p.table.set[0]);
}

TEST(FalsePotDel, MiddleTieKeepsTheFirst)
{
    Pick p;
    p.index = 0;
    p.spots = report({spot(600, 6), spot(680, 5)});
    EXPECT_EQ(p.run().position, 600);
}

TEST(FalsePotDel, PointIndexOutsideTheGridIsRefused)
{
    Pick p;
    p.index = 16;
    p.spots = report({spot(600)});
    EXPECT_EQ(FalsePotDel(p.background, p.spots, Side::Left, 0, p.table, 16, SpotMode::Capture, 0).flag, 0);
}
