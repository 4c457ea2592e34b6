// GetStatus answers and working modes.

#include "SimReports.h"

namespace tovrin::sim::test {
namespace {

constexpr uint8_t kGetStatus = 48;
constexpr uint8_t kSwitchMode = 14;

class SimStatus : public SimFixture {};

TEST_F(SimStatus, ErrorWordsFlagEachUncalibratedUnit)
{
    Report r = done(command(kGetStatus));
    EXPECT_EQ(r[3], 3) << "device state ready";
    EXPECT_EQ(u32At(r, 5), 0x40u) << "Master error word";
    EXPECT_EQ(u32At(r, 9), 0x40u) << "Slave error word";

    markCalibrated(*frame, Unit::Slave);
    r = done(command(kGetStatus));
    EXPECT_EQ(u32At(r, 5), 0x40u);
    EXPECT_EQ(u32At(r, 9), 0u);

    markCalibrated(*frame, Unit::Master);
    r = done(command(kGetStatus));
    EXPECT_EQ(u32At(r, 5), 0u);
    EXPECT_EQ(u32At(r, 9), 0u);
    EXPECT_EQ(r[3 + 26], 0) << "ordinary frame";
}

TEST_F(SimStatus, SettableStateWordsAndExtendedFlag)
{
    frame->setDeviceState(2);
    frame->setErrorWord(Unit::Master, 0x0000'0102u);
    frame->setErrorWord(Unit::Slave, 0x8000'0001u);
    frame->setExtendedFrame(true);
    Report r = done(command(kGetStatus));
    EXPECT_EQ(r[3], 2);
    EXPECT_EQ(u32At(r, 5), 0x102u);
    EXPECT_EQ(u32At(r, 9), 0x80000001u);
    EXPECT_EQ(r[3 + 26], 1);

    frame->setErrorWord(Unit::Master, std::nullopt);
    r = done(command(kGetStatus));
    EXPECT_EQ(u32At(r, 5), 0x40u) << "back to the word derived from the record";
}

TEST_F(SimStatus, QueuedAnswersComeFirstThenTheFrameState)
{
    markCalibrated(*frame, Unit::Master);
    markCalibrated(*frame, Unit::Slave);
    frame->queueStatusAnswers({{2, 0, 0x400, false}, {3, 0, 0, true}});
    Report r = done(command(kGetStatus));
    EXPECT_EQ(r[3], 2);
    EXPECT_EQ(u32At(r, 9), 0x400u);
    r = done(command(kGetStatus));
    EXPECT_EQ(r[3], 3);
    EXPECT_EQ(r[3 + 26], 1);
    r = done(command(kGetStatus));
    EXPECT_EQ(r[3], 3);
    EXPECT_EQ(r[3 + 26], 0) << "sequence used up";
}

TEST_F(SimStatus, CalibrationAndFpgaResetModesAnswer0x22)
{
    for (const uint8_t mode : {uint8_t{0xFF}, uint8_t{0xBB}, uint8_t{0xCC}})
        EXPECT_EQ(done(command(kSwitchMode, {mode}))[3], 0x22) << "mode " << int(mode) << ": reply byte 0";
}

class SimWorkMode : public SimFixture, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(SimWorkMode, RefusedUntilBothRecordsAreValid)
{
    const uint8_t work = GetParam();
    EXPECT_EQ(statusOf(command(kSwitchMode, {work})), 0xFF) << "neither unit calibrated";
    markCalibrated(*frame, Unit::Master);
    EXPECT_EQ(statusOf(command(kSwitchMode, {work})), 0xFF) << "Slave still uncalibrated";
    EXPECT_EQ(frame->mode(), 0xFF);

    markCalibrated(*frame, Unit::Slave);
    const Report r = done(command(kSwitchMode, {work}));
    EXPECT_EQ(r[3], 0x22);
    EXPECT_EQ(frame->mode(), work);
    EXPECT_EQ(done(command(kGetStatus))[4], work) << "status byte 1 reports the mode";

    // An interrupted record save leaves the validity word erased.
    frame->eraseSector(Unit::Master, 0x11000);
    done(command(kSwitchMode, {0xFF}));
    EXPECT_EQ(statusOf(command(kSwitchMode, {work})), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimWorkMode, ::testing::Values(uint8_t{0x22}, uint8_t{0xEE}));

} // namespace
} // namespace tovrin::sim::test
