// Status decisions, mode switches and detection sequences on the simulated frame.
#ifdef TOVRIN_HAVE_SIM
#include "device/Command.h"
#include "device/Detection.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "tests/support/SimLinkTest.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace tovrin;
using namespace tovrin::device;

namespace {

std::array<uint8_t, 61> status(uint8_t state, uint32_t m, uint32_t s)
{
    std::array<uint8_t, 61> b{};
    b[0] = state;
    for (int i = 0; i < 4; ++i) {
        b[2 + i] = static_cast<uint8_t>(m >> (8 * i));
        b[6 + i] = static_cast<uint8_t>(s >> (8 * i));
    }
    return b;
}

struct DecisionRow {
    const char* name;
    uint8_t state;
    uint32_t m, s;
    int expected;
};

class Decision : public ::testing::TestWithParam<DecisionRow> {};

TEST_P(Decision, FirstRuleThatAppliesDecides)
{
    const DecisionRow& r = GetParam();
    EXPECT_EQ(decideStatus(status(r.state, r.m, r.s)), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Status, Decision,
    ::testing::Values(DecisionRow{"ready", 3, 0, 0, 0}, DecisionRow{"hardwareBit1", 3, 0x02, 0, 2},
                      DecisionRow{"hardwareBit7Slave", 3, 0, 0x80, 2}, DecisionRow{"hardwareSecondByte", 3, 0x0100, 0, 2},
                      DecisionRow{"firmwareBeforeLeveling", 3, 0x40, 0x01, 3}, DecisionRow{"notCalibrated", 3, 0, 0x40, 4},
                      DecisionRow{"notReadyState", 2, 0, 0, -1}, DecisionRow{"askAgainBit", 3, 0x0400, 0, -1},
                      DecisionRow{"faultBeatsState", 7, 0x10, 0, 2}, DecisionRow{"upperBytesIgnored", 3, 0xFFFF0000, 0, 0}),
    [](const auto& row) { return std::string(row.param.name); });

struct VersionRow {
    const char* name;
    uint32_t m, s;
    bool match;
};
class Versions : public ::testing::TestWithParam<VersionRow> {};
TEST_P(Versions, MatchRule)
{
    EXPECT_EQ(versionsMatch(GetParam().m, GetParam().s), GetParam().match);
}
INSTANTIATE_TEST_SUITE_P(Firmware, Versions,
                         ::testing::Values(VersionRow{"oneOneBothInRange", 0x01010064, 0x01010046, true},
                                           VersionRow{"masterBuildTooHigh", 0x01010082, 0x01010046, false},
                                           VersionRow{"slaveOtherMinor", 0x01010064, 0x01020046, false},
                                           VersionRow{"majorZeroCountsAsOne", 0x00020005, 0x03020009, true},
                                           VersionRow{"majorZeroOneOne", 0x00010040, 0x0101007F, true},
                                           VersionRow{"minorThree", 0x01030000, 0x01020000, false},
                                           VersionRow{"erased", 0xFFFFFFFF, 0xFFFFFFFF, false}),
                         [](const auto& row) { return std::string(row.param.name); });

// A factory-calibrated frame; device waits take no time.
class OnFrame : public tovrin::test::SimLinkTest {
protected:
    void SetUp() override
    {
        setSleeper([](int) {});
        SimLinkTest::SetUp();
        g_ErrorCodeM = 0;
        g_ErrorCodeS = 0;
    }
    void TearDown() override
    {
        SimLinkTest::TearDown();
        setSleeper({});
    }
    void prepare(sim::SimulatedFrame& f) override { sim::writeFactoryContents(f); }
};

TEST_F(OnFrame, TestCommunicationReadyAndExtendedFrame)
{
    frame->setExtendedFrame(true);
    EXPECT_EQ(TestCommunication(), 0);
    EXPECT_EQ(g_getStatusError.load(), 0);
    EXPECT_EQ(ExtendedFrameDevice.load(), 1);
}

TEST_F(OnFrame, AskedAgainTwiceEndsAsNoLinkOnceIsAnsweredAgain)
{
    frame->queueStatusAnswers({{2, 0, 0, false}, {2, 0, 0, false}});
    EXPECT_EQ(TestCommunication(), 1);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 0);
    EXPECT_EQ(frame->commandsSeen(48), 2u);
    frame->queueStatusAnswers({{3, 0x0400, 0, false}, {3, 0, 0, false}});
    EXPECT_EQ(TestCommunication(), 0);
}

TEST_F(OnFrame, NoReplyWithTimeoutIsFiveUnplugIsOne)
{
    frame->dropRepliesTo(48);
    EXPECT_EQ(TestCommunication(), 5);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 1);
    frame->clearFaults();
    frame->dropRepliesTo(48, false);
    frame->unplug();
    EXPECT_EQ(TestCommunication(), 1);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 0);
}

