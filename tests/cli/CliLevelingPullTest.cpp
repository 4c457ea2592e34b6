// tovrin-cli level with a frame that misbehaves: a frame that stops
// answering is not reported as pulled out; a frame pulled out is exit 3
// with that one line on standard error; a packed stream that overruns its
// line fails the image taken after the save; and a pull at any output
// report leaves each record the old one, the new one or invalid, always with
// the same message for the same report, exit 0 only when the frame holds
// exactly what a clean run leaves, and a clean run after it succeeds.
#include "PullChecks.h"

#include <QFile>

#include <set>

using namespace tovrin::test;

namespace {

constexpr int kCalibrationRecord = 0x11000;
constexpr int kCalibrationRecordSize = 1354;
constexpr int kScreenRecord = 0x18000;
constexpr int kScreenRecordSize = 26;
constexpr int kSettingsRecord = 0x1A000;
constexpr int kSettingsRecordSize = 15;

class CliLevelingFaults : public CliTest {};

TEST_F(CliLevelingFaults, SilentFrameIsNotCommunicating)
{
    const CliRun r = cli({"level"}, "drop-command=42");  // the Master's exposure is never answered
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed().toStdString(), "Device Communicate failed, please exit and plug in the device again!");
}

TEST_F(CliLevelingFaults, FramePulledDuringTheImageIsLost)
{
    const CliRun r = cli({"level"}, "vanish-in-frame=3");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err.trimmed().toStdString(), "Device has been pulled out, please exit.") << "the link's debug lines go to the log";
}

TEST_F(CliLevelingFaults, OverrunningPackedStreamFailsTheImage)
{
    const CliRun r = cli({"level"}, "long-stream");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed().toStdString(), "Failed to level, please exit and re-level!");
}

class CliLevelingPull : public PullSweep {
protected:
    void SetUp() override
    {
        ASSERT_EQ(cli({"status"}).exitCode, 0);  // the factory frame's flash file exists from here on
        before = flash();
        commands = traceCleanRun({"level"}, before, after);
        ASSERT_GT(commands.size(), 30u);
        ASSERT_NE(after, before) << "a clean run stores its leveling";
        for (const TracedCommand& c : commands)
            if ((c.number == 13 || c.number == 32) && firstErase == 0)
                firstErase = c.index;
        ASSERT_GT(firstErase, 0);
    }

    // Each record the old one, the new one, or one the frame and the tool
    // take as invalid; nothing else in flash changed.
    void checkRecords(const QByteArray& left)
    {
        expectOldNewOrInvalid(before, after, left,
                              {{"calibration record", kCalibrationRecord, kCalibrationRecordSize, withoutMagic("FIWF")},
                               {"screen record", kScreenRecord, kScreenRecordSize, withoutMagic("FICA")},
                               {"leveling settings record", kSettingsRecord, kSettingsRecordSize, withoutMagic("TEST")}});
    }

    // A clean run after a pull leaves what a clean run leaves, except that a
    // Slave screen record the pull left invalid is rebuilt from the INI's
    // defaults (the save's rule for a record without its magic): valid,
    // but not the copy a clean run from the start keeps.
    void checkCleanRunAfter(const QByteArray& pulled)
    {
        const QByteArray now = flash();
        const bool slaveScreenLost = area(pulled, true, kScreenRecord, 4) != QByteArray("FICA");
        if (!slaveScreenLost) {
            EXPECT_TRUE(now == after) << "a clean run after the pull leaves what a clean run leaves";
            return;
        }
        QByteArray a = after, b = now;
        for (bool slave : {false, true}) {
            const int at = (slave ? kUnitFlash : 0) + kScreenRecord;
            EXPECT_EQ(now.mid(at, 4), QByteArray("FICA"));
            a.replace(at, kScreenRecordSize, QByteArray(kScreenRecordSize, '\0'));
            b.replace(at, kScreenRecordSize, QByteArray(kScreenRecordSize, '\0'));
        }
        EXPECT_TRUE(a == b) << "besides the rebuilt screen records, what a clean run leaves";
    }

    // Pulled at each report of `at`: exit 3 (the status request: not 0),
    // the records checked, the same message and exit code when pulled
    // there again (every fifth report), and a clean run after it that
    // leaves what a clean run from the start leaves.
    void sweepLevel(const std::set<int>& at)
    {
        const int reports = static_cast<int>(commands.size());
        for (const int n : at) {
            SCOPED_TRACE("vanish-at=" + std::to_string(n));
            setFlash(before);
            const CliRun pulled = cli({"level"}, QStringLiteral("vanish-at=%1").arg(n));
            const QByteArray left = flash();
            ASSERT_EQ(left.size(), 2 * kUnitFlash);
            if (n > reports) {
                EXPECT_EQ(pulled.exitCode, 0) << pulled.err.toStdString();
                EXPECT_TRUE(left == after);
            } else {
                if (n == 1)
                    EXPECT_NE(pulled.exitCode, 0);
                else
                    EXPECT_EQ(pulled.exitCode, 3) << pulled.err.toStdString();
                EXPECT_EQ(pulled.err.count(QLatin1Char('\n')), 1) << "one message: " << pulled.err.toStdString();
                checkRecords(left);
            }
            if (n % 5 == 0) {
                setFlash(before);
                const CliRun again = cli({"level"}, QStringLiteral("vanish-at=%1").arg(n));
                EXPECT_EQ(again.exitCode, pulled.exitCode);
                EXPECT_EQ(again.err.toStdString(), pulled.err.toStdString());
                setFlash(left);
            }
            const CliRun clean = cli({"level"});
            EXPECT_EQ(clean.exitCode, 0) << clean.err.toStdString();
            checkCleanRunAfter(left);
            if (::testing::Test::HasFailure())
                return;  // one report that fails says it; the rest would repeat it
        }
    }

    QByteArray before, after;
    std::vector<TracedCommand> commands;
    int firstErase = 0;
};

// Every report up to the save: the search, SetLine, the columns, the zones
// and the exposure.
TEST_F(CliLevelingPull, EveryReportBeforeTheSave)
{
    std::set<int> at;
    addRange(at, 1, firstErase - 1);
    sweepLevel(at);
}

// Every report of the save, the image after it and the switch to work mode,
// and one beyond the last.
TEST_F(CliLevelingPull, EveryReportFromTheSaveOn)
{
    std::set<int> at;
    addRange(at, firstErase, static_cast<int>(commands.size()) + 1);
    sweepLevel(at);
}

} // namespace
