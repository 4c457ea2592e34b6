// Device and unit-level operations: the bytes they put on the wire (codes
// and flags for both units, payload layouts, chunking) and their failure
// rules, against the frame's command table.
#include "ScriptedTransport.h"

#include "device/DeviceOps.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"


#include <gtest/gtest.h>

#include <vector>

using namespace tovrin::device;
using tovrin::testing::Bytes;
using tovrin::testing::Report;
using tovrin::testing::ScriptedTransport;

namespace {

// A present, talking frame answering every command "done".
class OpsTest : public tovrin::testing::ScriptedLinkTest {
protected:
    void SetUp() override
    {
        ScriptedLinkTest::SetUp();
        t->answerAllDone();
        g_bDevExist = 1;
        g_isDeviceCommunicate = 1;
        SelectedUnitIsSlave = 0;
        DownloadUnitIsSlave = 0;
    }
};

TEST_F(OpsTest, RegisterReadsForBothUnits)
{
    uint8_t v;
    ASSERT_TRUE(ReadRegister(0x00001234, v));
    ASSERT_TRUE(ReadRegister(0x10000035, v));
    expectSent(0, 6, {0x34, 0x12, 1, 0, 0});
    expectSent(1, 25, {0x35, 0x00, 1, 0});
}

TEST_F(OpsTest, RegisterPortReadOf122BytesIsTwoPiecesAtTheSameAddress)
{
    std::vector<uint8_t> buf(122);
    ASSERT_TRUE(ReadUnit(0x10000012, 122, buf));
    ASSERT_EQ(t->written.size(), 2u);
    for (const Report& r : t->written) {
        EXPECT_EQ(r[1], 24);
        EXPECT_EQ(Bytes(r.begin() + 2, r.begin() + 6), (Bytes{0x12, 0x00, 61, 0}));
    }
}

TEST_F(OpsTest, SlaveFlashReadOf100BytesAdvancesTheAddress)
{
    t->responder = [n = 0](const Report& out, std::deque<Report>& q) mutable {
        Report r = ScriptedTransport::doneReply(out);
        for (int i = 0; i < out[5]; ++i)
            r[3 + static_cast<size_t>(i)] = static_cast<uint8_t>(n++);
        q.push_back(r);
    };
    std::vector<uint8_t> buf(100);
    ASSERT_TRUE(ReadUnit(0x12011000, 100, buf));
    ASSERT_EQ(t->written.size(), 2u);
    expectSent(0, 29, {0x00, 0x10, 0x01, 61});
    EXPECT_EQ(payload(1, 4), (Bytes{0x3D, 0x10, 0x01, 39}));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(buf[static_cast<size_t>(i)], i);
}

TEST_F(OpsTest, SensorReadIsOneByteWhateverTheCount)
{
    std::vector<uint8_t> buf(4, 0);
    ASSERT_TRUE(ReadUnit(0x11000019, 4, buf));
    ASSERT_EQ(t->written.size(), 1u);
    expectSent(0, 27, {0x19, 0});
}

TEST_F(OpsTest, FailingSecondPieceLeavesTheWholeBufferFF)
{
    t->responder = [n = 0](const Report& out, std::deque<Report>& q) mutable {
        if (n++ == 0)
            q.push_back(ScriptedTransport::doneReply(out, {1, 2, 3}));
        else
            q.push_back(ScriptedTransport::reply(out[1], 0xFF));
    };
    std::vector<uint8_t> buf(122, 0);
    EXPECT_FALSE(ReadUnit(0x00000000, 122, buf));
    for (uint8_t b : buf)
        ASSERT_EQ(b, 0xFF);
}

TEST_F(OpsTest, CountBeyondTheBufferIsRefusedBeforeSending)
{
    std::vector<uint8_t> buf(10);
    EXPECT_FALSE(ReadUnit(0x02000000, 11, buf));
    EXPECT_FALSE(WriteUnit(0x02000000, 11, buf));
    EXPECT_FALSE(ReadToBuffer(0x02000000, 4097));
    EXPECT_TRUE(t->written.empty());
    EXPECT_TRUE(ReadUnit(0x02000000, 0, buf));  // nothing to do
}

TEST_F(OpsTest, WritesForEverySpace)
{
    const uint8_t one = 0x1F;
    ASSERT_TRUE(WriteUnit(0x00000035, 1, std::span(&one, 1)));
    expectSent(0, 4, {0x35, 0, 1, 0x1F, 0});

    std::vector<uint8_t> regs(70, 0xAA);
    ASSERT_TRUE(WriteUnit(0x10000100, 70, regs));
    expectSent(1, 23, {0x00, 0x01, 59});
    EXPECT_EQ(payload(2, 3), (Bytes{0x00, 0x01, 11}));

    ASSERT_TRUE(WriteUnit(0x11000019, 1, std::span(&one, 1)));
    expectSent(3, 26, {0x19, 0x1F, 0});
    EXPECT_EQ(IoWaitMs.load(), 20000u);

    std::vector<uint8_t> rec(32, 0x5A);
    ASSERT_TRUE(WriteUnit(0x02011020, 32, rec));
    expectSent(4, 9, {0x20, 0x10, 0x01, 32, 0x5A});
    EXPECT_EQ(t->written[4][2 + 4 + 31], 0x5A);
    EXPECT_EQ(t->written[4][2 + 4 + 32], 0);
}

TEST_F(OpsTest, LongFlashWritesAreGroupsOfPiecesAtTheirOffsets)
{
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(WriteUnit(0x12000000, 300, data));
    // 256-byte group: 58, 58, 58, 58, 24; then 44.
    std::vector<int> lengths, starts;
    for (const Report& r : t->written) {
        starts.push_back(r[2] | (r[3] << 8) | (r[4] << 16));
        lengths.push_back(r[5]);
        EXPECT_EQ(r[1], 28);
        EXPECT_EQ(r[6], static_cast<uint8_t>(starts.back()));  // first data byte = its offset
    }
    EXPECT_EQ(lengths, (std::vector<int>{58, 58, 58, 58, 24, 44}));
    EXPECT_EQ(starts, (std::vector<int>{0, 58, 116, 174, 232, 256}));
    EXPECT_EQ(IoWaitMs.load(), 3000u);
}

TEST_F(OpsTest, DownloadChannelPortsFlagsAndUnits)
{
    std::vector<uint8_t> block(62, 0x77);
    ASSERT_TRUE(WriteUnit(0x03004080, 62, block));
    EXPECT_EQ(t->written[0][1], 47 | 0x80);
    EXPECT_EQ(t->written[0][2], 0x77);
    EXPECT_EQ(t->written[0][63], 0x77);
    ASSERT_TRUE(WriteUnit(0x13008040, 10, block));
    EXPECT_EQ(t->written[1][1], 52 | 0x40);
    ASSERT_TRUE(WriteUnit(0x13004000, 10, block));
    EXPECT_EQ(t->written[2][1], 31);
    ASSERT_TRUE(WriteUnit(0x03008000, 10, block));
    EXPECT_EQ(t->written[3][1], 46);
    EXPECT_FALSE(WriteUnit(0x03002000, 10, block));
    EXPECT_EQ(t->written.size(), 4u);  // port 0x2000: nothing sent
    std::vector<uint8_t> buf(4);
    EXPECT_FALSE(ReadUnit(0x03004000, 4, buf));
    EXPECT_EQ(t->written.size(), 4u);
}

TEST_F(OpsTest, DownloadBlockFollowsTheDownloadState)
{
    std::vector<uint8_t> block(62, 1);
    DownloadUnitIsSlave = 1;
    DownloadState = 1;
    ASSERT_TRUE(DownloadBlock(block, 0x4000));
    EXPECT_EQ(DownloadState.load(), 2);
    ASSERT_TRUE(DownloadBlock(block, 0x4000));
    DownloadState = 3;
    ASSERT_TRUE(DownloadBlock(block, 0x8000));
    EXPECT_EQ(t->written[0][1], 31 | 0x80);
    EXPECT_EQ(t->written[1][1], 31);
    EXPECT_EQ(t->written[2][1], 52 | 0x40);
    EXPECT_STREQ(CurrentUnitName(), "Slave");
}

TEST_F(OpsTest, EraseAndLevelingCommands)
{
    ASSERT_TRUE(EraseFlash(0x12018000));
    expectSent(0, 32, {0x00, 0x80, 0x01, 1, 0, 0});
    uint32_t line;
    ASSERT_TRUE(SearchLine(1, 0x0102, 0x0304, line));
    expectSent(1, 36, {0x02, 0x01, 0x04, 0x03});
    ASSERT_TRUE(SetLine(0, 300));
    expectSent(2, 18, {0x2C, 0x01});
}

TEST_F(OpsTest, LineDataCodesFromRegionFlagsAndUnit)
{
    std::vector<uint8_t> buf(61);
    uint16_t total = 0;
    ASSERT_TRUE(ReadLineData(1, 0x40000000u + 61 * 10, 30, buf, total));
    expectSent(0, 0x41, {0x62, 0x02, 30});
    ASSERT_TRUE(ReadLineData(0, 0x80000010u, 61, buf, total));
    EXPECT_EQ(t->written[1][1], 0x80);
    t->answerAllDone({0x34, 0x12, 9, 8});
    ASSERT_TRUE(ReadLineData(0xC1, 0x0000003B, 59, buf, total));
    EXPECT_EQ(t->written[2][1], 0xC1);
    EXPECT_EQ(total, 0x1234);
    EXPECT_EQ(buf[0], 9);
    ASSERT_TRUE(ReadLineData(0xC0, 0, 59, buf, total));
    EXPECT_EQ(t->written[3][1], 0xC0);
}

TEST_F(OpsTest, ZonesExposureAndTouches)
{
    t->responder = [](const Report& out, std::deque<Report>& q) {
        switch (out[1]) {
        case 39:
            q.push_back(ScriptedTransport::doneReply(out, {0x22, 1, 2, 3, 4, 5, 6, 7, 0x21, 0x43, 0x65, 0x07}));
            break;
        case 42:
            q.push_back(ScriptedTransport::doneReply(out, {0x34, 0x12, 40, 0, 0x58, 0x02}));
            break;
        case 30:
            q.push_back(ScriptedTransport::doneReply(out, {7, 0x10, 0x02, 12, 0, 200, 0x11, 0x02, 6, 0, 90}));
            break;
        default:
            q.push_back(ScriptedTransport::doneReply(out));
        }
    };
    ZoneTable zones;
    ASSERT_TRUE(ReadZones(1, zones));
    EXPECT_EQ(zones[0].position, 10);
    EXPECT_EQ(zones[6].position, 70);
    EXPECT_EQ(zones[7].position, 639);
    EXPECT_EQ(zones[0].code, 1);
    EXPECT_EQ(zones[1].code, 2);
    EXPECT_EQ(zones[6].code, 7);
    EXPECT_EQ(zones[7].code, 0);

    uint8_t hi, lo;
    uint32_t s, e;
    ASSERT_TRUE(ReadExposure(0, hi, lo, s, e));
    EXPECT_EQ(hi, 0x12);
    EXPECT_EQ(lo, 0x34);
    EXPECT_EQ(s, 40u);
    EXPECT_EQ(e, 600u);

    TouchReport tr;
    EXPECT_EQ(ReadTouchPoints(0, 5, 0x01020304, 255, tr), 1);
    EXPECT_EQ(payload(2, 7), (Bytes{0, 5, 4, 3, 2, 1, 255}));
    EXPECT_EQ(tr.masterCount(), 5);  // a count above 5 is cut to 5
    EXPECT_EQ(tr.slaveCount(), 0);
    EXPECT_EQ(tr.touchState, 3);
    EXPECT_EQ(tr.master[0].position, 0x210);
    EXPECT_EQ(tr.master[0].width, 12);
    EXPECT_EQ(tr.master[0].strength, 200);
    EXPECT_EQ(tr.master[1].position, 0x211);
}

TEST_F(OpsTest, FailureFills)
{
    t->responder = nullptr;  // no reply at all
    uint8_t v = 0;
    EXPECT_FALSE(ReadRegister(0x12, v));
    EXPECT_EQ(v, 0xFF);
    uint32_t line = 0, s = 0, e = 0;
    EXPECT_FALSE(SearchLine(0, 1, 2, line));
    EXPECT_EQ(line, 65535u);
    EXPECT_FALSE(ReadLineRange(0, s, e));
    EXPECT_EQ(s, 65535u);
    EXPECT_EQ(e, 65535u);
    ZoneTable zones;
    EXPECT_FALSE(ReadZones(0, zones));
    EXPECT_EQ(zones[3].reserved[2], 0xFFFF);
    uint8_t hi = 0, lo = 0;
    EXPECT_FALSE(ReadExposure(0, hi, lo, s, e));
    EXPECT_EQ(hi, 0xFF);
    EXPECT_EQ(lo, 0xFF);
    TouchReport tr;
    EXPECT_EQ(ReadTouchPoints(0, 0, 0, 0, tr), 3);
}

TEST_F(OpsTest, ZonesWithoutTheMarkerByteFail)
{
    t->answerAllDone({0x21, 1});
    ZoneTable zones;
    EXPECT_FALSE(ReadZones(0, zones));
    EXPECT_EQ(zones[0].position, 0xFFFF);
}

TEST_F(OpsTest, NoReplyMarksTheFrameGoneButARefusalDoesNot)
{
    t->answerAll(0xFF);
    EXPECT_FALSE(ReadToBuffer(0x02011000, 16));
    EXPECT_EQ(g_bDevExist.load(), 1);
    EXPECT_EQ(SharedBufferValid.load(), 0);
    t->responder = nullptr;
    EXPECT_FALSE(ReadToBuffer(0x12011000, 16));
    EXPECT_EQ(g_bDevExist.load(), 0);
    EXPECT_EQ(g_isDeviceCommunicate.load(), 0);
    EXPECT_STREQ(CurrentUnitName(), "Slave");
}

TEST_F(OpsTest, PortReadNeverMarksGone)
{
    t->responder = nullptr;
    uint8_t v;
    EXPECT_FALSE(PortRead(0x12, 1, v));
    EXPECT_EQ(g_bDevExist.load(), 1);
}

TEST_F(OpsTest, UnplugDuringAMultiPieceReadFailsAndMarksGone)
{
    t->goneAtWrite = 3;
    std::vector<uint8_t> buf(4096, 0);
    EXPECT_FALSE(ReadToBuffer(0x02000000, 4096, buf));
    EXPECT_EQ(t->written.size(), 3u);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[4095], 0xFF);
    EXPECT_EQ(LinkState.load(), LINK_NO_REPLY);
    EXPECT_EQ(g_bDevExist.load(), 0);
}