TEST_F(OnFrame, FaultWordsAreKept)
{
    frame->setErrorWord(sim::Unit::Slave, 0x0110);
    EXPECT_EQ(TestCommunication(), 2);
    EXPECT_EQ(g_ErrorCodeS.load(), 0x0110u);
    EXPECT_EQ(errorWordsText("Equipment anomalies. Error code: 0x%1, 0x%2"),
              "Equipment anomalies. Error code: 0x0, 0x110");
}

TEST_F(OnFrame, WorkModeRefusedWithAnInvalidRecordIsAccepted)
{
    frame->eraseSector(sim::Unit::Master, 0x11000);
    const ModeSwitchOutcome o = SwitchModeChecked(mode::Work);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.messageId, -1);
}

TEST_F(OnFrame, WorkModeRefusedWithBothRecordsValidIsAFault)
{
    frame->answerNextWithStatus(0xFF, 1, 14);
    ModeSwitchOutcome o = SwitchModeChecked(mode::Work);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messageId, 142);
    EXPECT_EQ(g_ErrorCodeM.load(), 0x80000000u);
    EXPECT_EQ(g_ErrorCodeS.load(), 0x80000000u);
    // Refused, and the records cannot be read: message 18.
    frame->answerNextWithStatus(0xFF, 1, 14);
    frame->dropRepliesTo(29);
    o = SwitchModeChecked(mode::Work);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messageId, 18);
}

TEST_F(OnFrame, CalibrationModeRetriesOnceThenReports)
{
    frame->answerNextWithStatus(0xFF, 1, 14);
    EXPECT_TRUE(SwitchModeChecked(mode::Calibration).ok);
    frame->answerNextWithStatus(0xFF, 2, 14);
    const ModeSwitchOutcome o = SwitchModeChecked(mode::Calibration);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messageId, 142);
    EXPECT_FALSE(o.frameLost);
    frame->dropRepliesTo(14);
    EXPECT_TRUE(SwitchModeChecked(mode::Calibration).frameLost);
    EXPECT_EQ(g_bDevExist.load(), 0);
    EXPECT_TRUE(SwitchModeChecked(mode::Calibration).deviceAbsent);
}

TEST_F(OnFrame, FirmwareMatchOnTheFactoryFrame)
{
    EXPECT_EQ(FirmwareMatches(), 0);
    frame->dropRepliesTo(29);
    EXPECT_EQ(FirmwareMatches(), 2);
}

// Detection, one state at a time.
class Detect : public OnFrame {
protected:
    void SetUp() override
    {
        OnFrame::SetUp();
        CloseHidDevice();
        g_bDevExist = 0;
        DeviceCheckState = kStateOpen;
        UpdateExpected = 0;
        CheckCount = 0;
    }
    std::vector<int> run(DetectionMachine& m, int steps)
    {
        codes.clear();
        for (int i = 0; i < steps; ++i)
            m.step();
        return codes;
    }
    DetectionMachine machine(DetectionMachine::Variant v = DetectionMachine::Variant::Engineering)
    {
        return DetectionMachine(v, [this](int c) { codes.push_back(c); }, nullptr);
    }
    std::vector<int> codes;
};

TEST_F(Detect, PresentAtStartThenUnpluggedThenReplugged)
{
    auto m = machine();
    EXPECT_EQ(run(m, 2), std::vector<int>{13});
    EXPECT_EQ(g_bDevExist.load(), 1);
    EXPECT_EQ(run(m, 5), std::vector<int>{});  // watching quietly
    frame->unplug();
    EXPECT_EQ(run(m, 2), std::vector<int>{15});
    EXPECT_EQ(run(m, 5), std::vector<int>{});  // polling quietly
    frame->plug();
    EXPECT_EQ(run(m, 1), std::vector<int>{7});
    EXPECT_EQ(run(m, 7), std::vector<int>{});  // seven good checks
    EXPECT_EQ(run(m, 2), std::vector<int>{13});  // the eighth, then the report
}

TEST_F(Detect, BootLoaderAtStartIsReportedWithoutStatusTest)
{
    frame->reenumerate(true);
    auto m = machine();
    EXPECT_EQ(run(m, 2), std::vector<int>{14});
    EXPECT_EQ(frame->commandsSeen(48), 0u);
}

TEST_F(Detect, MissingVendorCollectionIsNoFrame)
{
    frame->setVendorCollectionPresent(false);
    auto m = machine(DetectionMachine::Variant::User);
    EXPECT_EQ(run(m, 2), std::vector<int>{15});
    EXPECT_EQ(DeviceCheckState.load(), kStatePoll);
}

