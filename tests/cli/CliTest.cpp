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

// The status test of a ready, a missing, a silent and a boot-loader frame:
// a frame that never answers is a failure, not a frame missing; the boot
// loader is reported and refused.
TEST_F(Cli, StatusOfEachKindOfFrame)
{
    struct Row {
        const char* faults;
        int exitCode;
        QStringList shown;
    };
    for (const Row& row : {Row{"", 0, {"product: 0x0055", "Devices check completed."}}, Row{"unplugged", 3, {}},
                           Row{"drop-replies=5", 1, {}}, Row{"bootloader", 1, {"0x0042"}}}) {
        const CliRun r = cli({"status"}, row.faults);
        EXPECT_EQ(r.exitCode, row.exitCode) << row.faults << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty() && r.out.isEmpty()) << row.faults;
        for (const QString& text : row.shown)
            EXPECT_TRUE(r.out.contains(text)) << row.faults << ": " << text.toStdString();
    }
}

} // namespace