TEST_F(OpsTest, RegisterPageBookkeepingAndSelectedUnit)
{
    t->answerAllDone({0x5C});
    SelectedUnitIsSlave = 1;
    uint8_t v = 0;
    ASSERT_TRUE(RegisterRead(53, false, v));
    EXPECT_EQ(t->written[0][1], 25);
    EXPECT_EQ(LastRegAddress.load(), 0x10000035u);
    EXPECT_EQ(LastRegValue.load(), 0x5C);
    EXPECT_EQ(LastRegOk.load(), 1);
    ASSERT_TRUE(PortWrite(53, 0x1F, 1, false));
    EXPECT_EQ(t->written[1][1], 23);
    EXPECT_EQ(LastRegAddress.load(), 53u);  // stored without the unit bit it added
    ASSERT_TRUE(I2cRead(0x0A, 1, v));
    EXPECT_EQ(t->written[2][1], 27);
    EXPECT_EQ(LastRegAddress.load(), 0x1100000Au);
    ASSERT_TRUE(I2cWrite(0x19, 1, 0x3A));
    EXPECT_EQ(payload(3, 2), (Bytes{0x19, 0x3A}));
    // A count above 1: the value is written once per byte of the count.
    ASSERT_TRUE(PortWrite(0x10000040, 0x0F, 3, true));
    EXPECT_EQ(payload(4, 6), (Bytes{0x40, 0x00, 3, 0x0F, 0x0F, 0x0F}));
}

