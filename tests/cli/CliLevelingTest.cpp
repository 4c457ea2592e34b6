// tovrin-cli level and image on the simulated frame: a whole leveling with
// its printed results, the refusals and failures with their messages and
// exit codes, and the frame's records untouched by a failed run.
#include "CliRunner.h"

#include <QFile>
#include <QRegularExpression>

using namespace tovrin::test;

namespace {

class CliLeveling : public CliTest {
protected:
    QByteArray screenRecords() const { return flash(0, 0x18000, 4096) + flash(1, 0x18000, 4096); }

    // The frame line of a saved picture whose middle columns are brightest.
    int brightestLine(const QString& name)
    {
        const QByteArray bytes = readFile(name);
        const qsizetype header = QByteArray("P5\n640 9\n255\n").size();
        int best = 0, bestLine = -1;
        for (int line = 0; line < 9 && header + (line + 1) * 640 <= bytes.size(); ++line) {
            int sum = 0;
            for (int c = 200; c < 400; ++c)
                sum += static_cast<uint8_t>(bytes[header + line * 640 + c]);
            if (sum > best) {
                best = sum;
                bestLine = line;
            }
        }
        return bestLine;
    }

    // "<unit> start_line=.. start_column=A end_column=B": {A, B}.
    static std::pair<int, int> columnsOf(const QString& out, const char* unit)
    {
        const QRegularExpression re(QStringLiteral("%1 start_line=\\d+ start_column=(\\d+) end_column=(\\d+)").arg(unit));
        const QRegularExpressionMatch m = re.match(out);
        return m.hasMatch() ? std::make_pair(m.captured(1).toInt(), m.captured(2).toInt()) : std::make_pair(-1, -1);
    }
};

TEST_F(CliLeveling, LevelsBothUnitsAndPrintsThem)
{
    const CliRun r = cli({"level"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression(
        "master start_line=236 start_column=40 end_column=600 exposure=0x[0-9a-f]{4} scale_index=\\d+ marked=0")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("slave start_line=248 start_column=34 end_column=610"));
    EXPECT_TRUE(r.err.contains("Leveling completed!"));
}

TEST_F(CliLeveling, DimCameraIsMarked)
{
    extraEnvironment["TOVRIN_SIM_SCENE"] = "slave.reflect=38";
    const CliRun r = cli({"level"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QRegularExpression("slave .* marked=1")));
}

struct FailureRow {
    const char* name;
    const char* faults;
    const char* message;
    const char* scene = nullptr;  // TOVRIN_SIM_SCENE of the failing run
};

class CliLevelingFailure : public CliLeveling, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CliLevelingFailure, EndsWithItsMessage)
{
    ASSERT_EQ(cli({"status"}).exitCode, 0);
    const QByteArray before = screenRecords();
    if (GetParam().scene)
        extraEnvironment["TOVRIN_SIM_SCENE"] = GetParam().scene;
    const CliRun r = cli({"level"}, GetParam().faults);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(GetParam().message)) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("Leveling completed!"));
    EXPECT_EQ(screenRecords(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliLevelingFailure,
    ::testing::Values(FailureRow{"NoLine", "no-line=master", "Failed to find the starting line"},
                      FailureRow{"SetLine", "fail-setline", "Failed to configure the starting line"},
                      FailureRow{"Columns", "fail-linerange=slave", "Failed to find the start and end column"},
                      FailureRow{"Zones", "fail-zones", "Failed to optimum line"},
                      FailureRow{"Exposure", "fail-exposure=slave", "Failed to get the exposure parameters"},
                      // A start line outside 51..299 is refused.
                      FailureRow{"StartLine", "", "Image parameters not appropriate, please adjust again!", "master.row=300"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CliLeveling, ImageSavesBothCamerasAsPgm)
{
    const CliRun r = cli({"image", "left.pgm", "right.pgm"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray bytes = readFile("left.pgm");
    ASSERT_TRUE(bytes.startsWith("P5\n640 9\n255\n"));
    EXPECT_EQ(bytes.size(), 13 + 640 * 9);
    // The leveled band is the brightest line in the middle of the frame.
    EXPECT_EQ(brightestLine("left.pgm"), 4);
}

// The camera was knocked: its band grazes row 240 now. Leveling finds it,
// the frame keeps the new start line, and its images follow it from then on.
TEST_F(CliLeveling, TheFrameKeepsItsNewStartLine)
{
    ASSERT_EQ(cli({"status"}).exitCode, 0);  // leveled in the factory on row 236
    extraEnvironment["TOVRIN_SIM_SCENE"] = "master.row=240";
    ASSERT_EQ(cli({"image", "before.pgm", "r.pgm"}).exitCode, 0);
    EXPECT_EQ(brightestLine("before.pgm"), 7) << "the band left the middle of the window";
    const CliRun r = cli({"level"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("master start_line=240 ")) << r.out.toStdString();
    ASSERT_EQ(cli({"image", "after.pgm", "r.pgm"}).exitCode, 0);
    EXPECT_EQ(brightestLine("after.pgm"), 4);
}

TEST_F(CliLeveling, ARolledCameraGivesTheColumnsWhereTheBandStaysInTheWindow)
{
    extraEnvironment["TOVRIN_SIM_SCENE"] = "master.roll=40";
    const CliRun r = cli({"level"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // 40 rows across 640 columns: the 8 lines of the window hold the band
    // for about 130 columns around the middle.
    const auto [first, last] = columnsOf(r.out, "master");
    EXPECT_GT(first, 220) << r.out.toStdString();
    EXPECT_LT(last, 420) << r.out.toStdString();
    EXPECT_EQ(columnsOf(r.out, "slave"), std::make_pair(34, 610));
}

TEST_F(CliLeveling, ANoisySensorNoLongerLevelsExactly)
{
    const CliRun quiet = cli({"level"});
    ASSERT_EQ(quiet.exitCode, 0);
    extraEnvironment["TOVRIN_SIM_SCENE"] = "noise=200";
    const CliRun noisy = cli({"level"});
    const QString line = quiet.out.section('\n', 0, 0);
    EXPECT_FALSE(noisy.out.contains(line)) << noisy.out.toStdString();
}

TEST_F(CliLeveling, ImageOfAFramePulledOutMidwayFails)
{
    const CliRun r = cli({"image", "--compressed", "l.pgm", "r.pgm"}, "vanish-in-frame=5");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Device has been pulled out, please exit."));
    EXPECT_FALSE(QFile::exists(home.path() + "/l.pgm"));
}

TEST_F(CliLeveling, BadUsage)
{
    EXPECT_EQ(cli({"image", "only-one.pgm"}).exitCode, 2);
    EXPECT_EQ(cli({"level", "extra"}).exitCode, 2);
    EXPECT_EQ(cli({"level"}, "unplugged").exitCode, 3);
}

} // namespace
