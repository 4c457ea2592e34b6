// The link when the frame misbehaves: late replies, calls that must not go
// on the wire, and failures read from the right transaction.
#ifdef TOVRIN_HAVE_SIM
#include "device/Command.h"
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
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

using namespace tovrin;
using namespace tovrin::device;

namespace {

class LinkFaults : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        setSleeper([](int) {});
        SimLinkTest::SetUp();
        frame->setFpgaRegister(sim::Unit::Master, 0x10, 0xA1);
        frame->setFpgaRegister(sim::Unit::Master, 0x11, 0xB2);
    }
    void TearDown() override
    {
        SimLinkTest::TearDown();
        setSleeper({});
    }
    // An earlier transaction that got no reply, as a timed-out read leaves it;
    // then the frame answers again and detection has it back.
    void afterAnEarlierTimeout()
    {
        frame->dropNextReplies(1);
        uint8_t v;
        ASSERT_FALSE(ReadRegister(0x10, v));
        ASSERT_EQ(LinkState.load(), LINK_NO_REPLY);
        g_bDevExist = 1;
        g_isDeviceCommunicate = 1;
    }
};

// ---- A reply that comes after its transaction gave up --------------------

TEST_F(LinkFaults, ALateReplyIsNeverTakenForTheNextCommandsReply)
{
    frame->answerLate(1);
    uint8_t v = 0;
    EXPECT_FALSE(ReadRegister(0x10, v));
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY);
    EXPECT_EQ(frame->pendingInputReports(), 1u) << "the frame answered after the host gave up";

    // Same command code: the stale reply would match it.
    ASSERT_TRUE(ReadRegister(0x11, v));
    EXPECT_EQ(v, 0xB2);
    EXPECT_EQ(lastOutcome().dropped, 1);
    ASSERT_TRUE(ReadRegister(0x10, v));
    EXPECT_EQ(v, 0xA1) << "later replies are not one behind";
    EXPECT_EQ(lastOutcome().dropped, 0);
}

// ---- Calls that cannot be sent leave the link as it is -------------------

struct NotSentCase {
    const char* name;
    std::function<bool()> call;
};

void PrintTo(const NotSentCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusedBeforeSending : public LinkFaults, public ::testing::WithParamInterface<NotSentCase> {};

TEST_P(RefusedBeforeSending, NothingGoesOutAndTheFrameIsNotMarkedGone)
{
    afterAnEarlierTimeout();
    const uint64_t sent = frame->outputReports();
    EXPECT_FALSE(GetParam().call());
    EXPECT_EQ(frame->outputReports(), sent) << "nothing on the wire";
    EXPECT_EQ(lastOutcome().kind, CommandOutcome::NotSent);
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY) << "the link state is left as it was";
    EXPECT_EQ(g_bDevExist.load(), 1);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 1);
}

const std::vector<uint8_t> kBlock63(63, 0x11);

