// Feature report 7 and the key test loop; the simulated frame's printed keys
// (spots of a finger on the bezel, the key state it reports).
#include "keys/core/KeyTestThread.h"

#include "KeyTestSupport.h"
#include "sim/Fingers.h"
#include "device/DeviceOps.h"

using namespace tovrin;
using namespace tovrin::keys;

namespace {

struct ReportRow {
    const char* name;
    std::array<uint8_t, 3> report;
    bool accepted;
    PressedKey key;
};

class KeyReport : public ::testing::TestWithParam<ReportRow> {};

TEST_P(KeyReport, Decodes)
{
    const ReportRow& row = GetParam();
    PressedKey key{7, 7};
    EXPECT_EQ(decodeKeyReport(row.report.data(), key), row.accepted);
    if (row.accepted) {
        EXPECT_EQ(key, row.key);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, KeyReport,
    ::testing::Values(ReportRow{"left_1", {7, 1, 1}, true, {1, 1}},
                      ReportRow{"top_2", {7, 4, 2}, true, {4, 2}},
                      ReportRow{"number_0_clears_both", {7, 2, 0}, true, {0, 0}},
                      ReportRow{"negative_number_clears_both", {7, 3, 0xF0}, true, {0, 0}},
                      ReportRow{"edge_0", {7, 0, 0}, true, {0, 0}},
                      ReportRow{"edge_5_is_kept_as_reported", {7, 5, 1}, true, {5, 1}},
                      ReportRow{"another_report", {6, 1, 1}, false, {}},
                      ReportRow{"report_id_0", {0, 1, 1}, false, {}}),
    [](const auto& row) { return std::string(row.param.name); });

class KeyTestLoop : public keys::test::CalibratedFrameTest {};

TEST_F(KeyTestLoop, AnAnswerForAnotherReportIsAFailure)
{
    frame->setKeyState(1, 1);
    frame->keyPanel().setFeatureReportId(3);
    PressedKey key{4, 4};
    EXPECT_FALSE(readPressedKey(key));
    EXPECT_EQ(key, (PressedKey{4, 4}));  // nothing taken from it
}

TEST_F(KeyTestLoop, TheLoopSaysItRunsAndEndsWhenTheFrameIsGone)
{
    frame->setKeyState(1, 2);
    KeyTestState s;
    std::vector<int> codes;
    std::vector<PressedKey> changes;
    int polls = 0;
    runKeyTest(
        s,
        [&](int code) {
            codes.push_back(code);
            if (code == testcode::kRepaint && ++polls == 3)
                device::g_bDevExist = 0;  // the detection lost the frame
        },
        [&](const PressedKey& k) { changes.push_back(k); });
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(codes.front(), testcode::kTesting);
    EXPECT_EQ(codes.back(), testcode::kRepaint);
    EXPECT_EQ(s.pressed(), (PressedKey{1, 2}));
    ASSERT_EQ(changes.size(), 1u);  // one change, not one per poll
    EXPECT_EQ(changes[0], (PressedKey{1, 2}));
}

TEST_F(KeyTestLoop, AFailedFetchIsReportedAndPollingGoesOn)
{
    frame->keyPanel().setFeatureReportId(9);
    KeyTestState s;
    int failures = 0;
    runKeyTest(s, [&](int code) {
        if (code == testcode::kReadFailed && ++failures == 3)
            s.stop = true;
    });
    EXPECT_EQ(failures, 3);
}

// ---- The simulated frame's keys ------------------------------------------------

TEST_F(KeyTestLoop, AFingerOnTheBezelIsSeenThroughTheCameras)
{
    autoTouch(false);
    const auto key = *frame->keyPanel().printedKey(kEdgeLeft, 2);
    frame->fingers().press(key.centreX(), key.centreY());
    device::TouchReport report;
    ASSERT_EQ(device::ReadTouchPoints(0, 0, 0, 0, report), 2);
    const sim::Fingers& fingers = frame->fingers();
    EXPECT_EQ(report.masterCount(), 1);
    EXPECT_EQ(report.slaveCount(), 1);
    EXPECT_EQ(report.master[0].position, std::lround(*fingers.exactPosition(sim::Side::Left, key.centreX(), key.centreY())));
    EXPECT_EQ(report.slave[0].position, std::lround(*fingers.exactPosition(sim::Side::Right, key.centreX(), key.centreY())));
    EXPECT_GT(report.master[0].width, report.slave[0].width);  // the left camera is nearer
    // Above the cameras nothing sees the finger.
    frame->fingers().press(500, -200);
    EXPECT_EQ(device::ReadTouchPoints(0, 0, 0, 0, report), 0);
    frame->fingers().lift();
    EXPECT_EQ(device::ReadTouchPoints(0, 0, 0, 0, report), 0);
}

TEST_F(KeyTestLoop, NoStoredLayoutNoKey)
{
    // Calibrated, in work mode, a finger on a printed key: without a stored
    // layout the frame reports no key.
    autoTouch(false);
    ASSERT_TRUE(device::SwitchModeChecked(device::mode::Work).ok);
    touchKey(kEdgeRight, 1);
    PressedKey key{1, 1};
    ASSERT_TRUE(readPressedKey(key));
    EXPECT_EQ(key, PressedKey{});
}

TEST_F(KeyTestLoop, AbsurdStoredCountsReadNoFurtherThanTheRecord)
{
    // A Slave record claiming 255 keys per edge: the frame looks only at the
    // rectangles the record has room for.
    std::vector<uint8_t> r = frame->readFlash(sim::Unit::Slave, 0x11000, 1354);
    r[830] = r[831] = r[832] = r[833] = 255;
    frame->eraseSector(sim::Unit::Slave, 0x11000);
    frame->setFlash(sim::Unit::Slave, 0x11000, r);
    autoTouch(false);
    ASSERT_TRUE(device::SwitchModeChecked(device::mode::Work).ok);
    touchKey(kEdgeLeft, 1);
    PressedKey key;
    EXPECT_TRUE(readPressedKey(key));
}

} // namespace
