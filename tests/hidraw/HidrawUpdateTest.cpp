// tovrin-cli update on the real path: the frame restarts into its boot
// loader (0x0042) and back (0x0055), each time leaving sysfs and coming
// again as a new HID device, found again by the detection's polling.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

const QString kPackage = QStringLiteral(TOVRIN_SAMPLE_PACKAGE);

class HidrawUpdate : public HidrawJob {};

TEST_F(HidrawUpdate, WholeUpdateWithItsReenumerations)
{
    const Pair p = runBoth({"update", kPackage});
    ASSERT_EQ(p.bridge.exitCode, 0) << p.bridge.err.toStdString();
    EXPECT_TRUE(p.bridge.out.contains("updated\nstatus: 0 Devices check completed.\n")) << p.bridge.out.toStdString();
    // Application, boot loader, application again.
    EXPECT_EQ(lastEnumerations, 3);
    EXPECT_EQ(runOverBridge({"status"}).exitCode, 0);
}

TEST_F(HidrawUpdate, PulledOutDuringTheDownloadThenPluggedBack)
{
    const Pair cut = runBoth({"update", kPackage}, "unplug-at-block=100");
    EXPECT_EQ(cut.bridge.exitCode, 3) << cut.bridge.err.toStdString();
    // Back on the bus the frame sits in its boot loader; the update is
    // finished from there.
    const JobRun status = runOverBridge({"status"});
    EXPECT_TRUE(status.out.contains("product: 0x0042")) << status.out.toStdString();
    const Pair again = runBoth({"update", kPackage});
    EXPECT_EQ(again.bridge.exitCode, 0) << again.bridge.err.toStdString();
    EXPECT_TRUE(runOverBridge({"status"}).out.contains("product: 0x0055"));
}

TEST_F(HidrawUpdate, LateReplies)
{
    runBoth({"update", kPackage}, "late-replies=2");
}

} // namespace
