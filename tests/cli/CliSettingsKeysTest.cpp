// tovrin-cli settings and keys on the simulated frame: the settings record
// printed and stored as the settings window's OK stores it, a key
// calibration with the simulated finger, and the key test printing the key
// under the finger.
#include "tests/service/PullSweep.h"
#include "tests/support/Files.h"

#include <QElapsedTimer>
#include <QFile>

using namespace tovrin::test;

namespace {

class CliSettings : public CliTest {};

TEST_F(CliSettings, PrintsTheRecordAndTheIni)
{
    const CliRun r = cli({"settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("record: valid"));
    EXPECT_TRUE(r.out.contains("Tovrin.ini:"));
    EXPECT_TRUE(r.out.contains("Tovrin_ScreenInfo/Screen_Size="));
}

TEST_F(CliSettings, StoresThenFindsNothingToChange)
{
    const QStringList args{"settings", "--size", "5", "--rotation", "2", "--points", "4", "--double-writing", "1"};
    const CliRun first = cli(args);
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("stored: Slave and Master read back equal"));
    const CliRun again = cli(args);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains("unchanged: nothing written"));
    const CliRun shown = cli({"settings"});
    EXPECT_TRUE(shown.out.contains("screen size class: 5"));
    EXPECT_TRUE(shown.out.contains("rotation: 2"));
    EXPECT_TRUE(shown.out.contains("four-point calibration: 1"));
    EXPECT_TRUE(shown.out.contains("double writing: 1"));
    EXPECT_TRUE(shown.out.contains("Tovrin_ScreenInfo/Screen_Direction=1"));
}

TEST_F(CliSettings, ValuesOutsideTheChoicesAreBadUsage)
{
    for (const QStringList& args : {QStringList{"settings", "--size", "8"}, QStringList{"settings", "--points", "5"},
                                    QStringList{"settings", "--rotation", "x"}, QStringList{"settings", "--size"},
                                    QStringList{"settings", "--colour", "1"}})
        EXPECT_EQ(cli(args).exitCode, 2) << args.join(' ').toStdString();
}

// Printing reads the Slave's flash as every flash job does: in calibration
// mode, and the frame goes back to work mode after.
TEST_F(CliSettings, PrintReadsTheRecordInCalibrationModeAndReturnsToWork)
{
    const QString trace = home.filePath("trace.txt");
    extraEnvironment["TOVRIN_TRACE"] = trace;
    const CliRun r = cli({"settings"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    int calibration = -1, read = -1, work = -1;
    for (const TracedCommand& c : tracedCommands(trace)) {
        if (c.number == 14 && static_cast<uint8_t>(c.payload[0]) == 0xFF && read < 0)
            calibration = c.index;
        if (c.number == 29 && c.payload.left(3) == QByteArray::fromHex("008001"))
            read = c.index;
        if (c.number == 14 && static_cast<uint8_t>(c.payload[0]) == 0x22 && read >= 0)
            work = c.index;
    }
    ASSERT_GE(read, 0);
    EXPECT_GE(calibration, 0);
    EXPECT_LT(calibration, read);
    EXPECT_GT(work, read);
}

TEST_F(CliSettings, TouchTypeIsStoredOnlyWithAutoCheck)
{
    writeFile("Tovrin.ini", "[os_check]\nAutoCheck=0\n");
    const QString before = cli({"settings"}).out;
    const CliRun refused = cli({"settings", "--touch-type", "2", "--size", "1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("AutoCheck")) << refused.err.toStdString();
    EXPECT_EQ(cli({"settings"}).out, before);

    writeFile("Tovrin.ini", "[os_check]\nAutoCheck=1\n");
    const CliRun stored = cli({"settings", "--touch-type", "2"});
    EXPECT_EQ(stored.exitCode, 0) << stored.err.toStdString();
    EXPECT_TRUE(cli({"settings"}).out.contains("touch type: 2"));
}

// Stored, but the frame never went back to work mode to take the settings:
// not done.
TEST_F(CliSettings, SettingsStoredWithoutWorkModeAreNotSuccess)
{
    const CliRun r = cli({"settings", "--size", "6"}, "refuse-work-mode");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("stored: Slave and Master read back equal")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("did not take work mode")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Reset failed, please try again!")) << r.err.toStdString();
    const CliRun again = cli({"settings", "--size", "6"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out.contains("unchanged: nothing written"));
}

class CliKeys : public CliTest {
protected:
    void SetUp() override
    {
        writeFile("Tovrin.ini", "[Left_Key]\nGroupCnt=2\nGroup1_Num=3\nGroup2_Num=2\n"
                                "[Right_Key]\nGroupCnt=1\nGroup1_Num=4\n[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n");
        writeFile("Tovrin_Key.ini", "[Key_Value]\nKeyCnt=2\nKey_1=0x1b\nKey_2=70\n");
    }
};

TEST_F(CliKeys, CalibrateThenTestTheTouchedKey)
{
    const CliRun calibrated = cli({"keys", "calibrate"}, "ideal-calibration");
    ASSERT_EQ(calibrated.exitCode, 0) << calibrated.err.toStdString();
    EXPECT_TRUE(calibrated.out.contains("targets: 16"));
    EXPECT_TRUE(calibrated.out.contains("stored: 11 keys, 2 key codes"));
    EXPECT_TRUE(calibrated.out.contains("right 4:"));

    const CliRun right = cli({"keys", "test", "--seconds", "1"}, "press-key=R2");
    EXPECT_EQ(right.exitCode, 0) << right.err.toStdString();
    EXPECT_TRUE(right.out.contains("right 2")) << right.out.toStdString();
    const CliRun bottom = cli({"keys", "test", "--seconds", "1"}, "press-key=B1");
    EXPECT_TRUE(bottom.out.contains("bottom 1")) << bottom.out.toStdString();
    const CliRun none = cli({"keys", "test", "--seconds", "1"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_FALSE(none.out.contains("left")) << none.out.toStdString();
}

TEST_F(CliKeys, ALayoutBeyondTheRecordIsRefused)
{
    writeFile("Tovrin.ini", "[Top_Key]\nGroupCnt=1\nGroup1_Num=3\n");
    const CliRun r = cli({"keys", "calibrate"}, "ideal-calibration");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("No shortcut key")) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("targets"));
}

TEST_F(CliKeys, AKeyCountThatIsNotANumberStoresNothing)
{
    ASSERT_EQ(cli({"keys", "calibrate"}, "ideal-calibration").exitCode, 0);
    const QByteArray block = flash(0, 0x19000, 6);
    ASSERT_EQ(block, QByteArray::fromHex("0200001b0070"));
    for (const char* codes : {"[Key_Value]\nKeyCnt=0x2\nKey_1=1b\nKey_2=1c\n", "[Key_Value]\nKeyCnt=abc\n",
                              "[Key_Value]\nKey_1=1b\n"}) {
        writeFile("Tovrin_Key.ini", codes);
        const CliRun r = cli({"keys", "calibrate"});
        EXPECT_EQ(r.exitCode, 1) << codes;
        EXPECT_TRUE(r.err.contains("KeyCnt")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("No shortcut key")) << r.err.toStdString();
        EXPECT_EQ(flash(0, 0x19000, 6), block) << codes;
    }
}

TEST_F(CliKeys, WithoutTheKeyCodeFileTheFrameKeepsItsCodes)
{
    ASSERT_EQ(cli({"keys", "calibrate"}, "ideal-calibration").exitCode, 0);
    const QByteArray block = flash(0, 0x19000, 6);
    ASSERT_TRUE(QFile::remove(home.filePath("Tovrin_Key.ini")));
    const CliRun r = cli({"keys", "calibrate"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("the frame keeps the key codes it holds")) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("stored: 11 keys, the frame's key codes kept")) << r.out.toStdString();
    EXPECT_EQ(flash(0, 0x19000, 6), block);
}

TEST_F(CliKeys, AsksForEachCornerByItsKey)
{
    const CliRun r = cli({"keys", "calibrate"}, "ideal-calibration");
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* line : {"touch: left key 1 (group 1), top-left corner\n", "touch: left key 3 (group 1), bottom-right corner\n",
                             "touch: left key 4 (group 2), top-left corner\n", "touch: right key 4 (group 1), top-left corner\n",
                             "touch: bottom key 2 (group 1), bottom-right corner\n"})
        EXPECT_TRUE(r.out.contains(QString::fromLatin1(line))) << line << r.out.toStdString();
    EXPECT_EQ(r.out.count("touch: "), 16);
}

// A corner the cameras never both take ends the run after the time given,
// naming the key; nothing is written.
TEST_F(CliKeys, ACornerNeverTakenEndsTheRunNamingIt)
{
    ASSERT_EQ(cli({"status"}, "ideal-calibration").exitCode, 0);
    const QByteArray before = flash();
    QElapsedTimer clock;
    clock.start();
    const CliRun r = cli({"keys", "calibrate", "--target-seconds", "1"}, "blind-left");
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not taken within 1 s: left key 1 (group 1), top-left corner")) << r.err.toStdString();
    EXPECT_EQ(flash(), before);
    EXPECT_EQ(cli({"keys", "calibrate", "--target-seconds", "0"}).exitCode, 2);
}

TEST_F(CliKeys, TheKeyTestEndsWhenTheFrameGoes)
{
    ASSERT_EQ(cli({"keys", "calibrate"}, "ideal-calibration").exitCode, 0);
    QElapsedTimer clock;
    clock.start();
    const CliRun r = cli({"keys", "test", "--seconds", "30"}, "vanish-at-feature=20");
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("Device has been pulled out, please exit.")) << r.err.toStdString();
}

// Keys along the top edge, where the windows draw them: both cameras see
// them at the far ends of their lines.
TEST_F(CliKeys, TopKeysCalibrateAndLight)
{
    writeFile("Tovrin.ini", "[Top_Key]\nGroupCnt=1\nGroup1_Num=2\n");
    const CliRun calibrated = cli({"keys", "calibrate", "--target-seconds", "20"}, "ideal-calibration");
    ASSERT_EQ(calibrated.exitCode, 0) << calibrated.err.toStdString();
    EXPECT_TRUE(calibrated.out.contains("stored: 2 keys")) << calibrated.out.toStdString();
    for (const auto& [key, text] : {std::pair{"T1", "top 1"}, std::pair{"T2", "top 2"}}) {
        const CliRun pressed = cli({"keys", "test", "--seconds", "1"}, QStringLiteral("press-key=%1").arg(key));
        EXPECT_EQ(pressed.exitCode, 0) << pressed.err.toStdString();
        EXPECT_TRUE(pressed.out.contains(text)) << key << ": " << pressed.out.toStdString();
    }
}

TEST_F(CliKeys, BadUsage)
{
    EXPECT_EQ(cli({"keys"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "test"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "test", "--seconds", "0"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "calibrate", "now"}).exitCode, 2);
}

} // namespace
