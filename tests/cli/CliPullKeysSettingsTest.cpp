// tovrin-cli settings and keys calibrate pulled out at their output reports:
// exit 0 only when the frame holds exactly what a clean run leaves; else
// exit 3, every record the old one, the new one or one the frame cannot
// take; and a clean run afterwards.
#include "PullChecks.h"

using namespace tovrin::test;

namespace {

constexpr int kScreenRecord = 0x18000, kScreenRecordSize = 26;
constexpr int kCalibrationRecord = 0x11000, kCalibrationRecordSize = 1354;
constexpr int kKeyCodeBlock = 0x19000;

// Validity words as the frames' firmware reads them (little-endian).
const QByteArray kScreenMagic = QByteArray::fromHex("46494341");       // "FICA"
const QByteArray kCalibrationMagic = QByteArray::fromHex("46495746");  // 0x46574946

class CliPullKeysSettings : public PullSweep {};

TEST_F(CliPullKeysSettings, SettingsPulledAtEveryReport)
{
    ASSERT_EQ(cli({"status"}).exitCode, 0);
    const QByteArray before = flash();
    const QStringList job{"settings", "--size", "6", "--double-writing", "1", "--points", "4"};
    QByteArray after;
    const std::vector<TracedCommand> commands = traceCleanRun(job, before, after);
    ASSERT_GT(commands.size(), 20u);
    ASSERT_NE(area(after, true, kScreenRecord, kScreenRecordSize), area(before, true, kScreenRecord, kScreenRecordSize));
    std::set<int> every;
    addRange(every, 1, static_cast<int>(commands.size()) + 1);
    sweep(job, before, after, static_cast<int>(commands.size()), every, [&](const QByteArray& left) {
        expectOldNewOrInvalid(before, after, left, {{"screen record", kScreenRecord, kScreenRecordSize, withoutMagic(kScreenMagic)}});
    });
}

// The key store is pulled at every report from the capture's end on (and
// at the first reports and some of the capture's queries). A record left
// without its validity word cannot be used for keys: a clean run then
// refuses before writing anything, until the record is put back (the
// host-side record journal restores it) or the touch calibration is done
// again.
TEST_F(CliPullKeysSettings, KeyCalibrationPulledAtEveryReportOfTheStore)
{
    writeFile("Tovrin.ini", "[Left_Key]\nGroupCnt=1\nGroup1_Num=2\n[Right_Key]\nGroupCnt=1\nGroup1_Num=3\n"
                            "[Bottom_Key]\nGroupCnt=1\nGroup1_Num=1\n[Top_Key]\nGroupCnt=1\nGroup1_Num=2\n");
    writeFile("Tovrin_Key.ini", "[Key_Value]\nKeyCnt=30\n");  // 62 bytes: the codes take two reports
    ASSERT_EQ(cli({"status"}, "ideal-calibration").exitCode, 0);
    const QByteArray before = flash();
    const QStringList job{"keys", "calibrate"};
    QByteArray after;
    const std::vector<TracedCommand> commands = traceCleanRun(job, before, after);
    ASSERT_GT(commands.size(), 100u);
    const int reports = static_cast<int>(commands.size());
    int firstErase = 0;
    for (const TracedCommand& c : commands)
        if (c.number == 13 && firstErase == 0)
            firstErase = c.index;
    ASSERT_GT(firstErase, 0);
    std::set<int> at;
    addRange(at, 1, 4);
    for (int n = 5; n < firstErase - 40; n += std::max(1, (firstErase - 40) / 6))
        at.insert(n);
    addRange(at, firstErase - 40, reports + 1);

    SweepChecks checks;
    checks.struck = [&](const QByteArray& left, const CliRun& pulled) {
        EXPECT_FALSE(pulled.err.contains("Read flash info failed")) << pulled.err.toStdString();
        const QByteArray header = area(left, false, kKeyCodeBlock, 2);
        EXPECT_TRUE(area(left, false, kKeyCodeBlock, 62) == area(before, false, kKeyCodeBlock, 62) ||
                    area(left, false, kKeyCodeBlock, 62) == area(after, false, kKeyCodeBlock, 62) ||
                    header == QByteArray(2, '\xff'))
            << "key code block with a count over codes it does not hold";
        expectOldNewOrInvalid(before, after, left,
                              {{"calibration record", kCalibrationRecord, kCalibrationRecordSize, withoutMagic(kCalibrationMagic)},
                               {"key code block", kKeyCodeBlock, 62, {}}});
    };
    checks.again = [&](const QByteArray& left, const CliRun& again) {
        const bool usable = area(left, false, kCalibrationRecord, 4) == kCalibrationMagic &&
                            area(left, true, kCalibrationRecord, 4) == kCalibrationMagic;
        if (usable) {
            EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
            EXPECT_EQ(flash(), after);
        } else {
            EXPECT_EQ(again.exitCode, 1) << again.err.toStdString();
            EXPECT_EQ(flash(), left) << "a refused run wrote something";
        }
    };
    sweep(job, before, after, reports, at, checks);
}

} // namespace
