// Opening the leveling job, the stored-leveling check, the image-debug
// panel's requests, the sensor test, SaveData, and the calibration run's
// environment and last-line read.
#include "LevelingTestSupport.h"

#include "leveling/core/DebugRequests.h"
#include "leveling/core/LevelingSteps.h"
#include "leveling/core/LineTransfer.h"
#include "leveling/core/OpeningSteps.h"
#include "leveling/core/SampleData.h"
#include "leveling/core/SensorTest.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "sim/SceneItems.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tovrin::leveling::test {
namespace {

class Opening : public SimLevelingTest {};

TEST_F(Opening, SearchWindowFromTheMasterSensorRegister)
{
    OpeningOutcome o = openLeveling();
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(frame->mode(), 0xFF) << "calibration mode";
    EXPECT_EQ(o.searchLower, 200);
    EXPECT_EQ(o.searchUpper, 300);
    frame->setSensorRegister(Unit::Master, 0x12, 0x40);
    frame->setSensorRegister(Unit::Slave, 0x12, 0x00);
    o = openLeveling();
    EXPECT_EQ(o.searchLower, 50);
    EXPECT_EQ(g_SearchUpper.load(), 200);
}

TEST_F(Opening, SlaveChosenOnTheDebugPageDoesNotRedirectTheRead)
{
    device::SelectedUnitIsSlave = 1;
    frame->setSensorRegister(Unit::Slave, 0x12, 0x40);
    EXPECT_EQ(openLeveling().searchLower, 200);
}

TEST_F(Opening, UnreadableSensorRegisterMeans200To300)
{
    frame->answerNextWithStatus(0xFF, 1, 8);
    frame->setSensorRegister(Unit::Master, 0x12, 0x40);
    const OpeningOutcome o = openLeveling();
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.searchLower, 200);
}

TEST_F(Opening, UnreadableVersionRefusesAndGoesBackToWorkMode)
{
    frame->answerNextWithStatus(0xFF, 1, 29);  // the Slave's version read
    const OpeningOutcome o = openLeveling();
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.statusMessageId, 18);
    EXPECT_EQ(frame->mode(), 0x22);
}

TEST_F(Opening, MismatchedFirmwareGoesOn)
{
    const std::array<uint8_t, 4> v{5, 0, 3, 1};  // 1.3.5
    frame->setFlash(Unit::Slave, 0x13000, v);
    const OpeningOutcome o = openLeveling();
    EXPECT_TRUE(o.ok);
    EXPECT_TRUE(o.firmwareMismatch);
}

TEST_F(Opening, RefusedModeSwitchRefuses)
{
    frame->answerNextWithStatus(0xFF, 2, 14);
    const OpeningOutcome o = openLeveling();
    EXPECT_FALSE(o.ok);
    EXPECT_FALSE(o.modeSwitch.ok);
    EXPECT_EQ(o.modeSwitch.messageId, 142);
}

TEST_F(Opening, InvalidRecordClearsPreviewOnly)
{
    g_PreviewOnly = 1;
    g_StartLineKnown = 1;
    checkStoredLeveling();
    EXPECT_EQ(g_PreviewOnly.load(), 1);
    frame->eraseSector(Unit::Slave, 0x11000);
    checkStoredLeveling();
    EXPECT_EQ(g_PreviewOnly.load(), 0);
    EXPECT_EQ(g_StartLineKnown.load(), 0);
}

TEST_F(Opening, UnreadableRecordSkipsTheCheck)
{
    g_PreviewOnly = 1;
    frame->eraseSector(Unit::Slave, 0x11000);
    frame->answerNextWithStatus(0xFF, 1, 29);
    checkStoredLeveling();
    EXPECT_EQ(g_PreviewOnly.load(), 1);
}

// ---- Panel requests ------------------------------------------------------------------

