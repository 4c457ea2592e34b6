// The command transaction: report layout, reply matching, link state, fills.
#include "ScriptedTransport.h"

#include "device/Trace.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovrin::device;
using tovrin::testing::Report;
using tovrin::testing::ScriptedTransport;

namespace {

class CommandTest : public tovrin::testing::ScriptedLinkTest {
protected:
    uint8_t reply[61];
};

TEST_F(CommandTest, OutputReportCarriesIdCodePayloadAndZeros)
{
    t->answerAllDone();
    const uint8_t payload[3] = {0x11, 0x22, 0x33};
    ASSERT_TRUE(SendCommand(0xC1, payload, 3, reply, 0, 5000));
    ASSERT_EQ(t->written.size(), 1u);
    const Report& out = t->written[0];
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 0xC1);
    EXPECT_EQ(out[2], 0x11);
    EXPECT_EQ(out[4], 0x33);
    for (size_t i = 5; i < 64; ++i)
        EXPECT_EQ(out[i], 0) << i;
    EXPECT_EQ(IoWaitMs.load(), 5000u);
}

TEST_F(CommandTest, FlaggedCodesMatchRepliesByCommandNumber)
{
    t->answerAllDone({7});
    EXPECT_TRUE(SendCommand(0xC1, nullptr, 0, reply, 1));  // matched by 1
    EXPECT_TRUE(SendCommand(0xAF, nullptr, 0, reply, 1));  // matched by 0x2F
    EXPECT_EQ(reply[0], 7);
    EXPECT_EQ(LinkState.load(), LINK_OK);
}

TEST_F(CommandTest, ReplyWithOtherStatusFillsAndKeepsLinkState)
{
    LinkState = LINK_REFUSED;
    t->answerAll(0x21, {1, 2});
    std::fill(std::begin(reply), std::end(reply), 0);
    EXPECT_FALSE(SendCommand(5, nullptr, 0, reply, 4));
    EXPECT_EQ(reply[0], 0xFF);
    EXPECT_EQ(reply[3], 0xFF);
    EXPECT_EQ(reply[4], 0);
    EXPECT_EQ(LinkState.load(), LINK_REFUSED);  // unchanged from before the call
}

TEST_F(CommandTest, RefusalSetsRefusedAndFills)
{
    t->answerAll(0xFF);
    std::fill(std::begin(reply), std::end(reply), 0);
    EXPECT_FALSE(SendCommand(14, nullptr, 0, reply, 8));
    EXPECT_EQ(LinkState.load(), LINK_REFUSED);
    EXPECT_EQ(reply[7], 0xFF);
    EXPECT_EQ(reply[8], 0);
    // Reply length 0: nothing is filled.
    reply[0] = 0x5A;
    EXPECT_FALSE(SendCommand(14, nullptr, 0, reply, 0));
    EXPECT_EQ(reply[0], 0x5A);
}

TEST_F(CommandTest, ForeignReportsAreSkippedUpToOneHundred)
{
    int foreign = 100;
    t->responder = [&](const Report& out, std::deque<Report>& q) {
        for (int i = 0; i < foreign; ++i)
            q.push_back(ScriptedTransport::reply(static_cast<uint8_t>((out[1] + 1) & 0x3F), 0x22, {0xEE}));
        q.push_back(ScriptedTransport::reply(out[1], 0x22, {0x42}));
    };
    ASSERT_TRUE(SendCommand(6, nullptr, 0, reply, 1));
    EXPECT_EQ(reply[0], 0x42);

    foreign = 101;
    t->pending.clear();
    reply[0] = 0x5A;
    LinkState = LINK_OK;
    EXPECT_FALSE(SendCommand(6, nullptr, 0, reply, 1));
    EXPECT_EQ(reply[0], 0x5A);  // untouched
    EXPECT_EQ(LinkState.load(), LINK_OK);
}

TEST_F(CommandTest, DoneStatusForAnotherCommandIsSkipped)
{
    t->responder = [](const Report& out, std::deque<Report>& q) {
        q.push_back(ScriptedTransport::reply(9, 0x22, {1}));
        q.push_back(ScriptedTransport::reply(out[1], 0x22, {2}));
    };
    ASSERT_TRUE(SendCommand(10, nullptr, 0, reply, 1));
    EXPECT_EQ(reply[0], 2);
}

TEST_F(CommandTest, NoReplyMeansNoReplyAndTimedOut)
{
    t->responder = nullptr;
    reply[0] = 0x5A;
    EXPECT_FALSE(SendCommand(48, nullptr, 0, reply, 61));
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY);
    EXPECT_EQ(IoTimedOut.load(), 1);
    EXPECT_EQ(reply[0], 0x5A);
    // The next transaction starts clean.
    t->answerAllDone();
    EXPECT_TRUE(SendCommand(48, nullptr, 0, reply, 0));
    EXPECT_EQ(IoTimedOut.load(), 0);
    // An unplugged frame is no reply too, but no time-out.
    t->responder = nullptr;
    EXPECT_FALSE(SendCommand(48, nullptr, 0, reply, 61));
    ASSERT_EQ(IoTimedOut.load(), 1);
    LinkState = LINK_OK;
    t->gone = true;
    EXPECT_FALSE(SendCommand(48, nullptr, 0, reply, 61));
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY);
    EXPECT_EQ(IoTimedOut.load(), 0);
}

TEST_F(CommandTest, CodeFFSendsNothing)
{
    t->answerAllDone();
    LinkState = LINK_REFUSED;
    EXPECT_FALSE(SendCommand(0xFF, nullptr, 0, reply, 1));
    EXPECT_TRUE(t->written.empty());
    EXPECT_EQ(LinkState.load(), LINK_REFUSED);
}

TEST_F(CommandTest, OpenResetsLinkStateAndReportsNoDevice)
{
    LinkState = LINK_NO_REPLY;
    t->gone = true;
    uint16_t pid = 0;
    EXPECT_FALSE(OpenHidDevice(pid));
    EXPECT_EQ(pid, 255);
    EXPECT_EQ(LinkState.load(), LINK_OK);
    EXPECT_TRUE(CloseHidDevice());
    EXPECT_TRUE(CloseHidDevice());
}

TEST_F(CommandTest, WireTraceRecordsEveryReport)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/trace.txt").toStdString();
    setTraceFile(path);
    t->answerAllDone({0xAB});
    const uint8_t payload[1] = {0xFF};
    SendCommand(14, payload, 1, reply, 1);
    uint8_t feature[3];
    GetFeatureReport(7, feature);
    setTraceFile("");
    const QList<QByteArray> lines = tovrin::test::readFile(QString::fromStdString(path)).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains(" out 030eff000000")) << lines[0].constData();
    EXPECT_TRUE(lines[1].contains(" in 030e22ab00")) << lines[1].constData();
    EXPECT_TRUE(lines[2].endsWith(" feature 070205")) << lines[2].constData();
    EXPECT_EQ(lines[0].split(' ').at(2).size(), 128);
}

} // namespace
