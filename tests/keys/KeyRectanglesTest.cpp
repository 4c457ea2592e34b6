// From captured corners to key rectangles: the touch mapping of the stored
// calibration, the interpolation of the keys between a group's first and
// last, the key area, the record fields; and the store step refusing windows
// that cannot cover the keys.
#include "keys/core/KeyRectangles.h"
#include "keys/core/KeyStore.h"

#include "KeyTestSupport.h"
#include "calibration/math/CameraModel.h"

#include <algorithm>

using namespace tovrin;
using namespace tovrin::keys;

namespace {

struct Step {
    int a, b, k, n, expected;
};

class Interpolation : public ::testing::TestWithParam<Step> {};

TEST_P(Interpolation, RoundsToTheNearestPixel)
{
    const Step& s = GetParam();
    EXPECT_EQ(interpolate(s.a, s.b, s.k, s.n), s.expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, Interpolation,
                         ::testing::Values(Step{0, 10, 1, 3, 5}, Step{0, 10, 2, 3, 10}, Step{0, 10, 0, 3, 0},
                                           Step{0, 5, 1, 3, 3},     // 2.5 up
                                           Step{0, -5, 1, 3, -3},   // -2.5 away from zero
                                           Step{0, -10, 1, 4, -3},  // -3.33
                                           Step{100, 107, 1, 4, 102}, Step{-40, -20, 3, 5, -25}, Step{7, 9, 1, 1, 7}));

TEST(KeyRectangles, AGroupOfOneAndAGroupOfFive)
{
    KeyConfiguration c;
    c.edge(kEdgeLeft) = {2, {1, 5, 0}};
    KeyDepiction d = layOutKeys(c, 1920, 1080);
    ASSERT_EQ(d.targets.size(), 6u);
    // The single key, then the five keys' first and last.
    d.targets[0].measured = QPoint(-40, 10);
    d.targets[1].measured = QPoint(-8, 60);
    d.targets[2].measured = QPoint(-40, 100);
    d.targets[3].measured = QPoint(-8, 150);
    d.targets[4].measured = QPoint(-36, 500);
    d.targets[5].measured = QPoint(-4, 550);
    const EdgeRects rects = buildKeyRectangles(d);
    EXPECT_EQ(rects[kEdgeLeft - 1], (std::vector<records::KeyRect>{{-40, 10, -8, 60},
                                                                    {-40, 100, -8, 150},
                                                                    {-39, 200, -7, 250},
                                                                    {-38, 300, -6, 350},
                                                                    {-37, 400, -5, 450},
                                                                    {-36, 500, -4, 550}}));
    EXPECT_TRUE(rects[kEdgeRight - 1].empty());
}

// x from, x to, y from, y to.
std::array<int, 4> spanOf(const KeyArea& a) { return {a.xmin, a.xmax, a.ymin, a.ymax}; }

TEST(KeyRectangles, TheKeyAreaReachesThePictureWhereNoKeysAre)
{
    EdgeRects rects;
    EXPECT_EQ(spanOf(keyArea(rects, 1920, 1080)), (std::array<int, 4>{0, 1920, 0, 1080}));
    rects[kEdgeLeft - 1] = {{-30, 10, -5, 60}, {-42, 900, -9, 950}};
    rects[kEdgeRight - 1] = {{1930, 10, 1961, 60}, {1928, 900, 1955, 950}};
    rects[kEdgeBottom - 1] = {{1300, 1090, 1400, 1110}, {1500, 1092, 1600, 1117}};
    rects[kEdgeTop - 1] = {{1880, -30, 1900, -12}};
    EXPECT_EQ(spanOf(keyArea(rects, 1920, 1080)), (std::array<int, 4>{-42, 1961, -30, 1117}));
}

TEST(KeyRectangles, TheLayoutGoesIntoTheSlaveRecord)
{
    records::CalInfo slave;
    slave.solution.r_fix = 1024;
    slave.solution.LCam.L_A = 3;
    slave.LeftKeyPosition[7] = {1, 2, 3, 4};  // left over from an older layout
    EdgeRects rects;
    rects[kEdgeLeft - 1] = {{-30, 10, -5, 60}};
    rects[kEdgeBottom - 1] = {{1300, 1090, 1400, 1110}, {1500, 1092, 1600, 1117}};
    applyKeyLayout(slave, rects);
    EXPECT_EQ(slave.keySolution, slave.solution);
    EXPECT_EQ(slave.leftKeyCount, 1);
    EXPECT_EQ(slave.bottomKeyCount, 2);
    EXPECT_EQ(slave.rightKeyCount, 0);
    EXPECT_EQ(slave.topKeyCount, 0);
    EXPECT_EQ(slave.LeftKeyPosition[0], (records::KeyRect{-30, 10, -5, 60}));
    EXPECT_EQ(slave.LeftKeyPosition[7], records::KeyRect{});
    EXPECT_EQ(slave.BottomKeyPosition[1], (records::KeyRect{1500, 1092, 1600, 1117}));
}

// The stored calibration of a frame maps what its cameras see back to the
// finger, also outside the picture.
TEST(KeyRectangles, CornersMapThroughTheStoredCalibration)
{
    const calib::CameraModel model(calib::CameraModel::typical(1920, 1080));
    records::CalInfo record;
    record.solution = model.idealBlock();
    record.P_Pos = records::kPPosA;
    const calib::TouchMapper mapper = mapperOfRecord(record);
    std::vector<KeyTarget> targets(3);
    std::vector<int32_t> left, right;
    for (auto [x, y] : {std::pair{-20.0, 300.0}, std::pair{1940.0, 700.0}, std::pair{1500.0, 1100.0}}) {
        left.push_back(*model.reportedPosition(calib::Camera::Left, x, y));
        right.push_back(*model.reportedPosition(calib::Camera::Right, x, y));
    }
    ASSERT_TRUE(mapTargets(targets, left, right, mapper));
    EXPECT_NEAR(targets[0].measured.x(), -20, 2);
    EXPECT_NEAR(targets[0].measured.y(), 300, 2);
    EXPECT_NEAR(targets[1].measured.x(), 1940, 2);
    EXPECT_NEAR(targets[2].measured.y(), 1100, 2);
}

TEST(KeyRectangles, NothingMapsWithoutAScale)
{
    records::CalInfo record;  // r_fix 0: no calibration
    std::vector<KeyTarget> targets(1);
    EXPECT_FALSE(mapTargets(targets, {400}, {400}, mapperOfRecord(record)));
    // Fewer positions than targets: refused, nothing read beyond them.
    EXPECT_FALSE(mapTargets(targets, {}, {}, mapperOfRecord(record)));
}

TEST(KeyRectangles, TheRecordsLensTableAndPlaneAreUsed)
{
    records::CalInfo record;
    record.P_Pos = records::kPPosB;
    EXPECT_EQ(mapperOfRecord(record).table.variant(), 1);
    record.P_Pos = records::kPPosA;
    EXPECT_EQ(mapperOfRecord(record).table.variant(), 0);
    // A screen too wide for the camera places is solved on a plane of half
    // its size, where its evaluation points lie; the keys' corner search
    // looks at that plane. A record whose evaluation points lie on the
    // screen itself (a wide screen calibrated with the scale squeezed
    // instead) keeps the screen.
    const auto targets = calib::screenPoints16(3840, 2160);
    record.ScreenWidth = 3840;
    record.ScreenHight = 2160;
    for (size_t i = 0; i < 16; ++i)
        record.solution.EvalPt[i] = {static_cast<int16_t>(targets[i].x / 2 + 3), static_cast<int16_t>(targets[i].y / 2)};
    EXPECT_EQ(mapperOfRecord(record).plane, 2);
    for (size_t i = 0; i < 16; ++i)
        record.solution.EvalPt[i] = {static_cast<int16_t>(targets[i].x - 5), static_cast<int16_t>(targets[i].y)};
    EXPECT_EQ(mapperOfRecord(record).plane, 1);
    // A 4-point record: its four evaluation points only.
    const auto corners = calib::screenPoints4(3840, 2160);
    std::fill(std::begin(record.solution.EvalPt), std::end(record.solution.EvalPt), records::StPoint16{});
    for (size_t i = 0; i < 4; ++i)
        record.solution.EvalPt[i] = {static_cast<int16_t>(corners[i].x / 2), static_cast<int16_t>(corners[i].y / 2)};
    EXPECT_EQ(mapperOfRecord(record).plane, 2);
    // Nothing to tell by: the screen itself.
    std::fill(std::begin(record.solution.EvalPt), std::end(record.solution.EvalPt), records::StPoint16{});
    EXPECT_EQ(mapperOfRecord(record).plane, 1);
}

TEST(KeyWindows, TheCheckWithoutTheScale)
{
    calib::CornerWindow w{true, 10, 600, 20, 610};
    EXPECT_TRUE(acceptKeyWindows(w));
    w.leftStart = 320;
    EXPECT_FALSE(acceptKeyWindows(w));
    w = {true, 10, 320, 20, 610};
    EXPECT_FALSE(acceptKeyWindows(w));
    w = {true, 10, 600, 610, 20};
    EXPECT_FALSE(acceptKeyWindows(w));
    w = {false, 10, 600, 20, 610};
    EXPECT_FALSE(acceptKeyWindows(w));
}

class KeyStoreOnFrame : public keys::test::CalibratedFrameTest {};

TEST_F(KeyStoreOnFrame, AnAreaNoColumnsSeeIsRejectedWithoutAWrite)
{
    records::CalInfo slave;
    ASSERT_TRUE(records::readCalibrationRecord(records::UnitId::Slave, slave));
    const records::CalInfo previous = slave;
    const records::CalInfo master = decoded(sim::Unit::Master);
    const auto before = frame->readFlash(sim::Unit::Slave, 0x11000, 1354);
    const KeyArea far{20000, 21000, 20000, 21000};
    EXPECT_EQ(evaluateAndStore(slave, previous, master, far, mapperOfRecord(slave), {}), StoreResult::Rejected);
    EXPECT_EQ(frame->commandsSeen(32) + frame->commandsSeen(28) + frame->commandsSeen(13) + frame->commandsSeen(9), 0u);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, 0x11000, 1354), before);
}

TEST_F(KeyStoreOnFrame, TheWindowsWidenOverTheKeys)
{
    records::CalInfo slave, master;
    ASSERT_TRUE(records::readCalibrationRecord(records::UnitId::Slave, slave));
    ASSERT_TRUE(records::readCalibrationRecord(records::UnitId::Master, master));
    const records::CalInfo previous = slave;
    const KeyArea area{-40, 1960, 0, 1120};
    ASSERT_EQ(evaluateAndStore(slave, previous, master, area, mapperOfRecord(slave), {}), StoreResult::Stored);
    const records::CalInfo newSlave = decoded(sim::Unit::Slave), newMaster = decoded(sim::Unit::Master);
    EXPECT_LE(newSlave.u10_PROJECT_START, previous.u10_PROJECT_START);
    EXPECT_LE(newMaster.u10_PROJECT_START, master.u10_PROJECT_START);
    EXPECT_TRUE(newSlave.isValid());
    EXPECT_TRUE(newMaster.isValid());
}

} // namespace