class Panel : public SimLevelingTest {
protected:
    // Flash read requests one read of a whole calibration record takes.
    int requestsPerRecordRead()
    {
        const uint64_t before = frame->commandsSeen(10);
        records::CalInfo record;
        EXPECT_TRUE(records::readCalibrationRecord(records::UnitId::Master, record));
        return static_cast<int>(frame->commandsSeen(10) - before);
    }
    // The record write reads its 32-byte pieces back (1376 bytes) before
    // the validity word.
    int requestsPerPieceReadBack()
    {
        const uint64_t before = frame->commandsSeen(10);
        std::vector<uint8_t> pieces(1376);
        EXPECT_TRUE(device::ReadToBuffer(device::flashAddress(device::Unit::Master, 0x11000), 1376, pieces));
        return static_cast<int>(frame->commandsSeen(10) - before);
    }
};

TEST_F(Panel, FlashReadOfARecordWithoutTestShowsNoValidTestPara)
{
    const FlashReadResult r = flashReadSettings(kMaster);
    EXPECT_EQ(r.error, "No Valid Test Para!");
    EXPECT_FALSE(r.fields);
}

TEST_F(Panel, FlashWriteThenReadGivesTheFieldsBack)
{
    PanelSettings p;
    p.exposureThreshold = "0xc2";
    p.fingerInto = "9";
    p.fingerOut = "0x1F";
    p.cogradient = "3";
    p.autoStartLine = true;
    EXPECT_EQ(flashWriteSettings(kSlave, p), "");
    EXPECT_EQ(frame->readFlash(Unit::Slave, 0x1A000, 15),
              (std::vector<uint8_t>{'T', 'E', 'S', 'T', 0xC2, 0x09, 0x1F, 0x03, 0, 0, 0, 0, 0, 0, 1}));
    const FlashReadResult r = flashReadSettings(kSlave);
    ASSERT_TRUE(r.fields);
    EXPECT_EQ(r.fields->fingerInto, "0x09");
    EXPECT_EQ(r.fields->fingerOut, "0x1f");
    EXPECT_EQ(r.fields->exposureThreshold, "0xc2");
    EXPECT_EQ(r.fields->cogradient, "0x03");
    EXPECT_TRUE(r.fields->autoStartLine);
    EXPECT_FALSE(r.fields->autoUpdateBk);
}

TEST_F(Panel, FlashWriteOfAThresholdThatDoesNotFitErasesNothing)
{
    PanelSettings p;
    p.exposureThreshold = "0x1c2";
    const uint64_t erases = frame->commandsSeen(13);
    // Nothing was written: the box says the value was refused, not that the flash failed.
    EXPECT_EQ(flashWriteSettings(kMaster, p), "Flash Write refused: Exposure threshold 0x1c2 is not a byte!");
    EXPECT_EQ(frame->commandsSeen(13), erases);
    p.exposureThreshold = "0xc0";
    p.cogradient = "0x100";
    EXPECT_EQ(flashWriteSettings(kMaster, p), "Flash Write refused: Cogradient threshold 0x100 is not a byte!");
    EXPECT_EQ(frame->commandsSeen(13), erases);
}

TEST_F(Panel, FlashFailuresNameTheirStep)
{
    frame->answerNextWithStatus(0xFF, 1, 13);
    EXPECT_EQ(flashWriteSettings(kMaster, {}), "Flash Erase Error!");
    frame->answerNextWithStatus(0xFF, 1, 9);
    EXPECT_EQ(flashWriteSettings(kMaster, {}), "Flash Write Error!");
    frame->answerNextWithStatus(0xFF, 1, 10);
    EXPECT_EQ(flashReadSettings(kMaster).error, "Flash Read Error!");
}

TEST_F(Panel, UpdateBackgroundWithBothZonesInvertsBits6And7InOneWrite)
{
    frame->setFpgaRegister(Unit::Slave, 0x35, 0x41);
    const uint64_t writes = frame->commandsSeen(23);
    EXPECT_EQ(updateBackground(kSlave, true, true), "");
    EXPECT_EQ(frame->fpgaRegister(Unit::Slave, 0x35), 0x81);
    EXPECT_EQ(frame->commandsSeen(23), writes + 1);
    EXPECT_EQ(updateBackground(kSlave, false, false), "PleaseSelectThe WhiteZone Or BlackZone!");
}

