// The simulated firmware that levels from its own picture: it starts from
// its records and writes back what leveling measured; a rolled camera, a
// noisy sensor and the upper part of the sensor show in its answers; an
// extended-frame unit takes its settings record.
#include "SimReports.h"

#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/OpticalScene.h"
#include "sim/SceneItems.h"

#include <cmath>

namespace tovrin::sim::test {
namespace {

constexpr uint8_t kSwitchMode = 14;

class LevelingFirmware : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        writeFactoryContents(*frame);
        ASSERT_TRUE(link->open(pid));
    }

    uint16_t recordWord(Unit u, uint32_t at)
    {
        const auto b = frame->readFlash(u, kCalibrationRecordOffset + at, 2);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }

    void scene(const char* items)
    {
        ASSERT_EQ(applySceneItems(*frame, items), "");
    }

    std::array<uint16_t, 2> columns(const UnitCodes& c)
    {
        const Report r = done(command(c.lineRange));
        return {u16At(r, 3), u16At(r, 5)};
    }

    void setLine(const UnitCodes& c, uint16_t line)
    {
        done(command(c.setLine, {static_cast<uint8_t>(line), static_cast<uint8_t>(line >> 8)}));
    }

    // Power off and on: the link opens the restarted frame.
    void powerCycle()
    {
        frame->unplug();
        frame->plug();
        ASSERT_TRUE(link->open(pid));
    }
};

TEST_F(LevelingFirmware, StartsFromItsRecordsAndKeepsWhatLevelingFound)
{
    // The camera was moved: the band now grazes row 240, the record still says 236.
    scene("master.row=240");
    powerCycle();
    EXPECT_EQ(frame->startLine(Unit::Master), 236);
    setLine(kMasterCodes, 240);
    done(command(kMasterCodes.exposure));
    EXPECT_EQ(recordWord(Unit::Master, 4), 236) << "nothing written while leveling";
    done(command(kSwitchMode, {kModeWork}));
    EXPECT_EQ(recordWord(Unit::Master, 4), 240);
    EXPECT_EQ(recordWord(Unit::Slave, 4), 248) << "the Slave was not leveled";
    powerCycle();
    EXPECT_EQ(frame->startLine(Unit::Master), 240);
    EXPECT_TRUE(frame->calibrationRecordValid(Unit::Master));
}

TEST_F(LevelingFirmware, ARecordTheHostWritesAppliesAtOnce)
{
    std::vector<uint8_t> record = frame->readFlash(Unit::Slave, kCalibrationRecordOffset, kCalibrationRecordSize);
    record[4] = 250;   // start line
    record[6] = 0xC0;  // exposure 0x04C0, entry 12 of the scale
    record[7] = 0x04;
    const std::array<uint8_t, 4> validity{record[0], record[1], record[2], record[3]};
    record[0] = record[1] = record[2] = record[3] = 0xFF;
    done(command(kSlaveCodes.erase, {0x00, 0x10, 0x01, 1, 0}));
    for (size_t at = 0; at < record.size(); at += 32) {
        const size_t n = std::min<size_t>(32, record.size() - at);
        const uint32_t address = kCalibrationRecordOffset + static_cast<uint32_t>(at);
        std::vector<uint8_t> payload{static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                     static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(n)};
        payload.insert(payload.end(), record.begin() + static_cast<long>(at), record.begin() + static_cast<long>(at + n));
        Report out = command(kSlaveCodes.flashWrite);
        std::copy(payload.begin(), payload.end(), out.begin() + 2);
        done(out);
        EXPECT_EQ(frame->startLine(Unit::Slave), 248) << "not before the validity word";
    }
    done(command(kSlaveCodes.flashWrite, {0x00, 0x10, 0x01, 4, validity[0], validity[1], validity[2], validity[3]}));
    EXPECT_EQ(frame->startLine(Unit::Slave), 250);
    EXPECT_EQ(frame->exposureWord(Unit::Slave), 0x04C0);
}

