// tovrin-cli flash dump on the real path: 128 KB of the Master's flash in
// 61-byte reads through the node.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

constexpr int kUnitFlash = 0x20000;

class HidrawFlash : public HidrawJob {
protected:
    Pair dump(const QString& faults = {})
    {
        QFile::remove(home.filePath("dump.bin"));
        return runBoth({"flash", "dump", "--unit", "master", "dump.bin"}, faults);
    }
};

TEST_F(HidrawFlash, DumpOfTheMasterUnit)
{
    runOverBridge({"status"});  // the factory frame's flash file
    const QByteArray frameFlash = flash();
    ASSERT_EQ(frameFlash.size(), 2 * kUnitFlash);
    QFile::remove(home.filePath("dump.bin"));
    const JobRun r = runOverBridge({"flash", "dump", "--unit", "master", "dump.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray dumped = readFile("dump.bin");
    EXPECT_EQ(dumped.size(), kUnitFlash);
    EXPECT_TRUE(dumped == frameFlash.left(kUnitFlash)) << "the dump is the Master's flash";
    // The same, command for command, as on the simulated frame's transport.
    const Pair clean = dump();
    EXPECT_TRUE(readFile("dump.bin") == dumped);

    // Pulled out in the middle: the frame is gone, and said so; plugged back
    // the dump runs again.
    const size_t commands = commandCount(clean.bridge);
    ASSERT_GT(commands, 2000u);
    const Pair p = dump(QStringLiteral("vanish-at=%1").arg(commands / 2));
    EXPECT_EQ(p.bridge.exitCode, 3);
    EXPECT_TRUE(p.bridge.err.contains("Device has been pulled out, please exit.")) << p.bridge.err.toStdString();
    EXPECT_EQ(runOverBridge({"flash", "dump", "--unit", "master", "dump.bin"}).exitCode, 0);
}

TEST_F(HidrawFlash, LateReplies)
{
    dump("late-replies=3");
}

} // namespace
