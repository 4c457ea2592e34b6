// tovrin-cli versions on the real path.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

class HidrawVersions : public HidrawJob {};

TEST_F(HidrawVersions, FactoryVersions)
{
    const Pair p = runBoth({"versions"});
    EXPECT_EQ(p.bridge.exitCode, 0) << p.bridge.err.toStdString();
    EXPECT_TRUE(p.bridge.out.contains("1.2.5")) << p.bridge.out.toStdString();
}

TEST_F(HidrawVersions, PulledOutInTheMiddleThenPluggedBack)
{
    const Pair clean = runBoth({"versions"});
    const Pair p = runBoth({"versions"}, QStringLiteral("vanish-at=%1").arg(commandCount(clean.bridge) / 2 + 1));
    EXPECT_NE(p.bridge.exitCode, 0);
    const JobRun again = runOverBridge({"versions"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, clean.bridge.out);
}

TEST_F(HidrawVersions, LateReplies)
{
    runBoth({"versions"}, "late-replies=2");
}

} // namespace
