// The printed shortcut keys lie where both cameras can take them: on every
// edge, for every optics variant, each key corner falls inside the parts of
// both cameras' lines the key calibration looks at for that edge (the top
// keys along the top edge, which both cameras look along).
#include "sim/Fingers.h"
#include "sim/KeyPanel.h"

#include <gtest/gtest.h>

namespace tovrin::sim {
namespace {

class KeyPlaces : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyPlaces, EveryEdgeHasKeysBothCamerasTake)
{
    Fingers fingers;
    fingers.setOptics(*opticsVariant(GetParam()));
    KeyPanel panel(fingers);
    panel.printKeys({std::vector<int>{3, 2}, std::vector<int>{4}, std::vector<int>{2}, std::vector<int>{2}});
    const Optics optics = fingers.optics(0);
    for (int edge = 1; edge <= 4; ++edge) {
        const auto keys = panel.printedKeys(edge);
        ASSERT_EQ(keys.size(), edge == 1 ? 5u : edge == 2 ? 4u : 2u) << "edge " << edge;
        for (const PrintedKey& k : keys) {
            for (auto [x, y] : {std::pair{k.left, k.top}, std::pair{k.right, k.bottom}}) {
                const auto left = optics.position(Side::Left, x, y);
                const auto right = optics.position(Side::Right, x, y);
                ASSERT_TRUE(left && right) << "edge " << edge << " at " << x << ", " << y;
                // The camera near the keys takes 0-900, the far one 600-1220;
                // both cameras look along the top edge: both are far there.
                if (edge == 4) {
                    for (double p : {*left, *right}) {
                        EXPECT_GE(p, 600) << "top key at " << x;
                        EXPECT_LE(p, 1220) << "top key at " << x;
                    }
                    continue;
                }
                const double near = edge == 1 ? *left : *right;
                const double far = edge == 1 ? *right : *left;
                EXPECT_LE(near, 900) << "edge " << edge;
                EXPECT_GE(far, 600) << "edge " << edge;
                EXPECT_LE(far, 1220) << "edge " << edge;
            }
            // Outside the picture.
            const bool outside = k.right < 0 || k.left > optics.width() || k.bottom < 0 || k.top > optics.height();
            EXPECT_TRUE(outside) << "edge " << edge;
        }
    }
    // The top keys sit along the middle half of the top edge, where the
    // windows draw them, above the picture.
    const auto top = panel.printedKeys(4);
    EXPECT_GE(top.front().left, 0.25 * optics.width());
    EXPECT_LE(top.back().right, 0.75 * optics.width());
    EXPECT_LT(top.front().bottom, 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, KeyPlaces, ::testing::Values("nominal", "typical", "worst"));

TEST(KeyPanel, AFingerOnAKeyTargetTouchesItsCorner)
{
    Fingers fingers;
    KeyPanel panel(fingers);
    panel.printKeys({std::vector<int>{}, std::vector<int>{}, std::vector<int>{}, std::vector<int>{2}});
    FingerSettings s;
    s.autoTouch = true;
    s.jitter = 0;
    s.reactionFrames = 0;
    fingers.configure(s);
    // Top edge (4, flag 0x40), group 1 of 2 keys, corner 3: the last key's
    // bottom-right corner.
    TouchRequest q;
    q.screenPosition = 0x44u | (1u << 8) | (2u << 16) | (3u << 24);
    fingers.report(q, 0);
    const auto at = fingers.position();
    ASSERT_TRUE(at);
    EXPECT_DOUBLE_EQ(at->x, panel.printedKey(4, 2)->right);
    EXPECT_DOUBLE_EQ(at->y, panel.printedKey(4, 2)->bottom);
}

} // namespace
} // namespace tovrin::sim
