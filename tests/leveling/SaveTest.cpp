// Storing an accepted leveling on the simulated frame: the screen records of
// both units, the leveling settings record of an extended-frame unit, and a
// save that fails at any step leaving the frame's records as they were.
#include "LevelingTestSupport.h"

#include "leveling/core/LevelingSave.h"
#include "leveling/core/LevelingSettingsRecord.h"
#include "records/CalibrationRecord.h"
#include "tests/support/FrameLink.h"
#include "tests/support/RecordingTransport.h"

namespace tovrin::leveling::test {
namespace {

using records::ScreenRecord;

ScreenRecord screenOf(sim::SimulatedFrame& frame, Unit u)
{
    const auto bytes = frame.readFlash(u, 0x18000, 26);
    return ScreenRecord::decode(std::span<const uint8_t, 26>(bytes.data(), 26));
}

class Save : public SimLevelingTest {};

TEST_F(Save, ValidSlaveRecordGetsTheIniTouchAndRightClickSettings)
{
    writeIni("[os_check]\nTouchType=2\n[Tovrin_Config]\nXPRightClickMode=1\nTouchRightClickDistThres=33\n"
             "InfraredExpTimeM=200\nInfraredExpGainM=20\n");
    const ScreenRecord before = screenOf(*frame, Unit::Slave);
    ASSERT_TRUE(before.isValid());
    const SaveResult r = saveLeveling(false, false);
    ASSERT_TRUE(r.ok);
    const ScreenRecord slave = screenOf(*frame, Unit::Slave);
    EXPECT_TRUE(slave.isValid());
    EXPECT_EQ(slave.TouchType, 2);
    EXPECT_EQ(slave.XPRightClickMode, 1);
    EXPECT_EQ(slave.TouchRightClickDistThres, 33u);
    EXPECT_EQ(slave.TouchRightClickTimeThres, 240u);
    EXPECT_EQ(slave.Screen_Size, before.Screen_Size) << "the rest is kept";
    EXPECT_EQ(slave.InfraredExpTimeS, before.InfraredExpTimeS);
    const ScreenRecord master = screenOf(*frame, Unit::Master);
    EXPECT_EQ(master.InfraredExpTimeS, 200) << "the Master copy carries the Master's exposure";
    EXPECT_EQ(master.InfraredExpGainS, 20);
    EXPECT_EQ(master.TouchType, 2);
}

TEST_F(Save, InvalidSlaveRecordIsRebuiltFromDefaults)
{
    frame->eraseSector(Unit::Slave, 0x18000);
    ASSERT_TRUE(saveLeveling(false, false).ok);
    const ScreenRecord slave = screenOf(*frame, Unit::Slave);
    EXPECT_TRUE(slave.isValid());
    EXPECT_EQ(slave.Screen_Size, 3);
    EXPECT_EQ(slave.smoothness, 1);
    EXPECT_EQ(slave.CalibWay, 1);
    EXPECT_EQ(slave.calibWayCode, 8);
    EXPECT_EQ(slave.InfraredExpTimeS, 255);
    EXPECT_EQ(slave.InfraredExpGainS, 24);
    EXPECT_EQ(slave.TouchRightClickDistThres, 10u);
}

TEST_F(Save, OrdinaryUnitHasNoLevelingSettingsRecord)
{
    ASSERT_TRUE(saveLeveling(false, false).ok);
    EXPECT_EQ(frame->flashByte(Unit::Master, 0x1A000), 0xFF);
}

TEST_F(Save, IniValueThatDoesNotFitChangesNothing)
{
    writeIni("[Tovrin_Config]\nInfraredExpTimeM=300\n");
    const auto before = records();
    const uint64_t erases = frame->commandsSeen(13) + frame->commandsSeen(32);
    const SaveResult r = saveLeveling(false, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedAt, SaveResult::Step::BadSettings);
    EXPECT_EQ(records(), before);
    EXPECT_EQ(frame->commandsSeen(13) + frame->commandsSeen(32), erases);
}

class ExtendedSave : public Save {
    void prepare(sim::SimulatedFrame& f) override
    {
        f.setExtendedFrame(true);
        const std::array<uint8_t, 15> master{'T', 'E', 'S', 'T', 1, 2, 3, 4, 0xB1, 0xB2, 0xB3, 0xB4, 0, 0, 0};
        f.eraseSector(Unit::Master, 0x1A000);
        f.setFlash(Unit::Master, 0x1A000, master);
    }
};

TEST_F(ExtendedSave, SettingsRecordToBothUnitsKeepingTheMastersBytes8To11)
{
    writeIni("[TEST_PARA]\nexpValue=0xc4\n");
    ASSERT_TRUE(saveLeveling(true, false).ok);
    const std::vector<uint8_t> expected{'T', 'E', 'S', 'T', 0xC4, 0x08, 0x1E, 0x02, 0xB1, 0xB2, 0xB3, 0xB4, 1, 1, 1};
    EXPECT_EQ(frame->readFlash(Unit::Master, 0x1A000, 15), expected);
    EXPECT_EQ(frame->readFlash(Unit::Slave, 0x1A000, 15), expected);
}

TEST_F(ExtendedSave, DebugPanelKeepsAnExistingTestRecord)
{
    const auto master = frame->readFlash(Unit::Master, 0x1A000, 15);
    ASSERT_TRUE(saveLeveling(true, true).ok);
    EXPECT_EQ(frame->readFlash(Unit::Master, 0x1A000, 15), master);
    EXPECT_EQ(frame->flashByte(Unit::Slave, 0x1A000), 0xFF);
}

// A refusal at each erase and write of the save: the save fails and every
// record is as it was before.
class SaveRefusedAt : public ExtendedSave, public ::testing::WithParamInterface<int> {};

TEST_P(SaveRefusedAt, KeepsTheOldRecords)
{
    const int command = GetParam();
    const auto before = records();
    // The first command of that number in the save is refused.
    frame->answerNextWithStatus(0xFF, 1, command);
    const SaveResult r = saveLeveling(true, false);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.restored);
    EXPECT_EQ(records(), before);
}

// 13/32 erase Master/Slave, 9/28 flash write Master/Slave, 10/29 flash read.
INSTANTIATE_TEST_SUITE_P(Commands, SaveRefusedAt, ::testing::Values(13, 32, 9, 28, 10, 29));

TEST_F(ExtendedSave, RefusalAtAnyEraseOrWriteKeepsTheOldRecords)
{
    int failures = 0;
    for (int k = 0; k < 200; ++k) {
        auto copy = std::make_shared<sim::SimulatedFrame>();
        for (Unit u : {Unit::Master, Unit::Slave})
            copy->setFlash(u, 0, frame->readFlash(u, 0, 0x20000));
        // The frame refuses the k-th erase or flash write of the run.
        auto wire = std::make_shared<tovrin::test::RecordingTransport>(sim::makeSimTransport(copy));
        wire->setBeforeWrite([copy, k, seen = std::make_shared<int>(0)](const tovrin::test::WireReport& r) {
            const int number = r[1] & 0x3F;
            if ((number == 9 || number == 28 || number == 13 || number == 32) && (*seen)++ == k)
                copy->answerNextWithStatus(0xFF, 1, number);
        });
        device::setTransport(wire);
        ASSERT_TRUE(tovrin::test::openFrameLink());
        const SaveResult r = saveLeveling(true, false);
        if (r.ok)
            break;  // k is past the last write of a save
        ++failures;
        EXPECT_TRUE(r.restored) << k;
        for (Unit u : {Unit::Master, Unit::Slave})
            for (uint32_t at : {0x18000u, 0x1A000u})
                ASSERT_EQ(copy->readFlash(u, at, 64), frame->readFlash(u, at, 64)) << "write " << k;
    }
    EXPECT_GT(failures, 20) << "every erase and write of the save was refused once";
}

TEST_F(ExtendedSave, UnplugInTheMiddleLeavesRecordsOldOrInvalidNeverWrong)
{
    const auto oldSlave = frame->readFlash(Unit::Slave, 0x18000, 26);
    frame->vanishAtOutputReport(12);
    const SaveResult r = saveLeveling(true, false);
    EXPECT_FALSE(r.ok);
    const auto slave = frame->readFlash(Unit::Slave, 0x18000, 26);
    const bool old = slave == oldSlave;
    const bool invalid = slave[0] == 0xFF && slave[1] == 0xFF && slave[2] == 0xFF && slave[3] == 0xFF;
    EXPECT_TRUE(old || invalid);
}

} // namespace
} // namespace tovrin::leveling::test
