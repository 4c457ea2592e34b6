// Calibration, screen and version records: byte layouts checked against
// hand-built arrays at the documented offsets, the torn-write-safe save on
// the simulated frame, acceptance and widening rules.
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"

#include "device/Command.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "tests/support/SimLinkTest.h"
#include "tests/support/TemporaryFolder.h"

#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Log.h"
#include "tests/support/Files.h"


#include <gtest/gtest.h>

#include <vector>

using namespace tovrin;
using namespace tovrin::records;

namespace {

void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    put16(p, static_cast<uint16_t>(v));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}

// A record built by hand, byte by byte, and the same record as fields.
struct Sample {
    CalInfo::Bytes bytes{};
    CalInfo fields;
    Sample()
    {
        uint8_t* p = bytes.data();
        put32(p, kSensorInfoFlag);
        put16(p + 4, 321);
        put16(p + 6, 0x1234);
        put16(p + 8, 40);
        put16(p + 10, 600);
        for (int i = 0; i < 6; ++i)
            p[12 + i] = static_cast<uint8_t>(0xA0 + i);
        put16(p + 18 + 6 * 7 + 4, 777);          // st_COLUMN_PIECE[7][2]
        put16(p + 66, static_cast<uint16_t>(-160));  // LCam.Po_l4.x
        put32(p + 74, 0xFFFFF800);               // LCam.L_Angle_fix = -2048
        put32(p + 90 + 4 * (8 * 8 + 7), 0x00100000);  // X[8][7] = 1.0
        put16(p + 378 + 4 * 15 + 2, 1046);       // EvalPt[15].y
        put32(p + 442, 1024);                    // r_fix
        put16(p + 446, 1920);
        put16(p + 448, 1080);
        put32(p + 450 + 376, 999);               // key-time copy r_fix
        p[830] = 3;
        p[833] = 2;
        put16(p + 834 + 8 * 2 + 6, 55);          // LeftKeyPosition[2].bottom
        put16(p + 1202 + 8 + 0, static_cast<uint16_t>(-5));  // TopKeyPosition[1].left
        put16(p + 1218 + 2 * 67, 1258);          // P_Pos[67]

        fields.SENSORInfoFlag = kSensorInfoFlag;
        fields.startLine = 321;
        fields.exposureWord = 0x1234;
        fields.u10_PROJECT_START = 40;
        fields.u10_PROJECT_END = 600;
        fields.keptBytes = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
        fields.st_COLUMN_PIECE[7][2] = 777;
        fields.solution.LCam.Po_l4.x = -160;
        fields.solution.LCam.L_Angle_fix = -2048;
        fields.solution.X[8][7] = 0x00100000;
        fields.solution.EvalPt[15].y = 1046;
        fields.solution.r_fix = 1024;
        fields.ScreenWidth = 1920;
        fields.ScreenHight = 1080;
        fields.keySolution.r_fix = 999;
        fields.leftKeyCount = 3;
        fields.topKeyCount = 2;
        fields.LeftKeyPosition[2].bottom = 55;
        fields.TopKeyPosition[1].left = -5;
        fields.P_Pos[67] = 1258;
    }
};

TEST(CalInfoCodec, FieldsLandAtTheirOffsets)
{
    const Sample s;
    EXPECT_EQ(s.fields.encode(), s.bytes);
    EXPECT_EQ(CalInfo::decode(s.bytes), s.fields);
}

TEST(CalInfoCodec, AnyContentDecodesAndOnlyTheFlagMakesItValid)
{
    CalInfo::Bytes ff;
    ff.fill(0xFF);
    EXPECT_FALSE(CalInfo::decode(ff).isValid());
    CalInfo::Bytes zero{};
    EXPECT_FALSE(CalInfo::decode(zero).isValid());
    CalInfo::Bytes garbage;
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    const CalInfo g = CalInfo::decode(garbage);
    EXPECT_FALSE(g.isValid());
    EXPECT_EQ(g.encode(), garbage);  // nothing is lost, bytes 12-17 included
    garbage[0] = 'F';
    garbage[1] = 'I';
    garbage[2] = 'W';
    garbage[3] = 'F';
    EXPECT_TRUE(CalInfo::decode(garbage).isValid());
}

TEST(ScreenRecordCodec, LayoutAndRoundTrip)
{
    ScreenRecord r;
    r.flag = kScreenInfoFlag;
    r.Screen_Size = 3;
    r.FourCalib_en = 1;
    r.calibWayCode = 8;
    r.XPRightClickMode = 2;
    r.TouchRightClickDistThres = 10;
    r.TouchRightClickTimeThres = 0x01020304;
    const auto b = r.encode();
    EXPECT_EQ(b[0], 'F');
    EXPECT_EQ(b[3], 'A');
    EXPECT_EQ(b[4], 3);
    EXPECT_EQ(b[10], 1);
    EXPECT_EQ(b[12], 8);
    EXPECT_EQ(b[15], 0);
    EXPECT_EQ(b[17], 2);
    EXPECT_EQ(b[18], 10);
    EXPECT_EQ(b[22], 4);
    EXPECT_EQ(b[25], 1);
    EXPECT_EQ(ScreenRecord::decode(b), r);
}

