// The key layout: the arithmetic of the drawn keys (unit, pitch, group
// gaps, margins), the targets of each group, and configurations that cannot
// be laid out or stored.
#include "keys/core/KeyLayout.h"

#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin::keys;

namespace {

KeyConfiguration edgeWith(Edge e, std::initializer_list<int> groups)
{
    KeyConfiguration c;
    EdgeGroups& g = c.edge(e);
    g.groupCount = static_cast<int>(groups.size());
    int i = 0;
    for (int n : groups)
        g.keys[static_cast<size_t>(i++)] = n;
    return c;
}

// Keys 4u x 2u, 20 pixels outside the projection area, one every 3u from its
// first corner; each group set apart by one u more than the last.
struct Place {
    const char* name;
    KeyConfiguration configuration;
    Edge edge;
    std::vector<QRect> keys;
};

class KeyPlaces : public ::testing::TestWithParam<Place> {};

TEST_P(KeyPlaces, OfTheirUnitPitchAndGroup)
{
    const KeyDepiction d = layOutKeys(GetParam().configuration, 1920, 1080);
    EXPECT_EQ(d.edgeKeys(GetParam().edge), GetParam().keys);
    EXPECT_EQ(d.projection, QRect(QPoint(480, 270), QPoint(1440, 810)));
}

// `n` keys w x h at x, from y on, one every `pitch` pixels.
std::vector<QRect> column(int x, int y, int pitch, int w, int h, int n)
{
    std::vector<QRect> keys;
    for (int k = 0; k < n; ++k)
        keys.emplace_back(x, y + pitch * k, w, h);
    return keys;
}

KeyConfiguration bottomAndTop()
{
    KeyConfiguration c = edgeWith(kEdgeBottom, {2});
    c.edge(kEdgeTop) = {1, {1, 0, 0}};
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, KeyPlaces,
    ::testing::Values(
        // u = (540 / 8) / 3 = 22: keys 88 wide, 44 high, one every 66 pixels.
        Place{"ThreeOnTheLeftOf1080", edgeWith(kEdgeLeft, {3}), kEdgeLeft, column(480 - 88 - 20, 270, 66, 88, 44, 3)},
        Place{"RightBesideTheProjectionArea", edgeWith(kEdgeRight, {2}), kEdgeRight, column(1440 + 20, 270, 66, 88, 44, 2)},
        // Twenty keys: u = (540 / 20) / 3 = 9.
        Place{"ManyShrinkTheUnit", edgeWith(kEdgeLeft, {20}), kEdgeLeft, column(480 - 36 - 20, 270, 27, 36, 18, 20)},
        // Groups of 2, 2 and 1: one extra u before the second group and two more before the third.
        Place{"GroupsSetApart", edgeWith(kEdgeLeft, {2, 2, 1}), kEdgeLeft,
              {QRect(372, 270, 88, 44), QRect(372, 336, 88, 44), QRect(372, 336 + 66 + 22, 88, 44),
               QRect(372, 424 + 66, 88, 44), QRect(372, 490 + 66 + 44, 88, 44)}},
        // u = (960 / 8) / 3 = 40: 80 long, u deep, first at W / 4.
        Place{"BottomAlongTheWidth", bottomAndTop(), kEdgeBottom, {QRect(480, 810 + 20, 80, 40), QRect(480 + 120, 830, 80, 40)}},
        Place{"TopAlongTheWidth", bottomAndTop(), kEdgeTop, {QRect(480, 270 - 40 - 20, 80, 40)}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(KeyLayout, TargetsPerGroup)
{
    // A group of one key has two targets, a group of five has four; the
    // edges go left, right, bottom, top.
    KeyConfiguration c = edgeWith(kEdgeRight, {1});
    c.edge(kEdgeLeft) = {1, {5, 0, 0}};
    const KeyDepiction d = layOutKeys(c, 1920, 1080);
    ASSERT_EQ(d.targets.size(), 6u);
    const auto& left = d.edgeKeys(kEdgeLeft);
    EXPECT_EQ(d.targets[0].edge, kEdgeLeft);
    EXPECT_EQ(d.targets[0].groupKeys, 5);
    EXPECT_EQ(d.targets[0].depiction, left[0].topLeft());
    EXPECT_EQ(d.targets[1].depiction, farCorner(left[0]));
    EXPECT_EQ(d.targets[2].depiction, left[4].topLeft());
    EXPECT_EQ(d.targets[3].depiction, farCorner(left[4]));
    EXPECT_EQ(d.targets[3].index, 3);
    EXPECT_EQ(d.targets[4].edge, kEdgeRight);
    EXPECT_EQ(d.targets[4].index, 0);
    EXPECT_EQ(d.targets[5].index, 1);
    EXPECT_EQ(d.targets[5].groupKeys, 1);
}

struct BadRow {
    const char* name;
    KeyConfiguration configuration;
    LayoutCheck expected;
};

class BadConfigurations : public ::testing::TestWithParam<BadRow> {};

TEST_P(BadConfigurations, AreRefusedAndLaidOutEmpty)
{
    const BadRow& row = GetParam();
    EXPECT_EQ(checkConfiguration(row.configuration), row.expected);
    const KeyDepiction d = layOutKeys(row.configuration, 1920, 1080);
    EXPECT_TRUE(d.targets.empty());
    for (Edge e : kEdgeOrder)
        EXPECT_EQ(d.keyCount(e), 0);
    EXPECT_EQ(d.key(kEdgeLeft, 1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, BadConfigurations,
    ::testing::Values(BadRow{"no_keys", KeyConfiguration{}, LayoutCheck::NoKeys},
                      BadRow{"group_count_9", KeyConfiguration{{EdgeGroups{9, {1, 1, 1}}}}, LayoutCheck::BadGroups},
                      BadRow{"negative_group_count", KeyConfiguration{{EdgeGroups{-1, {1, 0, 0}}}}, LayoutCheck::BadGroups},
                      BadRow{"negative_group", KeyConfiguration{{EdgeGroups{2, {3, -2, 0}}}}, LayoutCheck::BadGroups},
                      BadRow{"empty_counted_group", KeyConfiguration{{EdgeGroups{2, {3, 0, 0}}}}, LayoutCheck::BadGroups},
                      BadRow{"23_left_keys", KeyConfiguration{{EdgeGroups{2, {20, 3, 0}}}}, LayoutCheck::OverCapacity},
                      BadRow{"3_bottom_keys",
                             KeyConfiguration{{EdgeGroups{}, EdgeGroups{}, EdgeGroups{1, {3, 0, 0}}}},
                             LayoutCheck::OverCapacity},
                      BadRow{"1000_keys", KeyConfiguration{{EdgeGroups{1, {1000, 0, 0}}}}, LayoutCheck::OverCapacity}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(KeyLayout, TheRecordsCapacityIsAccepted)
{
    KeyConfiguration c;
    c.edge(kEdgeLeft) = {3, {10, 10, 2}};
    c.edge(kEdgeRight) = {1, {22, 0, 0}};
    c.edge(kEdgeBottom) = {2, {1, 1, 0}};
    c.edge(kEdgeTop) = {1, {2, 0, 0}};
    EXPECT_EQ(checkConfiguration(c), LayoutCheck::Ok);
    EXPECT_EQ(layOutKeys(c, 1920, 1080).keyCount(kEdgeRight), 22);
}

TEST(KeyLayout, KeyLookupNeverLeavesTheLayout)
{
    const KeyDepiction d = layOutKeys(edgeWith(kEdgeRight, {2}), 1920, 1080);
    EXPECT_NE(d.key(kEdgeRight, 1), nullptr);
    EXPECT_NE(d.key(kEdgeRight, 2), nullptr);
    EXPECT_EQ(d.key(kEdgeRight, 3), nullptr);
    EXPECT_EQ(d.key(kEdgeRight, 0), nullptr);
    EXPECT_EQ(d.key(kEdgeLeft, 1), nullptr);
    EXPECT_EQ(d.key(5, 1), nullptr);
    EXPECT_EQ(d.key(0, 1), nullptr);
    EXPECT_EQ(d.keyAt(d.edgeKeys(kEdgeRight)[1].center()), std::make_pair(int(kEdgeRight), 2));
    EXPECT_EQ(d.keyAt(d.projection.center()), std::make_pair(0, 0));
}

TEST(KeyLayout, ReadFromTheIni)
{
    tovrin::test::InTemporaryFolder folder;
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), "[left_key]\nGroupCnt=2\nGroup1_Num=3\nGroup2_Num=x\n[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n"));
    const KeyConfiguration c = readKeyConfiguration();
    EXPECT_EQ(c.edge(kEdgeLeft).groupCount, 2);
    EXPECT_EQ(c.edge(kEdgeLeft).keys[0], 3);
    EXPECT_EQ(c.edge(kEdgeLeft).keys[1], 0);  // not a number reads 0: refused as an empty group
    EXPECT_EQ(checkConfiguration(c), LayoutCheck::BadGroups);
    EXPECT_EQ(c.edge(kEdgeBottom).keyCount(), 2);
    EXPECT_EQ(c.edge(kEdgeTop).groupCount, 0);
}

} // namespace
