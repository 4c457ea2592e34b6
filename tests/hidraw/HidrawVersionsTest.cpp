// tovrin-cli versions on the real path.
#include "tests/hidraw/HidrawJob.h"

using namespace tovrin::test;

namespace {

class HidrawVersions : public HidrawJob {};

TEST_F(HidrawVersions, FactoryVersionsThenPulledOutInTheMiddle)
{
    const Pair clean = runBoth({"versions"});
    EXPECT_EQ(clean.bridge.exitCode, 0) << clean.bridge.err.toStdString();
    EXPECT_TRUE(clean.bridge.out.contains("1.2.5")) << clean.bridge.out.toStdString();
    const Pair p = runBoth({"versions"}, QStringLiteral("vanish-at=%1").arg(commandCount(clean.bridge) / 2 + 1));
    EXPECT_NE(p.bridge.exitCode, 0);
    // Plugged back, the same versions.
    const JobRun again = runOverBridge({"versions"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, clean.bridge.out);
}

TEST_F(HidrawVersions, LateReplies)
{
    runBoth({"versions"}, "late-replies=2");
}

} // namespace