TEST(Acceptance, WindowAndScaleLimits)
{
    EXPECT_TRUE(acceptNewCalibration(40, 600, 30, 610, 512));
    EXPECT_TRUE(acceptNewCalibration(40, 600, 30, 610, 2048));
    EXPECT_FALSE(acceptNewCalibration(40, 600, 30, 610, 511));
    EXPECT_FALSE(acceptNewCalibration(40, 600, 30, 610, 2049));
    EXPECT_FALSE(acceptNewCalibration(320, 600, 30, 610, 1024));
    EXPECT_FALSE(acceptNewCalibration(40, 600, 30, 320, 1024));
    EXPECT_FALSE(acceptNewCalibration(0, 0, 0, 0, 1024));  // nothing mapped inside the screen
}

TEST(Widening, StoredWindowGrowsOnlyOutward)
{
    uint16_t s = 50, e = 590;
    widenWindow(s, e, 60, 580);  // inside: unchanged
    EXPECT_EQ(s, 50);
    EXPECT_EQ(e, 590);
    widenWindow(s, e, 30, 600);
    EXPECT_EQ(s, 27);
    EXPECT_EQ(e, 603);
    s = 0;
    e = 639;
    widenWindow(s, e, 2, 500);  // start 0 and end 639 take the new window
    EXPECT_EQ(s, 2);
    EXPECT_EQ(e, 503);
    widenWindow(s, e, 500, 400);  // a window that is no window changes nothing
    EXPECT_EQ(s, 2);
}

TEST(RecordLog, StoredRecordIsDumpedLineByLine)
{
    const tovrin::test::InTemporaryFolder folder;
    setLocalNow([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 7)); });
    shell::WriteLog("start\n", true);
    Sample s;
    s.fields.P_Pos = kPPosA;
    s.fields.st_COLUMN_PIECE[2] = {7, 8, 9};
    logCalibrationRecord(s.fields, UnitId::Slave);
    const QByteArray log = tovrin::test::readFile(QString::fromStdString(shell::context().logFilePath()));
    setLocalNow({});
    const char* expected[] = {
        "(2026-3-7 09:05:07) CalInfo_R.StScreenPara.ScreenWidth=1920, CalInfo_R.StScreenPara.ScreenHight=1080\n",
        "(2026-3-7 09:05:07) CalInfo_R.SENSORInfoFlag=0x46574946\n",
        "CalInfo_R.StImageProcessPara.u10_PROJECT_START=40, CalInfo_R.StImageProcessPara.u10_PROJECT_END=600\n",
        "CalInfo_R.StImageProcessPara.st_COLUMN_PIECE[2]={8, 9, 7}\n",
        "CalInfo_R.P_Pos={10,36,62,",
        ",564,578,\n(2026-3-7 09:05:07) 592,606,",
        ",1228,1258}\n",
        "CalInfo_R.r_fix=1024\n",
        "CalInfo_R.StClbInfo.EvalPt[12]=(0,0), CalInfo_R.StClbInfo.EvalPt[13]=(0,0), "
        "CalInfo_R.StClbInfo.EvalPt[14]=(0,0), CalInfo_R.StClbInfo.EvalPt[15]=(0,1046)\n",
        "CalInfo_R.StClbInfo.X[8][0]={0, 0, 0, 0, 0, 0, 0, 1048576}\n",
        "CalInfo_R.LCam.Po_l4.x=-160, CalInfo_R.LCam.Po_l4.y=0\n",
        "CalInfo_R.LCam.L_A=0, CalInfo_R.LCam.L_Angle_fix=-2048\n",
        "CalInfo_R.RCam.L_A=0, CalInfo_R.RCam.L_Angle_fix=0\n\n",
    };
    for (const char* e : expected)
        EXPECT_TRUE(log.contains(e)) << e << "\nin\n" << log.constData();
    for (const QByteArray& line : log.split('\n'))
        EXPECT_LE(line.size(), shell::kMaxLogLine);
}

class RecordFlash : public tovrin::test::SimLinkTest {
protected:
    bool store(UnitId unit, const CalInfo& r)
    {
        return eraseCalibrationRecord(unit) && writeCalibrationRecord(unit, r);
    }
};

