// tovrin-cli versions, test and update on the simulated frame: what a
// production line reads from them, and an update cut short by the frame
// followed by a second run that finds the frame in its boot loader.
#include "CliRunner.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

using namespace tovrin::test;

namespace {

class CliUpdate : public CliTest {
protected:
    const QString package = QStringLiteral(TOVRIN_SAMPLE_PACKAGE);
};

// The numbers of the "progress N%" lines, in order.
QList<int> progressOf(const QString& out)
{
    QList<int> values;
    const QRegularExpression line(QStringLiteral("^progress (\\d+)%$"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(out); it.hasNext();)
        values << it.next().captured(1).toInt();
    return values;
}

TEST_F(CliUpdate, VersionsOfAFactoryFrame)
{
    const CliRun r = cli({"versions"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("ToolID:3.1.30\n(M)FirmwareID: 1.2.5\n(S)FirmwareID: 1.2.5\nBootloaderID: 1.0.7\n"));
}

TEST_F(CliUpdate, DeviceTestOfAHealthyFrameAndOneWithoutItsApplication)
{
    const CliRun r = cli({"test"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("left sensor: ok\nleft FPGA: ok\nright sensor: ok\nright FPGA: ok\n"));
    EXPECT_TRUE(r.out.endsWith("Equipment testing succeed, can work normally!\n"));
    const CliRun loader = cli({"test"}, "bootloader");
    EXPECT_EQ(loader.exitCode, 1);
    EXPECT_TRUE(loader.err.contains("The device is not ready, please update the firmware.")) << loader.err.toStdString();
    EXPECT_EQ(cli({"test"}, "unplugged").exitCode, 3);
}

TEST_F(CliUpdate, UpdateBringsTheNewVersions)
{
    const CliRun r = cli({"update", package});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<int> progress = progressOf(r.out);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << r.out.toStdString();
    EXPECT_EQ(progress.last(), 99);
    EXPECT_TRUE(r.out.contains("updated\nstatus: 0 Devices check completed.\n"));
    const CliRun v = cli({"versions"});
    EXPECT_EQ(v.out, QStringLiteral("ToolID:3.1.30\n(M)FirmwareID: 1.2.6\n(S)FirmwareID: 1.2.6\nBootloaderID: 1.0.7\n"));
}

TEST_F(CliUpdate, RefusedPacketLeavesTheFrameInItsBootLoaderForTheNextRun)
{
    const CliRun cut = cli({"update", package}, "refuse-block=40");
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("Update failed, please exit and try again!"));
    // The transfer's debug lines are for the log; standard error holds the messages only.
    EXPECT_FALSE(cut.err.contains("g_UpdateImageSucEvent")) << cut.err.toStdString();
    EXPECT_TRUE(logText().contains("g_UpdateImageSucEvent: WaitForSingleObject Failed!"));
    const CliRun status = cli({"status"});
    EXPECT_TRUE(status.out.contains("product: 0x0042"));
    const CliRun again = cli({"update", package});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out.startsWith("firmware: boot loader, updating from there\n"));
    EXPECT_TRUE(cli({"status"}).out.contains("product: 0x0055"));
}

TEST_F(CliUpdate, UnpluggedMidwayIsNoFrameAndTheNextRunFinishes)
{
    const CliRun cut = cli({"update", package}, "unplug-at-block=100");
    EXPECT_EQ(cut.exitCode, 3);
    EXPECT_TRUE(cut.err.contains("Device not detected, please check the connection."));
    EXPECT_FALSE(cut.err.contains("GetOverlappedResult")) << cut.err.toStdString();
    EXPECT_TRUE(logText().contains("111GetOverlappedResult_Tov:ret =1167"));
    const CliRun again = cli({"update", package});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_F(CliUpdate, BadPackagesAndMissingFrames)
{
    ASSERT_TRUE(tovrin::test::writeFile(home.filePath("short.bin"), QByteArray(40, '\1')));
    const CliRun missing = cli({"update", home.filePath("missing.bin")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Failed to open the file"));
    const CliRun folder = cli({"update", home.path()});
    EXPECT_EQ(folder.exitCode, 1);
    const CliRun truncated = cli({"update", home.filePath("short.bin")});
    EXPECT_EQ(truncated.exitCode, 1);
    EXPECT_TRUE(truncated.err.contains("The configuration file is incorrect, please re-open."));
    EXPECT_EQ(cli({"update", package}, "unplugged").exitCode, 3);
    EXPECT_EQ(cli({"update"}).exitCode, 2);
    // The frame was never touched: it still runs its old firmware.
    EXPECT_TRUE(cli({"versions"}).out.contains("1.2.5"));
}

TEST_F(CliUpdate, NewApplicationThatDoesNotStartIsAFailureNotAMissingFrame)
{
    const CliRun r = cli({"update", package}, "new-application-dead");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("The device is not ready, please update the firmware.")) << r.err.toStdString();
    // Powered up again, the frame waits in its boot loader (its new
    // application still does not start): the next run updates from there.
    const CliRun again = cli({"update", package}, "bootloader,new-application-dead");
    EXPECT_TRUE(again.out.startsWith("firmware: boot loader, updating from there\n")) << again.out.toStdString();
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(cli({"update", package}).exitCode, 0);
}

TEST_F(CliUpdate, BootLoaderThatNeverComesBack)
{
    const CliRun r = cli({"update", package}, "bootloader-gone");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("Device not detected"));
}

} // namespace