TEST_F(Panel, UpdateBackgroundFailuresEndWithTheirBox)
{
    frame->setFpgaRegister(Unit::Master, 0x35, 0x01);
    frame->answerNextWithStatus(0xFF, 1, 6);  // the read of register 0x35
    EXPECT_EQ(updateBackground(kMaster, true, false), "UpdateBK Read Error!");
    frame->answerNextWithStatus(0xFF, 1, 4);  // the write back
    EXPECT_EQ(updateBackground(kMaster, true, false), "UpdateBK Write Error!");
    EXPECT_EQ(frame->fpgaRegister(Unit::Master, 0x35), 0x01);
}

TEST_F(Panel, RegisterWriteAndReadShowAddressAndValue)
{
    device::SelectedUnitIsSlave = 1;
    RegisterResult r = writeRegister("0x1234", "0x5", false);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.addressText, "0x1234");
    EXPECT_EQ(r.valueText, "0x05");
    EXPECT_EQ(frame->fpgaRegister(Unit::Slave, 0x1234), 0x05);
    r = readRegister("12_34", false);
    EXPECT_EQ(r.valueText, "0x05");
    r = writeRegister("0x12", "0xA7", true);
    EXPECT_EQ(frame->sensorRegister(Unit::Slave, 0x12), 0xA7);
    EXPECT_EQ(r.addressText, "0x12");
}

TEST_F(Panel, RegisterValuesThatDoNotFitAreRefusedUnsent)
{
    const uint64_t out = frame->outputReports();
    EXPECT_EQ(writeRegister("0x30", "0x100", false).error, "send message: write_reg err!");
    EXPECT_EQ(writeRegister("0x130", "1", true).error, "send message: write_i2c_reg err!");
    EXPECT_EQ(readRegister("0x123456", false).error, "send message: read_FPGASingle_reg err!");
    EXPECT_EQ(frame->outputReports(), out);
    frame->answerNextWithStatus(0xFF, 1, 8);
    EXPECT_EQ(readRegister("0x10", true).error, "send message: read_i2c_reg err!");
}

TEST_F(Panel, ResetFpga)
{
    EXPECT_EQ(resetFpga(), "");
    frame->answerNextWithStatus(0xFF, 1, 14);
    EXPECT_EQ(resetFpga(), "Master FPGA Reset Error!");
}

TEST_F(Panel, WriteColumnStoresBothRecordsAndTheColumns)
{
    EXPECT_EQ(writeColumns("30", "610", "25", "620"), "Write success!");
    records::CalInfo m, s;
    ASSERT_TRUE(records::readCalibrationRecord(records::UnitId::Master, m));
    ASSERT_TRUE(records::readCalibrationRecord(records::UnitId::Slave, s));
    EXPECT_TRUE(m.isValid());
    EXPECT_EQ(m.u10_PROJECT_START, 30);
    EXPECT_EQ(m.u10_PROJECT_END, 610);
    EXPECT_EQ(s.u10_PROJECT_START, 25);
    EXPECT_EQ(s.u10_PROJECT_END, 620);
    EXPECT_EQ(unitLeveling(kSlave).endColumn, 620);
}

TEST_F(Panel, WriteColumnFailuresInTheOrderOfTheSteps)
{
    frame->answerNextWithStatus(0xFF, 1, 32);
    EXPECT_EQ(writeColumns("30", "610", "25", "620"), "Write S failed:Erase!");
    frame->answerNextWithStatus(0xFF, 1, 9);
    EXPECT_EQ(writeColumns("30", "610", "25", "620"), "Write M failed:Write!");
    // The Master's read-back: after its read, the journal's copy (the device
    // information's head, the record) and the write's own read of its pieces.
    frame->answerNextWithStatus(0xFF, 1, 10, 2 * requestsPerRecordRead() + 1 + requestsPerPieceReadBack());
    EXPECT_EQ(writeColumns("30", "610", "25", "620"), "Write M failed:Read_temp!");
}

// A refused step puts back what the request had changed, as the leveling
// save does: both records and the columns in hand stay the old ones.
struct ColumnFailureRow {
    const char* name;
    int command;
    int afterReads;      // whole record reads of this command before the refused one
    int afterReadBacks;  // then read-backs of a record write's pieces
    int after;           // then single commands
    const char* message;
};