TEST_F(RecordFlash, TheJournalNamesTheFrameByItsDeviceInformationElseItsUsbSerial)
{
    EXPECT_EQ(journalFrameName(), QStringLiteral("unknown"));
    frame->setSerialNumber("FT0042");
    EXPECT_EQ(journalFrameName(), QStringLiteral("usb-FT0042"));
    // A write of the device information cut short on the Master leaves the
    // Slave's: the frame keeps its name.
    const uint8_t info[8] = {0x49, 0x56, 0x45, 0x44, 0x78, 0x56, 0x34, 0x12};
    frame->setFlash(sim::Unit::Slave, 0x1F000, info);
    EXPECT_EQ(journalFrameName(), QStringLiteral("id-12345678"));
}

TEST_F(RecordFlash, SaveAndReadBackBothUnits)
{
    const Sample s;
    ASSERT_TRUE(store(UnitId::Slave, s.fields));
    CalInfo back;
    ASSERT_TRUE(readCalibrationRecord(UnitId::Slave, back));
    EXPECT_EQ(back, s.fields);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, 0x11000, 1354), std::vector<uint8_t>(s.bytes.begin(), s.bytes.end()));
    // The 22 bytes after the record in its last piece are written as zero.
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, 0x11000 + 1354), 0);
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, 0x11000 + 1375), 0);
    EXPECT_EQ(frame->flashByte(sim::Unit::Master, 0x11000), 0xFF);
}

TEST_F(RecordFlash, ACalibrationRecordIsFortyFourWritesWithTheFlagLast)
{
    const Sample s;
    ASSERT_TRUE(eraseCalibrationRecord(UnitId::Master));
    const uint64_t before = frame->commandsSeen(9);
    ASSERT_TRUE(writeCalibrationRecord(UnitId::Master, s.fields));
    EXPECT_EQ(frame->commandsSeen(9) - before, 44u);
    ScreenRecord sr;
    sr.flag = kScreenInfoFlag;
    ASSERT_TRUE(eraseScreenRecord(UnitId::Master));
    const uint64_t beforeScreen = frame->commandsSeen(9);
    ASSERT_TRUE(writeScreenRecord(UnitId::Master, sr));
    EXPECT_EQ(frame->commandsSeen(9) - beforeScreen, 10u);
}

// A frame that disappears at any report of a save (the journal's reads of
// what the sector holds, the erase, the 44 writes and the read-back of the
// pieces) leaves either the old valid record or an invalid one; never a
// valid-looking record that is wrong.
TEST_F(RecordFlash, InterruptedSaveNeverLeavesAValidWrongRecord)
{
    Sample oldRecord;
    Sample newRecord;
    newRecord.fields.solution.r_fix = 2000;
    newRecord.fields.startLine = 99;
    ASSERT_TRUE(store(UnitId::Slave, oldRecord.fields));
    const uint64_t before = frame->outputReports();
    ASSERT_TRUE(store(UnitId::Slave, newRecord.fields));
    const uint64_t reports = frame->outputReports() - before;
    ASSERT_GT(reports, 45u);
    for (uint64_t n = 1; n <= reports + 1; ++n) {
        frame->clearFaults();
        frame->plug();
        uint16_t pid;
        ASSERT_TRUE(device::OpenHidDevice(pid));
        ASSERT_TRUE(store(UnitId::Slave, oldRecord.fields));
        frame->vanishAtOutputReport(n);
        const bool ok = store(UnitId::Slave, newRecord.fields);
        frame->clearFaults();
        frame->plug();
        ASSERT_TRUE(device::OpenHidDevice(pid));
        CalInfo back;
        ASSERT_TRUE(readCalibrationRecord(UnitId::Slave, back)) << n;
        if (ok) {
            EXPECT_EQ(back, newRecord.fields) << n;
        } else if (back.isValid()) {
            EXPECT_EQ(back, oldRecord.fields) << "vanished at report " << n;
        }
        EXPECT_EQ(ok, n > reports) << n;
        if (!ok) {
            EXPECT_EQ(device::g_bDevExist.load(), 0) << n;
        }
        device::g_bDevExist = 1;
        device::g_isDeviceCommunicate = 1;
    }
}

TEST_F(RecordFlash, VersionRecordOnlyWhileAFrameIsPresent)
{
    const uint8_t words[8] = {0x05, 0x00, 0x02, 0x01, 0x07, 0x00, 0x00, 0x01};
    frame->setFlash(sim::Unit::Master, 0x13000, words);
    g_ImageVersion[0] = 0x12345678;
    device::g_bDevExist = 0;
    EXPECT_FALSE(readVersionRecord(UnitId::Master));
    EXPECT_EQ(g_ImageVersion[0].load(), 0x12345678u);
    device::g_bDevExist = 1;
    ASSERT_TRUE(readVersionRecord(UnitId::Master));
    EXPECT_EQ(g_ImageVersion[0].load(), 0x01020005u);
    EXPECT_EQ(g_BootloaderVersion[0].load(), 0x01000007u);
}

} // namespace
