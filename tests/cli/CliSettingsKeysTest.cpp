// tovrin-cli settings and keys on the simulated frame: the settings record
// printed and stored as the settings window's OK stores it, a key
// calibration with the simulated finger, and the key test printing the key
// under the finger.
#include "CliRunner.h"

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

TEST_F(CliSettings, AFrameLostDuringTheWriteIsNotSuccess)
{
    // Output reports: status, two mode switches, two reads, the erase, then
    // the pieces: the frame goes at the second piece.
    const CliRun r = cli({"settings", "--size", "1"}, "vanish-at=8");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("Device Communicate failed")) << r.err.toStdString();
}

class CliKeys : public CliTest {
protected:
    void SetUp() override
    {
        write("Tovrin.ini", "[Left_Key]\nGroupCnt=2\nGroup1_Num=3\nGroup2_Num=2\n"
                            "[Right_Key]\nGroupCnt=1\nGroup1_Num=4\n[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n");
        write("Tovrin_Key.ini", "[Key_Value]\nKeyCnt=2\nKey_1=0x1b\nKey_2=70\n");
    }
    void write(const char* name, const char* text)
    {
        QFile f(home.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
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
    write("Tovrin.ini", "[Top_Key]\nGroupCnt=1\nGroup1_Num=3\n");
    const CliRun r = cli({"keys", "calibrate"}, "ideal-calibration");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("No shortcut key")) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("targets"));
}

TEST_F(CliKeys, BadUsage)
{
    EXPECT_EQ(cli({"keys"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "test"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "test", "--seconds", "0"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "calibrate", "now"}).exitCode, 2);
}

} // namespace
