// tovrin-cli as a production line uses it: exit codes, help, the status
// test against a present, missing, misbehaving or boot-loader frame.
#include "CliRunner.h"

using namespace tovrin::test;

namespace {

class Cli : public CliTest {};

TEST_F(Cli, HelpListsVerbsAndExitsZero)
{
    const CliRun r = cli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("status"));
    EXPECT_TRUE(r.out.contains("3 no frame"));
}

TEST_F(Cli, BadUsageExitsTwo)
{
    EXPECT_EQ(cli({}).exitCode, 2);
    EXPECT_EQ(cli({"no-such-verb"}).exitCode, 2);
    EXPECT_EQ(cli({"status", "extra"}).exitCode, 2);
    const CliRun r = cli({"status"}, "no-such-fault");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("no-such-fault"));
}

TEST_F(Cli, StatusOfAReadyFrame)
{
    const CliRun r = cli({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("product: 0x0055"));
    EXPECT_TRUE(r.out.contains("Devices check completed."));
}

TEST_F(Cli, NoFrameExitsThree)
{
    const CliRun r = cli({"status"}, "unplugged");
    EXPECT_EQ(r.exitCode, 3);
}

TEST_F(Cli, FrameThatNeverAnswersIsAFailureNotAFrameMissing)
{
    const CliRun r = cli({"status"}, "drop-replies=5");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty() && r.out.isEmpty());
}

TEST_F(Cli, BootLoaderIsReportedAndRefused)
{
    const CliRun r = cli({"status"}, "bootloader");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("0x0042"));
}

} // namespace
