// tovrin-cli status on the real path: found through sysfs, opened with
// hidapi, its status test over the node; pulled out in the middle of it, and
// with late replies, it ends as it does on the simulated frame's own
// transport.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

class HidrawStatus : public HidrawJob {};

// A factory frame is ready; pulled out in the middle of its status test it
// fails, and plugged back the next run finds it ready.
TEST_F(HidrawStatus, ReadyThenPulledOutInTheMiddle)
{
    const Pair clean = runBoth({"status"});
    EXPECT_EQ(clean.bridge.exitCode, 0) << clean.bridge.err.toStdString();
    EXPECT_TRUE(clean.bridge.out.contains("product: 0x0055"));
    EXPECT_TRUE(clean.bridge.out.contains("status: 0 "));
    EXPECT_EQ(lastEnumerations, 1);
    const size_t commands = commandCount(clean.bridge);
    ASSERT_GE(commands, 1u);
    // The status test is one GetStatus and the frame's waits.
    const QString pull = QStringLiteral("vanish-at=%1").arg(std::max<size_t>(1, commands / 2));
    EXPECT_NE(runBoth({"status"}, pull).bridge.exitCode, 0);
    EXPECT_EQ(runOverBridge({"status"}).exitCode, 0);
}

TEST_F(HidrawStatus, LateReplies)
{
    runBoth({"status"}, "late-replies=2");
}

TEST_F(HidrawStatus, BootLoaderFrame)
{
    const Pair p = runBoth({"status"}, "bootloader");
    EXPECT_EQ(p.bridge.exitCode, 1);
    EXPECT_TRUE(p.bridge.out.contains("product: 0x0042"));
}

TEST_F(HidrawStatus, NoFrame)
{
    const Pair p = runBoth({"status"}, "unplugged");
    EXPECT_EQ(p.bridge.exitCode, 3);
    EXPECT_EQ(lastEnumerations, 0);
}

} // namespace

namespace {

TEST_F(HidrawStatus, NodeNamedOnTheCommandLine)
{
    const JobRun named = runOverBridge({"--device", "/dev/hidraw0", "status"});
    EXPECT_EQ(named.exitCode, 0) << named.err.toStdString();
    EXPECT_TRUE(named.out.contains("status: 0 "));
    EXPECT_EQ(runOverBridge({"status", "--device=/dev/hidraw0"}).exitCode, 0);
    // Another node: no frame there.
    EXPECT_EQ(runOverBridge({"status", "--device", "/dev/hidraw7"}).exitCode, 3);
    EXPECT_EQ(runOverBridge({"status", "--device"}).exitCode, 2);
    EXPECT_EQ(runOverBridge({"--simulate", "--device", "/dev/hidraw0", "status"}).exitCode, 2);
}

} // namespace
