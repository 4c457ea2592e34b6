// tovrin-cli prodtest: the exit code of the outcome, with a frame that keeps
// its flash and one that changes a byte between two cycles.

#include "tests/service/PullSweep.h"

using namespace tovrin::test;

namespace {

class ProdtestCli : public PullSweep {};

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

TEST_F(ProdtestCli, AFrameThatRefusesWorkModeFailsTheTest)
{
    // Without valid calibration records a frame refuses work mode as its
    // normal state; the test exists for the switch all the same.
    ASSERT_EQ(cli({"flash", "erase", "--unit", "slave"}).exitCode, 0);
    for (const char* fault : {"refuse-work-mode", "mute-work-mode"}) {
        const CliRun r = cli({"prodtest", "--cycles", "2"}, fault);
        EXPECT_NE(r.exitCode, 0) << fault;
        EXPECT_TRUE(r.err.contains("模式转换失败！")) << fault << ": " << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("unchanged")) << fault;
    }
}

TEST_F(ProdtestCli, PulledAtAnyStepTheTestNeverPasses)
{
    // Swept: the reports where one kind of request gives way to another
    // (each mode switch, sensor read and leveling step, the first and last
    // reads of each unit's dump), and every 1000th report between.
    ASSERT_EQ(cli({"status"}).exitCode, 0);
    const QByteArray before = flash();
    QByteArray after;
    const QStringList job{"prodtest", "--cycles", "1"};
    const auto commands = traceCleanRun(job, before, after);
    ASSERT_EQ(after, before);
    std::set<int> at;
    int previous = -1;
    for (const TracedCommand& c : commands) {
        if (c.number != previous)
            addRange(at, c.index - 1, c.index);  // where one kind of step gives way to another
        previous = c.number;
        if (c.index % 1000 == 0)
            at.insert(c.index);
    }
    addRange(at, static_cast<int>(commands.size()) - 1, static_cast<int>(commands.size()) + 1);
    sweep(job, before, after, static_cast<int>(commands.size()), at, [&](const QByteArray& left) { EXPECT_EQ(left, before); });
}

} // namespace