INSTANTIATE_TEST_SUITE_P(
    Calls, RefusedBeforeSending,
    ::testing::Values(
        NotSentCase{"eraseOfARegisterAddress", [] { return EraseBlock(0x00000012); }},
        NotSentCase{"downloadBlockOver62Bytes", [] { return DownloadBlock(kBlock63, 0x4000); }},
        NotSentCase{"emptyDownloadBlock", [] { return DownloadBlock({}, 0x4000); }},
        NotSentCase{"downloadToAnotherPort",
                    [] { return WriteFromBuffer(0x03002000, std::span(kBlock63).first(10)); }},
        NotSentCase{"readOfTheDownloadChannel",
                    [] { return ReadToBuffer(0x03004000, 4); }},
        NotSentCase{"payloadOver62Bytes",
                    [] { return SendCommand(cmd::WriteRegister[0], kBlock63.data(), 63, nullptr, 0, 3000); }},
        NotSentCase{"replyOver61Bytes",
                    [] {
                        uint8_t reply[62];
                        return SendCommand(cmd::GetStatus, nullptr, 0, reply, 62, 2000);
                    }},
        NotSentCase{"packedLineDataBeyondOneReply",
                    [] {
                        std::array<uint8_t, 61> buf{};
                        uint16_t total = 0;
                        return ReadLineData(0xC0, 59, 60, buf, total);
                    }},
        NotSentCase{"lineDataOfZeroBytes",
                    [] {
                        std::array<uint8_t, 61> buf{};
                        uint16_t total = 0;
                        return ReadLineData(0, 0, 0, buf, total);
                    }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LinkFaults, AnEmptyDownloadBlockDoesNotMoveTheDownloadOn)
{
    frame->reenumerate(true);
    uint16_t pid;
    ASSERT_TRUE(OpenHidDevice(pid));
    DownloadState = 1;
    EXPECT_FALSE(DownloadBlock({}, 0x4000));
    EXPECT_EQ(DownloadState.load(), 1) << "the next block is still the first";
    DownloadState = 0;
}

// ---- Each failure is read from its own transaction -----------------------

class OwnOutcome : public LinkFaults {
protected:
    void prepare(sim::SimulatedFrame& f) override { sim::writeFactoryContents(f); }
    void SetUp() override
    {
        LinkFaults::SetUp();
        g_ErrorCodeM = 0;
        g_ErrorCodeS = 0;
    }
};

TEST_F(OwnOutcome, WorkModeAnsweredNotDoneIsNoRefusal)
{
    // An earlier command was refused; then the switch is answered "not done".
    frame->answerNextWithStatus(0xFF, 1, 6);
    uint8_t v;
    ASSERT_FALSE(ReadRegister(0x10, v));
    ASSERT_EQ(LinkState.load(), LINK_REFUSED);
    frame->answerNextWithStatus(0x21, 1, cmd::SwitchMode);
    const ModeSwitchOutcome o = SwitchModeChecked(mode::Work);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messageId, -1) << "both records are valid, but nothing was refused";
    EXPECT_FALSE(o.frameLost);
    EXPECT_EQ(g_ErrorCodeM.load(), 0u);
    EXPECT_EQ(frame->commandsSeen(cmd::ReadFlash[1]), 0u) << "the records are read only after a refusal";
}

TEST_F(OwnOutcome, CalibrationModeAnsweredNotDoneIsNoLostFrame)
{
    afterAnEarlierTimeout();
    frame->answerNextWithStatus(0x21, 2, cmd::SwitchMode);
    const ModeSwitchOutcome o = SwitchModeChecked(mode::Calibration);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messageId, 142);
    EXPECT_FALSE(o.frameLost);
    EXPECT_EQ(g_bDevExist.load(), 1);
}

TEST_F(OwnOutcome, LastOutcomeBelongsToTheCallingThread)
{
    frame->answerNextWithStatus(0xFF, 1, 6);
    uint8_t v;
    ASSERT_FALSE(ReadRegister(0x10, v));
    std::thread other([this] {
        frame->dropNextReplies(1);
        uint8_t w;
        EXPECT_FALSE(ReadRegister(0x11, w));
        EXPECT_TRUE(lastOutcome().noReply());
    });
    other.join();
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY);  // the process-wide value moved on
    EXPECT_TRUE(lastOutcome().refused()) << "this thread's failure is still a refusal";
    markGoneOnNoReply();
    EXPECT_EQ(g_bDevExist.load(), 1);
}

TEST_F(OwnOutcome, ModeSwitchWithoutReplyGivesNoValueNotOldBytes)
{
    std::array<uint8_t, 8> reply{};
    ASSERT_TRUE(SwitchMode(mode::Calibration, reply.data()));
    EXPECT_EQ(reply[0], 0x22);
    frame->dropNextReplies(1);
    reply.fill(0x5A);
    EXPECT_FALSE(SwitchMode(mode::Calibration, reply.data()));
    EXPECT_EQ(reply, (std::array<uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

} // namespace
#endif
