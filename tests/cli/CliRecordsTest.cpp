// tovrin-cli records on the simulated frame: the journal a job leaves, and a
// job pulled out at the very last write of a record, found invalid by
// "records check" and given back by "records restore".
#include "tests/service/PullSweep.h"
#include "tests/support/Files.h"

#include <QRegularExpression>

using namespace tovrin::test;

namespace {

class CliRecords : public CliTest {
protected:
    // The number (from 1) of the last output report of the trace that
    // writes the unit's flash at this offset (command 9 Master, 28 Slave).
    static int lastFlashWrite(const QString& traceFile, uint32_t offset, bool slave = false)
    {
        int found = -1;
        for (const TracedCommand& c : tracedCommands(traceFile))
            if (c.number == (slave ? 28 : 9) && c.flashAddress() == offset)
                found = c.index;
        return found;
    }
};

TEST_F(CliRecords, AFactoryFrameHasAllRecordsAndAnEmptyJournal)
{
    const CliRun check = cli({"records", "check"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_EQ(check.out, QStringLiteral("master calibration: valid\nmaster screen: valid\n"
                                        "slave calibration: valid\nslave screen: valid\n"));
    EXPECT_TRUE(cli({"records", "list"}).out.startsWith("the journal is empty"));
    EXPECT_EQ(cli({"records", "restore", "--unit", "slave"}).out, QStringLiteral("nothing to restore\n"));
    EXPECT_EQ(cli({"records", "restore", "--unit", "left"}).exitCode, 2);
    EXPECT_EQ(cli({"records"}).exitCode, 2);
    EXPECT_EQ(cli({"records", "check"}, "unplugged").exitCode, 3);
}

// A job refused because a pulled touch calibration left the records
// invalid points to the journal that holds the old ones.
TEST_F(CliRecords, AJobRefusedForAnUnfinishedWritePointsToTheJournal)
{
    ASSERT_EQ(cli({"calibrate", "--points", "4"}).exitCode, 0);  // the journal's entries of a clean run are done
    extraEnvironment.insert("TOVRIN_TRACE", home.filePath("trace.txt"));
    ASSERT_EQ(cli({"calibrate", "--points", "4"}).exitCode, 0);
    extraEnvironment.remove("TOVRIN_TRACE");
    const int head = lastFlashWrite(home.filePath("trace.txt"), 0x11000, true);
    ASSERT_GT(head, 0);
    EXPECT_NE(cli({"calibrate", "--points", "4"}, QStringLiteral("vanish-at=%1").arg(head)).exitCode, 0);

    const CliRun refused = cli({"keys", "calibrate"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("the journal holds an unfinished write: tovrin-cli records check shows what "
                                     "tovrin-cli records restore can put back"))
        << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_EQ(cli({"records", "restore"}).exitCode, 0);
    EXPECT_EQ(cli({"records", "check"}).exitCode, 0);
}

// Every job that writes a record keeps the record it replaces: pulled out
// as the head of the new record goes out, the frame is given its old
// record back by "records restore", and the job then runs clean.
struct JournalledJob {
    const char* name;
    QStringList arguments;
    const char* scene;
    uint32_t offset;     // the Master record whose head is the pull point
    const char* record;  // as "records check" names it
    QStringList traced = {};  // the traced run's, when the job would find nothing to change (else the job's)
};

void PrintTo(const JournalledJob& job, std::ostream* os) { *os << job.name; }

class CliRecordsOfEveryJob : public CliRecords, public ::testing::WithParamInterface<JournalledJob> {};

TEST_P(CliRecordsOfEveryJob, APullAtTheRecordsHeadIsRestored)
{
    const JournalledJob& job = GetParam();
    extraEnvironment.insert("TOVRIN_SIM_SCENE", job.scene);
    for (const auto& [name, text] : {std::pair{"Tovrin.ini", "[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n"},
                                     std::pair{"Tovrin_Key.ini", "[Key_Value]\nKeyCnt=2\nKey_1=0x1b\nKey_2=70\n"}}) {
        ASSERT_TRUE(tovrin::test::writeFile(home.filePath(QString::fromLatin1(name)), text));
    }
    // Two clean runs, the second traced: it starts from the state the pulled
    // run starts from, so its reports are the pulled run's.
    ASSERT_EQ(cli(job.arguments, "ideal-calibration").exitCode, 0);
    extraEnvironment.insert("TOVRIN_TRACE", home.filePath("trace.txt"));
    ASSERT_EQ(cli(job.traced.isEmpty() ? job.arguments : job.traced, "ideal-calibration").exitCode, 0);
    extraEnvironment.remove("TOVRIN_TRACE");
    const int head = lastFlashWrite(home.filePath("trace.txt"), job.offset);
    ASSERT_GT(head, 0);
    const CliRun list = cli({"records", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(list.out.contains(QRegularExpression(
        QStringLiteral("^\\S+ master %1 \\S+ \\S+ done valid$").arg(QLatin1String(job.record)), QRegularExpression::MultilineOption)))
        << list.out.toStdString();

    EXPECT_NE(cli(job.arguments, QStringLiteral("ideal-calibration,vanish-at=%1").arg(head)).exitCode, 0);
    const CliRun check = cli({"records", "check"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.out.contains(QStringLiteral("master %1: invalid, restorable from ").arg(QLatin1String(job.record))))
        << check.out.toStdString();

    const CliRun restore = cli({"records", "restore", "--unit", "master"});
    EXPECT_EQ(restore.exitCode, 0) << restore.out.toStdString() << restore.err.toStdString();
    EXPECT_TRUE(restore.out.contains(QStringLiteral("restored master %1 from ").arg(QLatin1String(job.record))));
    EXPECT_EQ(cli({"records", "check"}).exitCode, 0);
    EXPECT_EQ(cli(job.arguments, "ideal-calibration").exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, CliRecordsOfEveryJob,
    ::testing::Values(JournalledJob{"settings", {"settings", "--size", "5"}, "ordinary", 0x18000, "screen", {"settings", "--size", "3"}},
                      JournalledJob{"devinfo",
                                    {"devinfo", "write", "DeviceID=0x1001", "InfoVersion=1", "FactoryName=Works",
                                     "ManufDate=20260307", "EncrypWord=0", "SupportFeature=0xf"},
                                    "ordinary", 0x1F000, "devinfo"},
                      JournalledJob{"keys", {"keys", "calibrate"}, "ordinary", 0x19000, "keys"},
                      JournalledJob{"level", {"level"}, "extended", 0x1A000, "settings"}),
    [](const ::testing::TestParamInfo<JournalledJob>& row) { return std::string(row.param.name); });

} // namespace