void PrintTo(const ColumnFailureRow& row, std::ostream* os) { *os << row.name; }

class WriteColumnFailure : public Panel, public ::testing::WithParamInterface<ColumnFailureRow> {};

TEST_P(WriteColumnFailure, LeavesTheOldRecordsAndColumns)
{
    setColumns(kMaster, 40, 600);
    setColumns(kSlave, 34, 610);
    const auto master = frame->readFlash(Unit::Master, 0x11000, 1354);
    const auto slave = frame->readFlash(Unit::Slave, 0x11000, 1354);
    ASSERT_TRUE(frame->calibrationRecordValid(Unit::Master));
    const ColumnFailureRow& row = GetParam();
    frame->answerNextWithStatus(0xFF, 1, row.command,
                                row.afterReads * requestsPerRecordRead()
                                    + row.afterReadBacks * requestsPerPieceReadBack() + row.after);
    EXPECT_EQ(writeColumns("30", "610", "25", "620"), row.message);
    EXPECT_EQ(frame->readFlash(Unit::Master, 0x11000, 1354), master);
    EXPECT_EQ(frame->readFlash(Unit::Slave, 0x11000, 1354), slave);
    EXPECT_EQ(unitLeveling(kMaster).startColumn, 40);
    EXPECT_EQ(unitLeveling(kMaster).endColumn, 600);
    EXPECT_EQ(unitLeveling(kSlave).startColumn, 34);
    EXPECT_EQ(unitLeveling(kSlave).endColumn, 610);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WriteColumnFailure,
    // Before a unit's read-back: its read, the journal's copy of the record
    // (and, for each unit's copy, the device information's head of the
    // Master and, that being blank here, of the Slave: the frame's name) and
    // the write's read of its pieces.
    ::testing::Values(ColumnFailureRow{"MasterErase", 13, 0, 0, 0, "Write M failed:Erase!"},
                      ColumnFailureRow{"MasterWrite", 9, 0, 0, 3, "Write M failed:Write!"},
                      ColumnFailureRow{"MasterReadBack", 10, 2, 1, 1, "Write M failed:Read_temp!"},
                      ColumnFailureRow{"SlaveRead", 29, 0, 0, 1, "Write S failed:Read!"},
                      ColumnFailureRow{"SlaveWrite", 28, 0, 0, 0, "Write S failed:Write!"},
                      ColumnFailureRow{"SlaveReadBack", 29, 2, 1, 2, "Write S failed:Read_temp!"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Panel, WriteColumnRefusesColumnsOutsideTheSensor)
{
    const auto before = records();
    EXPECT_EQ(writeColumns("30", "99999", "25", "620"), "Write M failed:Value!");
    EXPECT_EQ(writeColumns("30", "600", "620", "25"), "Write S failed:Value!");
    EXPECT_EQ(records(), before);
}

// ---- Sensor test ---------------------------------------------------------------------

class SensorData : public SimLevelingTest {};

TEST_F(SensorData, HealthyLinesAndTheSensorsRestored)
{
    const SensorTestResult r = runSensorTest();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.broken, (std::array<uint8_t, 2>{0, 0}));
    EXPECT_EQ(sensorTestWarning(r), "");
    EXPECT_EQ(frame->sensorRegister(Unit::Master, 0x38), 0x11);
    EXPECT_EQ(frame->sensorRegister(Unit::Slave, 0x84), 0x70);
}

TEST_F(SensorData, BrokenBitsAreNamedPerUnit)
{
    ASSERT_TRUE(sim::applySceneFault(*frame, "broken-bit=slave:3"));
    ASSERT_TRUE(sim::applySceneFault(*frame, "broken-bit=slave:6"));
    ASSERT_TRUE(sim::applySceneFault(*frame, "broken-bit=master:0"));
    const SensorTestResult r = runSensorTest();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.broken[1], 0x48);
    EXPECT_EQ(sensorTestWarning(r), "The left sensor (0 bit) data cable connection anomaly!\n"
                                     "The right sensor (3,6 bit) data cable connection anomaly!");
}