TEST_F(LevelingFirmware, ARolledCameraSeesTheBandInFewerColumns)
{
    EXPECT_EQ(columns(kMasterCodes), (std::array<uint16_t, 2>{40, 600}));
    // 40 rows across the sensor: the band stays inside the 8 lines of the
    // window for about 8 / 40 of the columns, around the middle.
    scene("master.roll=40");
    EXPECT_NEAR(u16At(done(command(kMasterCodes.searchLine, {200, 0, 44, 1})), 3), 236, 1) << "still found";
    const auto narrow = columns(kMasterCodes);
    EXPECT_GT(narrow[0], 230);
    EXPECT_LT(narrow[1], 410);
    EXPECT_GT(narrow[1] - narrow[0], 100);
    // Rolled so far that hardly any column keeps it: no range at all.
    scene("master.roll=64,master.columns=300-340");
    EXPECT_EQ(statusOf(command(kMasterCodes.lineRange)), 0xFF);
}

TEST_F(LevelingFirmware, ANoisySensorNoLongerLevelsExactly)
{
    scene("noise=200");
    const uint16_t line = u16At(done(command(kMasterCodes.searchLine, {200, 0, 44, 1})), 3);
    EXPECT_NEAR(line, 236, 2) << "the search still finds the band";
    bool exact = true;
    for (int i = 0; i < 5; ++i)
        exact = exact && columns(kMasterCodes) == std::array<uint16_t, 2>{40, 600};
    EXPECT_FALSE(exact) << "the columns wander with the noise";
}

TEST_F(LevelingFirmware, ADimOrBrokenPictureChangesTheExposure)
{
    scene("slave.reflect=0");
    EXPECT_EQ(u16At(done(command(kSlaveCodes.searchLine, {200, 0, 44, 1})), 3), 65535) << "no border to find";
    const uint16_t normal = u16At(done(command(kMasterCodes.exposure)), 3);
    ASSERT_TRUE(applySceneFault(*frame, "broken-bit=master:7"));
    const uint16_t broken = u16At(done(command(kMasterCodes.exposure)), 3);
    EXPECT_GT(exposureIndex(broken), exposureIndex(normal)) << "the top bit of every pixel is lost";
}

TEST_F(LevelingFirmware, AnExtendedUnitTakesItsSettingsRecord)
{
    frame->setExtendedFrame(true);
    writeFactoryContents(*frame);
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(frame->readFlash(Unit::Master, kUnitSettingsOffset, 4), (std::vector<uint8_t>{'T', 'E', 'S', 'T'}));
    EXPECT_EQ(frame->readFlash(Unit::Master, 0x11000 + 1218, 1)[0], 94) << "lens table B";
    const uint16_t usual = u16At(done(command(kMasterCodes.exposure)), 3);
    // A lower exposure threshold in the settings record: a shorter exposure.
    done(command(kMasterCodes.erase, {0x00, 0xA0, 0x01, 1, 0}));
    done(command(kMasterCodes.flashWrite,
                 {0x00, 0xA0, 0x01, 15, 'T', 'E', 'S', 'T', 0x60, 0x08, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1}));
    const uint16_t shorter = u16At(done(command(kMasterCodes.exposure)), 3);
    EXPECT_LT(exposureIndex(shorter), exposureIndex(usual));
    // A finger-in threshold above every finger: the unit reports no spot.
    done(command(kMasterCodes.erase, {0x00, 0xA0, 0x01, 1, 0}));
    done(command(kMasterCodes.flashWrite,
                 {0x00, 0xA0, 0x01, 15, 'T', 'E', 'S', 'T', 0xC0, 0x50, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1}));
    frame->fingers().press(900, 500);
    const Report spots = done(command(30, {0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(spots[3], 0) << "Master";
    EXPECT_EQ(spots[3 + 26], 1) << "Slave keeps its own threshold";
}

} // namespace
} // namespace tovrin::sim::test
