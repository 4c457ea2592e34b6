// The requests of a frame on the wire, checked byte by byte against the
// frame's command table (not against the simulator): the packed form with
// its stream lengths, the plain regions, and how replies of odd lengths,
// refusals and garbage are taken.
#include "tests/device/ScriptedTransport.h"

#include "device/UnitOps.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/FrameBuffers.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LineTransfer.h"

namespace tovrin::leveling {
namespace {

using tovrin::testing::Report;
using tovrin::testing::ScriptedLinkTest;
using tovrin::testing::ScriptedTransport;

class Wire : public ScriptedLinkTest {
protected:
    void SetUp() override
    {
        ScriptedLinkTest::SetUp();
        device::g_bDevExist = 1;
        device::g_isDeviceCommunicate = 1;
        ASSERT_TRUE(frames.open());
        hooks.check = [] { return true; };
        hooks.chunkFailed = [this] { ++failedChunks; };
    }

    // Packed replies: every header reports `length`; stream bytes are a
    // pattern of one-byte items (run 1, level 1..8).
    void answerPacked(int length)
    {
        t->responder = [length](const Report& out, std::deque<Report>& q) {
            Report r = ScriptedTransport::reply(out[1] & 0x3F, 0x22);
            r[3] = static_cast<uint8_t>(length);
            r[4] = static_cast<uint8_t>(length >> 8);
            for (int i = 0; i < 59; ++i)
                r[5 + static_cast<size_t>(i)] = static_cast<uint8_t>(0x10 | (1 + (i % 8)));
            q.push_back(r);
        };
    }

    FrameBuffers frames{g_FrameReady};
    FetchHooks hooks;
    int failedChunks = 0;
};

TEST_F(Wire, PackedHeadersThenFollowUpsLineByLine)
{
    answerPacked(118);
    LineTransfer transfer(LineTransfer::Policy::Preview);
    ASSERT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::Complete);
    // Per line: Master header, Slave header, Master follow-up, Slave follow-up.
    ASSERT_EQ(t->written.size(), 9u * 4u);
    expectSent(0, 0xC0, {0x00, 0x00, 0xFF});
    expectSent(1, 0xC1, {0x00, 0x00, 0xFF});
    expectSent(2, 0xC0, {59, 0x00, 59});
    expectSent(3, 0xC1, {59, 0x00, 59});
    expectSent(4, 0xC0, {0x80, 0x02, 0xFF});
    expectSent(32, 0xC0, {0x00, 0x14, 0xFF});
}

struct LengthRow {
    const char* name;
    int length;
    size_t followUpsPerUnit;
    std::vector<uint8_t> lastFollowUp;  // offset low, high, length
};

void PrintTo(const LengthRow& r, std::ostream* os) { *os << r.name; }

class PackedLength : public Wire, public ::testing::WithParamInterface<LengthRow> {};

TEST_P(PackedLength, FollowUps)
{
    const LengthRow& row = GetParam();
    answerPacked(row.length);
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    ASSERT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::Complete);
    ASSERT_EQ(t->written.size(), 9u * (2 + 2 * row.followUpsPerUnit));
    if (!row.lastFollowUp.empty())
        expectSent(1 + 2 * row.followUpsPerUnit, 0xC1, row.lastFollowUp);
    EXPECT_EQ(g_PrevDataCmpLenS.load(), row.length);
}

INSTANTIATE_TEST_SUITE_P(Lengths, PackedLength,
                         ::testing::Values(LengthRow{"L59", 59, 0, {}}, LengthRow{"L60", 60, 1, {59, 0, 1}},
                                           LengthRow{"L118", 118, 1, {59, 0, 59}},
                                           LengthRow{"L640", 640, 10, {0x4E, 0x02, 50}}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Wire, StreamPassing640BytesStopsBeforeAskingBeyondIt)
{
    answerPacked(641);
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    EXPECT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::StreamTooLong);
    // Both headers, then the Master's nine follow-ups that fit.
    ASSERT_EQ(t->written.size(), 2u + 9u);
    for (const Report& r : t->written)
        EXPECT_LE(r[2] + (r[3] << 8) + (r[4] == 0xFF ? 0 : r[4]), 640);
}

TEST_F(Wire, GarbageLengthNeverAsksBeyondTheBuffer)
{
    answerPacked(65535);
    LineTransfer transfer(LineTransfer::Policy::Preview);
    EXPECT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::StreamTooLong);
}

