// Preparing the frame for a calibration and keeping the chosen mode: the
// screen record built from Tovrin.ini, written only where it is missing,
// and rewritten at the end only when the mode changed.

#include "RunFixture.h"

#include "calibration/run/CalibrationEntry.h"
#include "tests/support/Files.h"

namespace tovrin::calib::test {
namespace {

void writeIni(const char* text)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), text));
}

records::ScreenRecord screenRecord(const sim::SimulatedFrame& frame, sim::Unit unit)
{
    const auto b = frame.readFlash(unit, sim::kScreenRecordOffset, records::kScreenRecordSize);
    return records::ScreenRecord::decode(std::span<const uint8_t, records::kScreenRecordSize>(b.data(), b.size()));
}

TEST_F(RunTest, ScreenRecordFromSettingsTakesEachUnitsExposure)
{
    writeIni("[Tovrin_Config]\nCalibWay=2\nInfraredExpTimeS=300\nInfraredExpGainS=7\nInfraredExpTimeM=11\n"
             "FourCalib_en=1\n[Tovrin_ScreenInfo]\nScreen_Size=5\n");
    const records::ScreenRecord s = screenRecordFromSettings(records::UnitId::Slave);
    const records::ScreenRecord m = screenRecordFromSettings(records::UnitId::Master);
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(s.calibWayCode, 10);
    EXPECT_EQ(s.InfraredExpTimeS, 300 & 0xFF);  // low byte of a value too large
    EXPECT_EQ(s.InfraredExpGainS, 7);
    EXPECT_EQ(m.InfraredExpTimeS, 11);
    EXPECT_EQ(m.InfraredExpGainS, 24);  // the default
    EXPECT_EQ(s.Screen_Size, 5);
    EXPECT_EQ(s.FourCalib_en, 1);
    writeIni("[Tovrin_Config]\nCalibWay=1\n");
    EXPECT_EQ(screenRecordFromSettings(records::UnitId::Slave).calibWayCode, 8);
    writeIni("[Tovrin_Config]\nCalibWay=3\n");
    EXPECT_EQ(screenRecordFromSettings(records::UnitId::Slave).calibWayCode, 10);
}

TEST_F(RunTest, AFrameWithoutScreenRecordGetsTheOneOfTheSettings)
{
    writeIni("[Tovrin_Config]\nFourCalib_en=1\nInfraredExpTimeS=40\nInfraredExpTimeM=50\n");
    frame->eraseSector(sim::Unit::Slave, sim::kScreenRecordOffset);
    frame->eraseSector(sim::Unit::Master, sim::kScreenRecordOffset);
    const Preparation p = prepareFrameForCalibration();
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.fourCalib, 1);
    EXPECT_EQ(screenRecord(*frame, sim::Unit::Slave), screenRecordFromSettings(records::UnitId::Slave));
    EXPECT_EQ(screenRecord(*frame, sim::Unit::Master), screenRecordFromSettings(records::UnitId::Master));
    EXPECT_EQ(screenRecord(*frame, sim::Unit::Master).InfraredExpTimeS, 50);
    EXPECT_EQ(frame->mode(), sim::kModeCalibration);
}

TEST_F(RunTest, AValidScreenRecordIsLeftAsItIs)
{
    const auto before = frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, 288);
    const Preparation p = prepareFrameForCalibration();
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.fourCalib, 0);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, 288), before);
}

TEST_F(RunTest, AFirmwareMismatchWritesNoScreenRecord)
{
    frame->eraseSector(sim::Unit::Slave, sim::kScreenRecordOffset);
    const std::array<uint8_t, 4> v = {100, 0, 1, 1};  // 1.1.100 against the Slave's 1.2.5
    frame->eraseSector(sim::Unit::Master, sim::kVersionRecordOffset);
    frame->setFlash(sim::Unit::Master, sim::kVersionRecordOffset, v);
    const Preparation p = prepareFrameForCalibration();
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.firmwareMismatch);
    EXPECT_FALSE(screenRecord(*frame, sim::Unit::Slave).isValid());
}

TEST_F(RunTest, UnreadableVersionsStopTheEntryAndHandTheFrameBack)
{
    frame->answerNextWithStatus(sim::kStatusRefused, 1, 10);  // the Master's version read
    const Preparation p = prepareFrameForCalibration();
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.messageId, 18);
    EXPECT_EQ(frame->mode(), sim::kModeWork);
}

TEST_F(RunTest, KeepingTheModeRewritesOnlyAValidRecordThatDiffers)
{
    const auto before = frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, records::kScreenRecordSize);
    const uint64_t erases = frame->commandsSeen(32);
    EXPECT_TRUE(keepCalibrationMode(0));  // already 0: nothing written
    EXPECT_EQ(frame->commandsSeen(32), erases);

    EXPECT_TRUE(keepCalibrationMode(1));
    auto after = frame->readFlash(sim::Unit::Slave, sim::kScreenRecordOffset, records::kScreenRecordSize);
    EXPECT_EQ(after[10], 1);
    after[10] = before[10];
    EXPECT_EQ(after, before);  // nothing else changed

    frame->eraseSector(sim::Unit::Slave, sim::kScreenRecordOffset);
    EXPECT_TRUE(keepCalibrationMode(0));
    EXPECT_FALSE(screenRecord(*frame, sim::Unit::Slave).isValid());  // not made up from 0xFF
}

} // namespace
} // namespace tovrin::calib::test
