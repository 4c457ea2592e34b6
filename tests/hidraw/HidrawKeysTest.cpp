// tovrin-cli keys on the real path: the key calibration, then the key test,
// which reads the pressed key from feature report 7 through the node.
#include "tests/hidraw/HidrawJob.h"

#include "sim/KeyPanel.h"

using namespace tovrin::test;

namespace {

class HidrawKeys : public HidrawJob {
protected:
    void SetUp() override
    {
        writeFile("Tovrin.ini", "[Left_Key]\nGroupCnt=2\nGroup1_Num=3\nGroup2_Num=2\n"
                                "[Right_Key]\nGroupCnt=1\nGroup1_Num=4\n[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n");
        writeFile("Tovrin_Key.ini", "[Key_Value]\nKeyCnt=2\nKey_1=0x1b\nKey_2=70\n");
        // The keys of that configuration, printed on the frame's border.
        prepare = [](tovrin::sim::SimulatedFrame& frame) { frame.keyPanel().printKeys({{{3, 2}, {4}, {2}, {}}}); };
    }
};

TEST_F(HidrawKeys, CalibrateThenTestTheTouchedKey)
{
    const Pair calibrated = runBoth({"keys", "calibrate"}, "ideal-calibration,key-auto-touch");
    ASSERT_EQ(calibrated.bridge.exitCode, 0) << calibrated.bridge.err.toStdString();
    EXPECT_TRUE(calibrated.bridge.out.contains("stored: 11 keys, 2 key codes"));

    const JobRun right = runOverBridge({"keys", "test", "--seconds", "1"}, "press-key=R2");
    EXPECT_EQ(right.exitCode, 0) << right.err.toStdString();
    EXPECT_TRUE(right.out.contains("right 2")) << right.out.toStdString();
    bool feature = false;
    for (const TraceLine& l : readTrace(right.trace))
        feature = feature || l.direction == "feature";
    EXPECT_TRUE(feature) << "the key state came as feature report 7";
    const JobRun none = runOverBridge({"keys", "test", "--seconds", "1"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_FALSE(none.out.contains("right")) << none.out.toStdString();
}

TEST_F(HidrawKeys, PulledOutInTheMiddleOfTheCalibration)
{
    const Pair clean = runBoth({"keys", "calibrate"}, "ideal-calibration,key-auto-touch");
    const Pair p = runBoth({"keys", "calibrate"},
                           QStringLiteral("ideal-calibration,key-auto-touch,vanish-at=%1").arg(commandCount(clean.bridge) / 2));
    EXPECT_NE(p.bridge.exitCode, 0);
    const JobRun again = runOverBridge({"keys", "calibrate"}, "ideal-calibration,key-auto-touch");
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_F(HidrawKeys, LateReplies)
{
    runBoth({"keys", "calibrate"}, "ideal-calibration,key-auto-touch,late-replies=2");
}

} // namespace