TEST_F(Wire, LevelingKeepsThePreviousStreamWhenAHeaderIsRefused)
{
    answerPacked(40);
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    ASSERT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::Complete);
    const auto before = std::vector<uint8_t>(frames.working(kMaster).begin(), frames.working(kMaster).begin() + 640);
    t->answerAll(0xFF);
    EXPECT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::Complete);
    EXPECT_EQ(transfer.streamLength(kMaster), 40);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), frames.working(kMaster).begin()));
    LineTransfer preview(LineTransfer::Policy::Preview);
    EXPECT_EQ(preview.fetchCompressed(frames, hooks), FetchOutcome::Failed);
}

TEST_F(Wire, ShortStreamDecodesShortAndTheFrameGoesOn)
{
    answerPacked(3);  // three pixels, then nothing
    LineTransfer transfer(LineTransfer::Policy::Preview);
    EXPECT_EQ(transfer.fetchCompressed(frames, hooks), FetchOutcome::Complete);
    EXPECT_EQ(frames.working(kSlave)[2], 80) << "level 3";
}

TEST_F(Wire, PlainRegionsOfAnOrdinaryFrame)
{
    t->answerAllDone();
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    ASSERT_EQ(transfer.fetchPlain(frames, levelingFramePlan(9, false, false), hooks), FetchOutcome::Complete);
    ASSERT_EQ(t->written.size(), 2u * 95u);
    expectSent(0, 0x80, {0x00, 0x00, 61});
    expectSent(1, 0x81, {0x00, 0x00, 61});
    expectSent(2, 0x80, {61, 0x00, 61});
    expectSent(2 * 83, 0x80, {0xC7, 0x13, 57});
    expectSent(2 * 84, 0x40, {0x00, 0x00, 61});
    expectSent(2 * 84 + 1, 0x41, {0x00, 0x00, 61});
    expectSent(2 * 94, 0x40, {0x62, 0x02, 30});
}

TEST_F(Wire, RegionBOfAnExtendedFrameStartsAt7168)
{
    t->answerAllDone();
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    ASSERT_EQ(transfer.fetchPlain(frames, levelingFramePlan(11, true, false), hooks), FetchOutcome::Complete);
    ASSERT_EQ(t->written.size(), 2u * 116u);
    expectSent(2 * 104, 0x80, {0xC8, 0x18, 56});
    expectSent(2 * 105, 0x40, {0x00, 0x1C, 61});
}

TEST_F(Wire, RefusedMasterChunkSkipsTheSlaveAndIsReported)
{
    int n = 0;
    t->responder = [&n](const Report& out, std::deque<Report>& q) {
        q.push_back(ScriptedTransport::reply(out[1] & 0x3F, n++ == 0 ? 0xFF : 0x22));
    };
    LineTransfer transfer(LineTransfer::Policy::Leveling);
    ASSERT_EQ(transfer.fetchPlain(frames, levelingFramePlan(9, false, false), hooks), FetchOutcome::Complete);
    EXPECT_EQ(failedChunks, 1);
    EXPECT_EQ(t->written.size(), 2u * 95u - 1u);
    EXPECT_EQ(t->written[1][1], 0x80) << "the next chunk, not the Slave's";
    EXPECT_EQ(frames.working(kMaster)[0], 0xFF) << "the frame's refusal fill";
}

TEST_F(Wire, NoReplyMarksTheFrameGone)
{
    t->responder = nullptr;  // silence
    LineTransfer transfer(LineTransfer::Policy::Preview);
    EXPECT_EQ(transfer.fetchPlain(frames, levelingFramePlan(9, false, false), hooks), FetchOutcome::Failed);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 0);
    EXPECT_EQ(g_PreviewSucFlag.load(), 0);
}

TEST_F(Wire, ReplyForAnotherCommandIsNotTakenAsLineData)
{
    t->responder = [](const Report& out, std::deque<Report>& q) {
        Report foreign = ScriptedTransport::reply(5, 0x22, {0xEE, 0xEE});
        q.push_back(foreign);
        Report r = ScriptedTransport::reply(out[1] & 0x3F, 0x22);
        std::fill(r.begin() + 3, r.end(), 0x11);
        q.push_back(r);
    };
    LineTransfer transfer(LineTransfer::Policy::Preview);
    ASSERT_EQ(transfer.fetchPlain(frames, levelingFramePlan(9, false, false), hooks), FetchOutcome::Complete);
    EXPECT_EQ(frames.working(kSlave)[0], 0x11);
    EXPECT_EQ(frames.working(kSlave)[5759], 0x11);
}

} // namespace
} // namespace tovrin::leveling
