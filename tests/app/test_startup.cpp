// Start-up: arguments, the flavour switch and its memory, the single-instance
// lock, and a start from another working folder.
#include "app/Startup.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFileInfo>
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
        QFile f("Tovrin.ini");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("[Tovrin_Config]\nChooseToolEnable=" + stored + "\n").toUtf8());
        f.close();
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
        QFile stale(other.path() + "/Tovrin.lock");
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("999999\nTovrin\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
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

private:
    QTemporaryDir m_dir;
    QString m_saved;
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
