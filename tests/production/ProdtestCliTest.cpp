// tovrin-cli prodtest: the exit code of the outcome, with a frame that keeps
// its flash and one that changes a byte between two cycles.

#include "tests/cli/CliRunner.h"

using namespace tovrin::test;

namespace {

class ProdtestCli : public CliTest {};

TEST_F(ProdtestCli, AnUnchangedFramePasses)
{
    const CliRun r = cli({"prodtest", "--cycles", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("1_测试中......"));
    EXPECT_TRUE(r.out.contains("2_测试中......"));
}

TEST_F(ProdtestCli, AChangedByteFailsWithItsBlockAddress)
{
    const CliRun r = cli({"prodtest", "--cycles", "3"}, "flash-drift=slave:0x13002@2");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Slave Flash存在不同。地址：0x00013000")) << r.err.toStdString();
}

TEST_F(ProdtestCli, IgnoredBytesPassOthersFail)
{
    EXPECT_EQ(cli({"prodtest", "--cycles", "2", "--ignore", "exposure,columns"}, "flash-drift=master:0x11009@2").exitCode, 0);
    const CliRun r = cli({"prodtest", "--cycles", "2", "--ignore", "exposure"}, "flash-drift=master:0x11003@2");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Master Flash存在不同。地址：0x00011000"));
}

TEST_F(ProdtestCli, UsageAndNoFrame)
{
    EXPECT_EQ(cli({"prodtest"}).exitCode, 2);
    EXPECT_EQ(cli({"prodtest", "--cycles", "0"}).exitCode, 2);
    EXPECT_EQ(cli({"prodtest", "--cycles", "1", "--ignore", "colour"}).exitCode, 2);
    EXPECT_EQ(cli({"prodtest", "--cycles", "1"}, "unplugged").exitCode, 3);
    EXPECT_EQ(cli({"status"}, "flash-drift=master:zz@1").exitCode, 2);
}

} // namespace
