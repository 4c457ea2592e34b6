// Start-up: arguments, the flavour switch and its memory, the single-instance
// lock, a start from another working folder, and an installed tool.
#include "app/Startup.h"
#include "shell/Settings.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tovrin;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray standardError;
};

// Runs the program with --simulate offscreen until it quits by itself after
// quitAfterMs, with its own runtime folder (the single-instance lock).
Run runSimulated(const QString& exe, const QString& runtimeDir, int quitAfterMs,
                 const QProcessEnvironment& extra = {}, const QString& workingDir = {})
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TOVRIN_QUIT_AFTER_MS", QString::number(quitAfterMs));
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.insert(extra);
    p.setProcessEnvironment(env);
    p.start(exe, {"--simulate"});
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), p.readAllStandardError()};
}

QStringList filesUnder(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_saved = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        QFile::remove("Tovrin.ini");
    }
    void cleanup() { QDir::setCurrent(m_saved); }

    void simulateMayStandAnywhere()
    {
        auto a = app::parseArguments({"tovrin", "--simulate", "-U"}, false);
        QVERIFY(a.simulate);
        QCOMPARE(a.first, QString("-U"));
        a = app::parseArguments({"tovrin", "-D", "--simulate"}, false);
        QVERIFY(a.simulate);
        QCOMPARE(a.first, QString("-D"));
        a = app::parseArguments({"tovrin"}, true);
        QVERIFY(a.simulate);
        QVERIFY(a.first.isEmpty());
        a = app::parseArguments({"tovrin", "--production-test", "-U"}, false);
        QVERIFY(a.productionTest);
        QCOMPARE(a.first, QString("-U"));
    }

    void switchIsStoredAndReused()
    {
        QCOMPARE(app::chooseFlavour("-U"), 3);
        QCOMPARE(shell::settings::ChooseToolEnable.read(), 3);
        QCOMPARE(app::chooseFlavour(QString()), 3);
        QCOMPARE(app::chooseFlavour("-u"), 3);  // not a switch: the file decides
        QCOMPARE(app::chooseFlavour("-D"), 2);
        QCOMPARE(app::chooseFlavour("-M"), 1);
        QCOMPARE(app::chooseFlavour("whatever"), 1);
    }

    void storedValuesOutsideTheListRunTheEngineeringTool_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("flavour");
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("4") << "4" << 4;
        QTest::newRow("7") << "7" << 1;
        QTest::newRow("-1") << "-1" << 1;
        QTest::newRow("text") << "abc" << 0;  // not a number reads 0, which is a flavour
    }
    void storedValuesOutsideTheListRunTheEngineeringTool()
    {
        QFETCH(QString, stored);
        QFETCH(int, flavour);
        QVERIFY(tovrin::test::writeFile("Tovrin.ini", ("[Tovrin_Config]\nChooseToolEnable=" + stored + "\n").toUtf8()));
        QCOMPARE(app::chooseFlavour(QString()), flavour);
    }

    void secondInstanceIsRefusedAndACrashedOneDoesNotBlock()
    {
        app::SingleInstance first(m_dir.path());
        QVERIFY(first.acquire());
        app::SingleInstance second(m_dir.path());
        QVERIFY(!second.acquire());

        // A lock file left by a process that no longer runs.
        QTemporaryDir other;
        QVERIFY(tovrin::test::writeFile(other.path() + "/Tovrin.lock", "999999\nTovrin\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        app::SingleInstance third(other.path());
        QVERIFY(third.acquire());
    }

    void startsFromAnotherFolderAndFindsItsFiles()
    {
        const QString exe = QStringLiteral(TOVRIN_EXECUTABLE);
        const QString appDir = QFileInfo(exe).absolutePath();
        QTemporaryDir runtime;
        QProcessEnvironment flash;
        flash.insert("TOVRIN_SIM_FLASH", runtime.path() + "/flash.bin");
        QCOMPARE(runSimulated(exe, runtime.path(), 4000, flash, m_dir.path()).exitCode, 0);
        // The log went into the application folder, not into the working folder.
        QVERIFY(!QDir(m_dir.path() + "/log").exists());
        QVERIFY(QDir(appDir + "/log").exists());
    }

    void missingSkinFolderWarnsAndExitsZero()
    {
        // The executable alone in a folder: no skin beside it.
        const QString exe = m_dir.path() + "/tovrin";
        QVERIFY(QFile::copy(QStringLiteral(TOVRIN_EXECUTABLE), exe));
        QTemporaryDir runtime;
        const Run run = runSimulated(exe, runtime.path(), 300);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.standardError.contains("No software skin!"));
        QVERIFY(!QDir(m_dir.path() + "/log").exists());  // no window, no log
    }

    void secondProcessIsRefused()
    {
        QTemporaryDir runtime;
        app::SingleInstance holder(runtime.path());
        QVERIFY(holder.acquire());
        const Run run = runSimulated(QStringLiteral(TOVRIN_EXECUTABLE), runtime.path(), 300);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.standardError.contains("The application is already running."));
    }

    // An installed tool (share/tovrin beside its bin/) started by a user with
    // a fresh home and no XDG variables: the shipped defaults are copied into
    // ~/.config/tovrin, the log goes to ~/.local/share/tovrin, nothing lands
    // in the install, and the window shows the installed skin. The
    // production test's menu switch runs that tool without storing it.
    void anInstalledToolKeepsItsFilesPerUser()
    {
        QTemporaryDir root;
        const QString prefix = root.path() + "/usr";
        const QString share = prefix + "/share/tovrin";
        QVERIFY(QDir().mkpath(prefix + "/bin"));
        QVERIFY(QDir().mkpath(share));
        const QString exe = prefix + "/bin/tovrin";
        QVERIFY(QFile::copy(QStringLiteral(TOVRIN_EXECUTABLE), exe));
        const QString appDir = QFileInfo(QStringLiteral(TOVRIN_EXECUTABLE)).absolutePath();
        QVERIFY(QFile::link(appDir + "/skin", share + "/skin"));
        QVERIFY(QFile::copy(QStringLiteral(TOVRIN_SOURCE_DIR "/data/Tovrin_language.lrp"), share + "/Tovrin_language.lrp"));
        QVERIFY(QFile::copy(QStringLiteral(TOVRIN_SOURCE_DIR "/data/defaults/Tovrin.ini"), share + "/Tovrin.ini"));
        const QString home = root.path() + "/home";
        QVERIFY(QDir().mkpath(home));
        const QStringList installed = filesUnder(prefix);
        QVERIFY(QDir().mkpath(QStringLiteral(TOVRIN_SCREENSHOT_DIR)));
        const QString picture = QStringLiteral(TOVRIN_SCREENSHOT_DIR "/installed-engineering.png");
        QFile::remove(picture);

        const auto start = [&](const QStringList& arguments, const QString& screenshot) {
            QProcess p;
            QProcessEnvironment env;  // a fresh session: no XDG variables, no TOVRIN_HOME
            env.insert("PATH", qEnvironmentVariable("PATH"));
            env.insert("HOME", home);
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("TOVRIN_QUIT_AFTER_MS", "4000");
            env.insert("TOVRIN_SIM_FLASH", home + "/frame.bin");
            // A sanitizer build's options hold for the tool too.
            for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
                if (qEnvironmentVariableIsSet(name))
                    env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
            if (!screenshot.isEmpty())
                env.insert("TOVRIN_SCREENSHOT", screenshot);
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(root.path());
            p.start(exe, arguments);
            return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };

        QVERIFY(start({"--simulate", "-M"}, picture));
        const QString ini = home + "/.config/tovrin/Tovrin.ini";
        QVERIFY(tovrin::test::readFile(ini).startsWith("; Tovrin.ini"));  // the shipped file, comments and all
        QVERIFY(tovrin::test::readFile(ini).contains("ChooseToolEnable=1"));
        const QStringList logs = filesUnder(home + "/.local/share/tovrin/log").filter(QStringLiteral("Tovrin_log_"));
        QCOMPARE(logs.size(), 1);
        QCOMPARE(filesUnder(prefix), installed);
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"home", "usr"}));
        const QImage shot(picture);
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.size(), QImage(appDir + "/skin/1024/back_pixmap.png").size());  // offscreen: 800 x 600

        QVERIFY(start({"--simulate", "--production-test"}, QString()));
        QVERIFY(tovrin::test::readFile(ini).contains("ChooseToolEnable=1"));
        QString said;
        for (const QString& log : filesUnder(home + "/.local/share/tovrin/log").filter(QStringLiteral("Tovrin_log_")))
            said += QString::fromUtf8(tovrin::test::readFile(home + "/.local/share/tovrin/log/" + log));
        QVERIFY(said.contains("ChooseToolEnable = 4"));
    }

private:
    QTemporaryDir m_dir;
    QString m_saved;
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