TEST_F(OpsTest, BurstReadsAppendToTheSameFileAndStartAnotherAnew)
{
    const tovrin::test::InTemporaryFolder folder;
    t->responder = [n = 0](const Report& out, std::deque<Report>& q) mutable {
        q.push_back(ScriptedTransport::doneReply(out, {static_cast<uint8_t>(++n), 0xAA}));
    };
    ASSERT_TRUE(BurstReadToFile(0x02000000, 2, "a.bin"));
    ASSERT_TRUE(BurstReadToFile(0x02000000, 2, "a.bin"));
    ASSERT_TRUE(BurstReadToFile(0x02000000, 2, "b.bin"));
    EXPECT_EQ(tovrin::test::readFile("a.bin"), QByteArray("\x01\xAA\x02\xAA", 4));
    EXPECT_EQ(tovrin::test::readFile("b.bin"), QByteArray("\x03\xAA", 2));
    // Writing from a file that is missing or too short sends nothing.
    const size_t before = t->written.size();
    EXPECT_FALSE(BurstWriteFromFile(0x02000000, 8, "missing.bin"));
    EXPECT_FALSE(BurstWriteFromFile(0x02000000, 8, "b.bin"));
    EXPECT_EQ(t->written.size(), before);
    ASSERT_TRUE(BurstWriteFromFile(0x02000100, 2, "b.bin"));
    EXPECT_EQ(payload(before, 6), (Bytes{0x00, 0x01, 0x00, 2, 0x03, 0xAA}));
}

} // namespace
