// The key chooser: which of a camera's spots is the finger on a key.
#include "keys/core/KeyChooser.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace tovrin;
using namespace tovrin::keys;
using calib::Side;

namespace {

struct S {
    uint16_t position, width;
};

calib::SpotReport spots(std::vector<S> list)
{
    calib::SpotReport r;
    r.count = static_cast<int>(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        r.spots[i] = {list[i].position, list[i].width, 100, 1};
    return r;
}

struct Row {
    const char* name;
    std::vector<S> spots;
    Side side;
    int edgeType;
    std::optional<int> expected;
};

class Chooser : public ::testing::TestWithParam<Row> {};

TEST_P(Chooser, PicksTheKeySpot)
{
    const Row& row = GetParam();
    calib::SpotReport r = spots(row.spots);
    EXPECT_EQ(chooseKeySpot(r, row.side, row.edgeType), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Chooser,
    ::testing::Values(
        // Two spots below 201: the outer one (larger position) is the key.
        Row{"two_at_the_bezel_take_the_larger", {{150, 4}, {180, 3}}, Side::Left, kLeftKeys, 180},
        Row{"order_does_not_matter_at_the_bezel", {{180, 3}, {150, 4}}, Side::Left, kLeftKeys, 180},
        Row{"nothing_reported", {}, Side::Left, kLeftKeys, std::nullopt},
        // Near camera keeps 0-900, far camera 600-1220.
        Row{"near_camera_ignores_the_far_part", {{950, 12}}, Side::Left, kLeftKeys, std::nullopt},
        Row{"near_camera_edge_900_kept", {{900, 2}}, Side::Left, kLeftKeys, 900},
        Row{"far_camera_ignores_the_near_part", {{599, 12}}, Side::Right, kLeftKeys, std::nullopt},
        Row{"far_camera_edge_600_and_1220_kept", {{600, 2}}, Side::Right, kLeftKeys, 600},
        Row{"far_camera_beyond_1220", {{1221, 2}}, Side::Right, kLeftKeys, std::nullopt},
        Row{"right_keys_near_is_the_right_camera", {{300, 5}}, Side::Right, kRightKeys, 300},
        Row{"right_keys_far_is_the_left_camera", {{300, 5}}, Side::Left, kRightKeys, std::nullopt},
        Row{"across_keys_near_is_the_right_camera", {{850, 5}}, Side::Right, kAcrossKeys, 850},
        // Top keys: both cameras look along the top edge; the Slave camera
        // sees a key in the middle of it at about 1029 to 1160.
        Row{"top_keys_far_for_the_right_camera", {{1029, 6}}, Side::Right, kTopKeys, 1029},
        Row{"top_keys_far_for_the_left_camera", {{1150, 6}}, Side::Left, kTopKeys, 1150},
        Row{"top_keys_not_near_the_right_camera", {{450, 12}}, Side::Right, kTopKeys, std::nullopt},
        Row{"one_kept_among_others", {{100, 30}, {1000, 6}}, Side::Right, kLeftKeys, 1000},
        // Several kept, at most one at the bezel: the widest if 10 or wider.
        Row{"widest_of_ten_or_more", {{400, 6}, {500, 12}, {700, 11}}, Side::Left, kLeftKeys, 500},
        Row{"equal_widths_the_later_wins", {{400, 12}, {500, 12}}, Side::Left, kLeftKeys, 500},
        Row{"one_bezel_spot_is_not_enough", {{150, 4}, {500, 10}}, Side::Left, kLeftKeys, 500},
        // Narrow spots: the one nearest the middle of the line (640 half pixels).
        Row{"narrow_nearest_the_middle", {{300, 4}, {700, 5}, {620, 3}}, Side::Left, kLeftKeys, 620},
        Row{"half_pixels_count", {{641, 3}, {640, 3}}, Side::Left, kLeftKeys, 640},
        Row{"equal_distance_the_first_stays", {{630, 3}, {650, 3}}, Side::Left, kLeftKeys, 630}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(KeyChooser, FlagsTheKeptSpots)
{
    calib::SpotReport r = spots({{100, 3}, {950, 8}, {300, 4}});
    chooseKeySpot(r, Side::Left, kLeftKeys);
    EXPECT_EQ(r.spots[0].flag, 1);
    EXPECT_EQ(r.spots[1].flag, 0);
    EXPECT_EQ(r.spots[2].flag, 1);
}

TEST(KeyChooser, EdgeTypes)
{
    EXPECT_EQ(keyEdgeType(1), kLeftKeys);
    EXPECT_EQ(keyEdgeType(2), kRightKeys);
    EXPECT_EQ(keyEdgeType(3), kAcrossKeys);
    EXPECT_EQ(keyEdgeType(4), kTopKeys);
}

TEST(KeyChooser, AnImpossibleCountStaysInsideTheFiveSpots)
{
    calib::SpotReport r = spots({{620, 3}, {700, 3}});
    r.count = 200;
    chooseKeySpot(r, Side::Left, kLeftKeys);  // reads five spots, no more
    r.count = -3;
    EXPECT_FALSE(chooseKeySpot(r, Side::Left, kLeftKeys).has_value());
}

} // namespace
