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

TEST(KeyLayout, ThreeKeysOnTheLeftOf1080)
{
    // u = (540 / 8) / 3 = 22: keys 88 wide, 44 high, one every 66 pixels.
    const KeyDepiction d = layOutKeys(edgeWith(kEdgeLeft, {3}), 1920, 1080);
    ASSERT_EQ(d.keyCount(kEdgeLeft), 3);
    EXPECT_EQ(keyUnit(1080, 3), 22);
    for (int k = 0; k < 3; ++k) {
        const QRect& r = d.edgeKeys(kEdgeLeft)[static_cast<size_t>(k)];
        EXPECT_EQ(r.width(), 88);
        EXPECT_EQ(r.height(), 44);
        EXPECT_EQ(r.x(), 480 - 88 - 20);
        EXPECT_EQ(r.x() + r.width(), 480 - 20);
        EXPECT_EQ(r.y(), 270 + 66 * k);
    }
    EXPECT_EQ(d.projection, QRect(QPoint(480, 270), QPoint(1440, 810)));
}

TEST(KeyLayout, RightKeysStartBesideTheProjectionArea)
{
    const KeyDepiction d = layOutKeys(edgeWith(kEdgeRight, {2}), 1920, 1080);
    EXPECT_EQ(d.edgeKeys(kEdgeRight)[0], QRect(1440 + 20, 270, 88, 44));
}

TEST(KeyLayout, ManyKeysShrinkTheUnit)
{
    // Twenty keys: u = (540 / 20) / 3 = 9.
    const KeyDepiction d = layOutKeys(edgeWith(kEdgeLeft, {20}), 1920, 1080);
    EXPECT_EQ(d.edgeKeys(kEdgeLeft)[1].y() - d.edgeKeys(kEdgeLeft)[0].y(), 27);
    EXPECT_EQ(d.edgeKeys(kEdgeLeft)[0].width(), 36);
}

TEST(KeyLayout, GroupsAreSetApart)
{
    // Groups of 2, 2 and 1 on the left of 1080: u = 22, one extra u before
    // the second group and two more before the third.
    const KeyDepiction d = layOutKeys(edgeWith(kEdgeLeft, {2, 2, 1}), 1920, 1080);
    const auto& k = d.edgeKeys(kEdgeLeft);
    ASSERT_EQ(k.size(), 5u);
    EXPECT_EQ(k[1].y() - k[0].y(), 66);
    EXPECT_EQ(k[2].y() - k[1].y(), 66 + 22);
    EXPECT_EQ(k[3].y() - k[2].y(), 66);
    EXPECT_EQ(k[4].y() - k[3].y(), 66 + 44);
}

TEST(KeyLayout, BottomAndTopKeysRunAlongTheWidth)
{
    KeyConfiguration c = edgeWith(kEdgeBottom, {2});
    c.edge(kEdgeTop) = {1, {1, 0, 0}};
    const KeyDepiction d = layOutKeys(c, 1920, 1080);
    // u = (960 / 8) / 3 = 40: 80 long, u deep, first at W / 4.
    EXPECT_EQ(d.edgeKeys(kEdgeBottom)[0], QRect(480, 810 + 20, 80, 40));
    EXPECT_EQ(d.edgeKeys(kEdgeBottom)[1], QRect(480 + 120, 830, 80, 40));
    EXPECT_EQ(d.edgeKeys(kEdgeTop)[0], QRect(480, 270 - 40 - 20, 80, 40));
}

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