TEST_F(Detect, NoBootLoaderWithinThirtyTries)
{
    auto m = machine();
    run(m, 2);
    frame->unplug();
    DeviceCheckState = kStateWaitBootLoader;
    CheckCount = 0;
    EXPECT_EQ(run(m, 29), std::vector<int>{});
    EXPECT_EQ(run(m, 2), std::vector<int>{15});
}

TEST_F(Detect, BootLoaderThenApplicationDuringAnUpdate)
{
    auto m = machine();
    run(m, 2);
    ASSERT_TRUE(Reboot(0x42));
    DeviceCheckState = kStateWaitBootLoader;
    CheckCount = 0;
    EXPECT_EQ(run(m, 2), std::vector<int>{14});
    ASSERT_TRUE(Reboot(0x55));
    DeviceCheckState = kStateWaitApplication;
    CheckCount = 0;
    EXPECT_EQ(run(m, 2), std::vector<int>{13});
}

TEST_F(Detect, LostDuringAnExpectedUpdateReportsThree)
{
    auto m = machine();
    run(m, 2);
    frame->unplug();
    UpdateExpected = 1;
    EXPECT_EQ(run(m, 3), (std::vector<int>{15, 3}));
    auto user = machine(DetectionMachine::Variant::User);
    EXPECT_EQ(run(user, 2), std::vector<int>{});  // the user tool never reports 3
    UpdateExpected = 0;
}

TEST_F(Detect, AWrongCollectionWhileWatchingIsNoFrame)
{
    auto m = machine();
    EXPECT_EQ(run(m, 2), std::vector<int>{13});
    frame->setVendorCollectionPresent(false);  // the open node now answers "wrong collection"
    EXPECT_EQ(run(m, 2), std::vector<int>{15});
    EXPECT_EQ(OpenResult.load(), 2);
    EXPECT_EQ(DeviceCheckState.load(), kStatePoll);
}

TEST_F(Detect, AFrameThatHungIsReportedAgainOnceItAnswers)
{
    auto m = machine();
    EXPECT_EQ(run(m, 2), std::vector<int>{13});
    // A read gets no reply: the frame is marked gone, but stays plugged in.
    frame->dropNextReplies(1);
    ASSERT_FALSE(ReadToBuffer(flashAddress(Unit::Master, 0x11000), 16));
    ASSERT_EQ(g_bDevExist.load(), 0);
    // Still hung: the watch asks for its status and says nothing.
    frame->dropRepliesTo(48);
    EXPECT_EQ(run(m, 3), std::vector<int>{});
    EXPECT_EQ(g_bDevExist.load(), 0);
    // It answers again: status test and report, without a replug.
    frame->dropRepliesTo(48, false);
    EXPECT_EQ(run(m, 1), std::vector<int>{13});
    EXPECT_EQ(g_bDevExist.load(), 1);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 1);
    EXPECT_EQ(g_getStatusError.load(), 0);
    EXPECT_EQ(run(m, 5), std::vector<int>{});  // and watches quietly again
}

TEST_F(Detect, AStateTheWindowSetsDuringAStepIsNotOverwritten)
{
    auto m = machine();
    EXPECT_EQ(run(m, 2), std::vector<int>{13});
    // While the watch waits, the update reboots the frame into its boot
    // loader and sets the wait for it: the check then finds the old node gone.
    bool rebooted = false;
    setSleeper([&](int) {
        if (rebooted)
            return;
        rebooted = true;
        frame->reenumerate(true);
        CheckCount = 0;
        DeviceCheckState = kStateWaitBootLoader;
    });
    EXPECT_EQ(run(m, 3), std::vector<int>{14}) << "the boot loader is found, not the frame reported lost";
    EXPECT_TRUE(rebooted);
}

// With real waits the thread is stopped in the middle of the status test
// (1 s + 2 s of waiting): it must end at once and report nothing.
TEST_F(Detect, StopFlagEndsTheThreadPromptlyEvenDuringTheStatusTest)
{
    setSleeper({});
    GetDeviceConfigThreadUser t;
    std::atomic<int> reports{0};
    QObject::connect(&t, &DetectionThread::sendShowData, [&](int) { ++reports; });
    t.startWork();
    // The frame is open and being tested once the thread is watching.
    for (int i = 0; i < 200 && DeviceCheckState.load() != kStateWatch; ++i)
        QThread::msleep(5);
    ASSERT_EQ(DeviceCheckState.load(), kStateWatch);
    t.requestStop();
    EXPECT_TRUE(t.wait(1000));  // far less than the 3 s the status test waits
    EXPECT_EQ(reports.load(), 0);
    EXPECT_EQ(DeviceCheckState.load(), kStateOpen);
}

} // namespace
#endif