TEST_F(SensorData, FailedRequestFailsTheTest)
{
    frame->answerNextWithStatus(0xFF, 1, 26);
    EXPECT_FALSE(runSensorTest().ok);
    EXPECT_EQ(frame->sensorRegister(Unit::Master, 0x84), 0x70) << "the Master had been switched to its pattern";
    EXPECT_EQ(frame->sensorRegister(Unit::Master, 0x38), 0x11);
}

// A camera left in its test pattern sees nothing: whatever step fails, both
// sensors are back in their picture mode before the test reports.
TEST_F(SensorData, FailureAtTheColumnsRestoresBothSensors)
{
    for (Unit u : {Unit::Master, Unit::Slave}) {
        frame->setSensorRegister(u, 0x84, 0x00);
        frame->setSensorRegister(u, 0x38, 0x00);
    }
    frame->answerNextWithStatus(0xFF, 1, 23, 2);  // the Slave's first column write, after its two latches
    EXPECT_FALSE(runSensorTest().ok);
    for (Unit u : {Unit::Master, Unit::Slave}) {
        EXPECT_EQ(frame->sensorRegister(u, 0x84), 0x70) << static_cast<int>(u);
        EXPECT_EQ(frame->sensorRegister(u, 0x38), 0x11) << static_cast<int>(u);
    }
}

// ---- Calibration run's helpers -------------------------------------------------------

TEST_F(Opening, EnvironmentSetsTheStoredStartLines)
{
    frame->setScene(frame->scene());  // the scene as it is; SetLine from the records
    ASSERT_TRUE(device::SetLine(0, 300));
    ASSERT_TRUE(configureEnvironment());
    EXPECT_EQ(frame->startLine(Unit::Master), 236);
    const std::array<uint8_t, 2> zero{0, 0};
    frame->setFlash(Unit::Slave, 0x11004, zero);
    EXPECT_FALSE(configureEnvironment()) << "a stored line of 0 is outside 1..640";
}

TEST_F(Opening, LastLinesFromRegionB)
{
    std::array<uint8_t, 640> m{}, s{};
    ASSERT_TRUE(readLastLines(0, m, s));
    const auto line = frame->linePixels(Unit::Slave, 8);
    EXPECT_TRUE(std::equal(line.begin(), line.end(), s.begin()));
}

// ---- SaveData ------------------------------------------------------------------------

TEST(SampleData, NumbersFrom000AndMovesAnEarlierSetAside)
{
    tovrin::test::InTemporaryFolder folder;
    QDir().mkpath("SampleData/000");
    QFile old("SampleData/000/L000.bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier");
    old.close();

    FrameBytes a{}, b{};
    a[0] = 7;
    const SampleFolder first = prepareSampleFolder(QDir::currentPath(), 0);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.number, "000");
    EXPECT_FALSE(first.movedTo.isEmpty());
    EXPECT_TRUE(QFile::exists(first.movedTo + "/000/L000.bin")) << "the earlier set is kept";
    ASSERT_TRUE(writeSampleFrames(first, a, b));
    EXPECT_EQ(QFileInfo("SampleData/000/L000.bin").size(), 7040);
    EXPECT_EQ(QFileInfo("SampleData/000/R000.bin").size(), 7040);

    const SampleFolder second = prepareSampleFolder(QDir::currentPath(), 1);
    EXPECT_EQ(second.number, "001");
    EXPECT_TRUE(second.movedTo.isEmpty());
    EXPECT_TRUE(QFile::exists("SampleData/000/L000.bin")) << "later samples add to the set";
    EXPECT_EQ(samplePicturePath(second), QDir::current().filePath("SampleData/001/001.png"));

    // A second run moves the first run's set aside too, beside the earliest.
    const SampleFolder again = prepareSampleFolder(QDir::currentPath(), 0);
    EXPECT_NE(again.movedTo, first.movedTo);
    EXPECT_TRUE(QFile::exists(again.movedTo + "/001"));
}

} // namespace
} // namespace tovrin::leveling::test
