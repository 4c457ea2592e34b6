// The dated log: folder and file names, the line format, pruning of old days.
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Log.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tovrin;
using namespace tovrin::shell;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        setLocalNow([this] { return now; });
    }
    void TearDown() override { setLocalNow({}); }
    QByteArray logContents() const { return tovrin::test::readFile(QString::fromStdString(context().logFilePath())); }
    tovrin::test::InTemporaryFolder folder;
    QDateTime now{QDate(2026, 12, 5), QTime(9, 5, 7)};
};

TEST_F(LogTest, LinePrefixHasUnpaddedDateAndPaddedTimeAndLinesStopAt263)
{
    EXPECT_EQ(formatLogLine(now, "x\n"), "(2026-12-5 09:05:07) x\n");
    const std::string line = formatLogLine(now, std::string(400, 'a'));
    EXPECT_EQ(line.size(), 263u);
    EXPECT_EQ(line.substr(0, 22), "(2026-12-5 09:05:07) a");
}

TEST_F(LogTest, NewFileNamesFollowDateAndTimeAndAppendsFollow)
{
    now = QDateTime(QDate(2026, 3, 7), QTime(9, 15, 30));
    WriteLog("Tovrin log start!\n", true);
    EXPECT_EQ(context().logFilePath(), "./log/2026-03-07/Tovrin_log_091530.txt");
    EXPECT_EQ(context().logPrefix(), "./log/2026-03-07/Tovrin_log_091530_");
    LogF("ChooseToolEnable = %d\n", 1);
    WriteLog("no line end");
    WriteLog("raw table\n", false, true);
    EXPECT_EQ(logContents(), QByteArray("(2026-3-7 09:15:30) Tovrin log start!\n"
                                        "(2026-3-7 09:15:30) ChooseToolEnable = 1\n"
                                        "(2026-3-7 09:15:30) no line endraw table\n"));
    // A second start in the same second empties the file.
    WriteLog("again\n", true);
    EXPECT_EQ(logContents(), QByteArray("(2026-3-7 09:15:30) again\n"));
}

TEST_F(LogTest, ConcurrentWritersNeverTearALine)
{
    WriteLog("start\n", true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                LogF("thread %d line %d %s\n", t, i, std::string(150, char('a' + t)).c_str());
        });
    for (auto& th : threads)
        th.join();
    const QList<QByteArray> lines = logContents().split('\n');
    const QRegularExpression whole(QStringLiteral("^\\(2026-12-5 09:05:07\\) thread (\\d) line \\d+ ([a-d])\\2{149}$"));
    int count = 0;
    for (const QByteArray& l : lines) {
        if (l.isEmpty() || l.endsWith("start"))
            continue;
        ++count;
        const auto m = whole.match(QString::fromLatin1(l));
        ASSERT_TRUE(m.hasMatch()) << l.constData();
        EXPECT_EQ(m.captured(2).at(0).toLatin1() - 'a', m.captured(1).toInt());
    }
    EXPECT_EQ(count, 800);
}

TEST_F(LogTest, PrepareKeepsTheLastSevenDaysAndRemovesEverythingElse)
{
    now = QDateTime(QDate(2026, 3, 2), QTime(8, 0, 0));
    const QStringList kept = {"2026-03-02", "2026-03-01", "2026-02-28", "2026-02-27",
                              "2026-02-26", "2026-02-25", "2026-02-24"};
    const QStringList removed = {"2026-02-23", "2025-03-02", "junk", "2026-3-1"};
    for (const QString& d : kept + removed)
        QDir().mkpath("log/" + d + "/sub");
    // A read-only file inside a read-only folder is removed too.
    ASSERT_TRUE(tovrin::test::writeFile("log/2026-02-23/sub/old.txt", "x"));
    QFile::setPermissions("log/2026-02-23/sub/old.txt", QFileDevice::ReadOwner);
    QFile::setPermissions("log/2026-02-23/sub", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(tovrin::test::writeFile("log/readme.txt", {}));  // files directly under ./log are left alone

    PrepareLogFolders();

    QStringList left = QDir("log").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    left.sort();
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(QFile::exists("log/readme.txt"));
}

TEST_F(LogTest, PrepareRemovesLinksButNeverWhatTheyPointTo)
{
    now = QDateTime(QDate(2026, 3, 2), QTime(8, 0, 0));
    // A technician's folder outside the log, with a read-only file.
    QDir().mkpath("elsewhere/sub");
    for (const char* name : {"elsewhere/keep.txt", "elsewhere/sub/deep.txt"}) {
        ASSERT_TRUE(tovrin::test::writeFile(name, "x"));
    }
    QFile::setPermissions("elsewhere/keep.txt", QFileDevice::ReadOwner);
    const QString target = QDir("elsewhere").absolutePath();
    QDir().mkpath("log/2020-01-02");
    ASSERT_TRUE(QFile::link(target, "log/2020-01-01"));           // an old day that is a link
    ASSERT_TRUE(QFile::link(target, "log/2020-01-02/inner"));     // a link inside an old day

    PrepareLogFolders();

    EXPECT_FALSE(QFileInfo("log/2020-01-01").isSymLink());
    EXPECT_FALSE(QFileInfo::exists("log/2020-01-01"));
    EXPECT_FALSE(QFileInfo::exists("log/2020-01-02"));
    EXPECT_TRUE(QFile::exists("elsewhere/keep.txt"));
    EXPECT_TRUE(QFile::exists("elsewhere/sub/deep.txt"));
    EXPECT_EQ(QFile::permissions("elsewhere/keep.txt") & QFileDevice::WriteOwner, QFileDevice::Permissions());
}

TEST_F(LogTest, UnwritableFolderDropsTheLineSilently)
{
    ASSERT_TRUE(tovrin::test::writeFile("log", {}));  // a file where the folder should be
    PrepareLogFolders();
    WriteLog("dropped\n", true);
    LogF("also dropped %d\n", 1);
    EXPECT_TRUE(logContents().isEmpty());
}

} // namespace
