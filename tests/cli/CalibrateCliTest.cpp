// tovrin-cli calibrate on the simulated frame: the whole job with the finger
// touching every target by itself, its report, and its refusals.
#include "CliRunner.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>

using namespace tovrin::test;

namespace {

class CalibrateCli : public CliTest {
protected:
    // The flash the runs of this fixture share: Slave calibration record.
    QByteArray slaveRecord() const { return flash(1, 0x11000, 1354); }

    // Waits until the log holds `line` (false after timeoutMs).
    bool waitForLog(const QString& line, int timeoutMs = 30000)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (logText().contains(line))
                return true;
            QThread::msleep(10);
        }
        return false;
    }
};

struct Interruption {
    const char* name;
    int signal;
    const char* logLine;  // sent once the log holds it
    bool stored;
};

class CalibrateInterrupted : public CalibrateCli, public ::testing::WithParamInterface<Interruption> {};

// A slow link (3 ms a report) keeps the save going long enough to be
// interrupted in the middle: it goes on to its end and is reported as stored;
// an interruption while the points are taken stores nothing.
TEST_P(CalibrateInterrupted, SaysWhetherAnythingWasStored)
{
    const Interruption& i = GetParam();
    ASSERT_EQ(cli({"status"}).exitCode, 0);  // the factory frame, saved
    const QByteArray before = slaveRecord();
    const QStringList args{"calibrate", "--points", "4"};
    QProcess p;
    startCli(p, args, "latency-us=3000");
    ASSERT_TRUE(waitForLog(QString::fromLatin1(i.logLine))) << logText().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), i.signal);
    const CliRun r = finish(p, args);
    if (i.stored) {
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("calibrate: interrupted; waiting for the save to end")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("calibrate: interrupted; the new calibration was stored")) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("Calibrate completed!"));
        EXPECT_NE(slaveRecord(), before);
        EXPECT_TRUE(slaveRecord().startsWith("FIWF"));
    } else {
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("calibrate: interrupted; nothing new was stored")) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("Calibrate completed!"));
        EXPECT_EQ(slaveRecord(), before);
    }
    EXPECT_EQ(cli({"status"}).exitCode, 0);  // back in work mode
}

INSTANTIATE_TEST_SUITE_P(Signals, CalibrateInterrupted,
                         ::testing::Values(Interruption{"SaveSigint", SIGINT, "Left_Start=", true},
                                           Interruption{"SaveSigterm", SIGTERM, "Left_Start=", true},
                                           Interruption{"CaptureSigint", SIGINT, "CalibIndex[1]", false}),
                         [](const auto& row) { return std::string(row.param.name); });

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

// The figures of "grid CxR: mean M px, max X px".
std::pair<double, double> gridFigures(const QString& out)
{
    const QRegularExpression re(QStringLiteral("grid \\d+x\\d+: mean ([0-9.]+) px, max ([0-9.]+) px"));
    const auto m = re.match(out);
    if (!m.hasMatch())
        return {-1.0, -1.0};
    return {m.captured(1).toDouble(), m.captured(2).toDouble()};
}

class CalibrateGrid : public CalibrateCli, public ::testing::WithParamInterface<const char*> {};

TEST_P(CalibrateGrid, SpotsBesideTheFingerDoNotSpoilTheFigure)
{
    // The grid's touches are read as the frame reads them: a reflection or
    // spots at the ends of the sensor are not the finger, whatever their
    // width. The calibration is as good as without them, and so is the figure.
    const CliRun clean = cli({"calibrate"});
    ASSERT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    const auto [cleanMean, cleanMax] = gridFigures(clean.out);
    ASSERT_GE(cleanMean, 0.0) << clean.out.toStdString();
    QFile::remove(home.filePath("frame.bin"));  // the same factory frame again
    QFile::remove(home.filePath("frame.bin.loader"));
    const CliRun r = cli({"calibrate"}, QString::fromLatin1(GetParam()));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto [mean, max] = gridFigures(r.out);
    EXPECT_NEAR(mean, cleanMean, 0.5) << r.out.toStdString();
    EXPECT_LT(max, cleanMax + 2.0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(", 135 touches")) << r.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, CalibrateGrid, ::testing::Values("reflection", "edge-spots", "reflection,edge-spots"),
                         [](const auto& row) {
                             std::string n = row.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             std::replace(n.begin(), n.end(), ',', '_');
                             return n;
                         });

TEST_F(CalibrateCli, BadArgumentsAreUsageErrorsAndNoFrameExitsThree)
{
    EXPECT_EQ(cli({"calibrate", "--points", "5"}).exitCode, 2);
    EXPECT_EQ(cli({"calibrate", "--screen", "wide"}).exitCode, 2);
    EXPECT_EQ(cli({"calibrate", "--grid", "0x9"}).exitCode, 2);
    EXPECT_EQ(cli({"calibrate"}, "unplugged").exitCode, 3);
}

} // namespace
