// tovrin-cli calibrate on the simulated frame: the whole job with the finger
// touching every target by itself, its report, and its refusals.
#include "CliRunner.h"

#include <QFile>

using namespace tovrin::test;

namespace {

class CalibrateCli : public CliTest {
protected:
    // The flash the runs of this fixture share: Slave calibration record.
    QByteArray slaveRecord()
    {
        QFile f(home.path() + "/frame.bin");
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        return all.mid(0x20000 + 0x11000, 1354);
    }
};

TEST_F(CalibrateCli, SixteenPointsAreStoredAndMeasured)
{
    const CliRun r = cli({"calibrate"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("outcome: stored"));
    EXPECT_TRUE(r.out.contains("block: r_fix="));
    EXPECT_TRUE(r.out.contains("calibration points: mean"));
    // The figures the windows show, in millimetres too where the screen-size
    // class names a panel (the default class 3: 56-65 inches).
    EXPECT_TRUE(r.out.contains("quality: mean ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(" mm), worst ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("grid 15x9: mean"));
    EXPECT_TRUE(r.out.contains("Calibrate completed!"));
    EXPECT_TRUE(slaveRecord().startsWith("FIWF"));
    // The frame is back in work mode: the status test says ready.
    const CliRun status = cli({"status"});
    EXPECT_EQ(status.exitCode, 0) << status.out.toStdString();
}

TEST_F(CalibrateCli, FourPointsAndAnotherScreen)
{
    const CliRun r = cli({"calibrate", "--points", "4", "--screen", "1024x768", "--grid", "5x3"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("points: 4 (1024x768)"));
    EXPECT_TRUE(r.out.contains("grid 5x3: mean"));
    EXPECT_TRUE(r.out.contains(", 15 touches"));
}

TEST_F(CalibrateCli, AScreenThatCannotBeStoredIsRejectedAndThePriorDataKept)
{
    ASSERT_EQ(cli({"status"}).exitCode, 0);  // the factory frame, saved
    const QByteArray before = slaveRecord();
    const CliRun r = cli({"calibrate", "--screen", "7680x4320"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("The current calibration data is invalid, restored prior calibration data!"));
    EXPECT_EQ(slaveRecord(), before);
}

TEST_F(CalibrateCli, BadArgumentsAreUsageErrors)
{
    EXPECT_EQ(cli({"calibrate", "--points", "5"}).exitCode, 2);
    EXPECT_EQ(cli({"calibrate", "--screen", "wide"}).exitCode, 2);
    EXPECT_EQ(cli({"calibrate", "--grid", "0x9"}).exitCode, 2);
}

TEST_F(CalibrateCli, NoFrameExitsThree)
{
    EXPECT_EQ(cli({"calibrate"}, "unplugged").exitCode, 3);
}

TEST_F(CalibrateCli, AFramePulledDuringTheRunFails)
{
    const CliRun r = cli({"calibrate"}, "vanish-at=400");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Device has been pulled out, please exit.")) << r.err.toStdString();
}

} // namespace
