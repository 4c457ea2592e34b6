// The jobs whose paths differ on an extended-frame unit (11-line images,
// lens table B, the settings record at 0x1A000), run from tovrin-cli on a
// simulated frame of that kind; and the shortcut keys of all four edges.
#include "CliRunner.h"

#include <QFile>

using namespace tovrin::test;

namespace {

class CliExtendedFrame : public CliTest {
protected:
    void SetUp() override
    {
        extraEnvironment["TOVRIN_SIM_SCENE"] = "extended";
        writeFile("Tovrin.ini", "[Left_Key]\nGroupCnt=1\nGroup1_Num=2\n[Right_Key]\nGroupCnt=1\nGroup1_Num=2\n"
                                "[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n[Top_Key]\nGroupCnt=1\nGroup1_Num=2\n");
        writeFile("Tovrin_Key.ini", "[Key_Value]\nKeyCnt=2\nKey_1=0x1b\nKey_2=70\n");
    }
};

TEST_F(CliExtendedFrame, StatusLevelImageAndCalibration)
{
    const CliRun status = cli({"status"});
    ASSERT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains("extended frame: 1")) << status.out.toStdString();

    const CliRun level = cli({"level"});
    ASSERT_EQ(level.exitCode, 0) << level.err.toStdString();
    EXPECT_TRUE(level.err.contains("Leveling completed!"));
    EXPECT_EQ(flash(0, 0x1A000, 4), QByteArray("TEST"));  // the leveling settings record
    EXPECT_EQ(flash(1, 0x1A000, 4), QByteArray("TEST"));

    EXPECT_EQ(cli({"image", "l.pgm", "r.pgm"}).exitCode, 0);
    const CliRun calibrated = cli({"calibrate", "--points", "4"});
    ASSERT_EQ(calibrated.exitCode, 0) << calibrated.err.toStdString();
    EXPECT_EQ(static_cast<uint8_t>(flash(1, 0x11000 + 1218, 1).at(0)), 94) << "lens table B";
}

// Keys printed on every edge where both cameras take them, the top keys too.
TEST_F(CliExtendedFrame, KeysOfAllFourEdges)
{
    for (const char* scene : {"extended", "ordinary"}) {
        extraEnvironment["TOVRIN_SIM_SCENE"] = scene;
        QFile::remove(home.filePath("frame.bin"));
        const CliRun calibrated = cli({"keys", "calibrate"}, "ideal-calibration");
        ASSERT_EQ(calibrated.exitCode, 0) << scene << calibrated.err.toStdString();
        EXPECT_TRUE(calibrated.out.contains("stored: 8 keys")) << calibrated.out.toStdString();
        for (const auto& [key, text] : {std::pair{"T2", "top 2"}, std::pair{"L1", "left 1"}, std::pair{"B2", "bottom 2"}}) {
            const CliRun pressed = cli({"keys", "test", "--seconds", "1"}, QStringLiteral("press-key=%1").arg(key));
            EXPECT_TRUE(pressed.out.contains(text)) << scene << " " << key << ": " << pressed.out.toStdString();
        }
    }
}

} // namespace
