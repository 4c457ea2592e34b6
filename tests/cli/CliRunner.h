#pragma once
// Runs the built tovrin-cli as a process on a simulated frame of its own:
// a fresh application folder (TOVRIN_HOME) and flash file per fixture, so
// runs of one test share a frame the way a technician's runs do.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QDir>
#include <QDirIterator>
#include <QHash>

#include "tests/support/Files.h"

#include <gtest/gtest.h>

namespace tovrin::test {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    // Starts tovrin-cli --simulate with arguments; faults go to TOVRIN_SIM_FAULTS.
    void startCli(QProcess& p, const QStringList& arguments, const QString& faults = {}, const QString& touch = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOVRIN_HOME", home.path());
        env.insert("TOVRIN_SIM_FLASH", home.path() + "/frame.bin");
        for (const char* name : {"TOVRIN_SIM_FAULTS", "TOVRIN_SIM_SCENE", "TOVRIN_SIM_OPTICS", "TOVRIN_SIM_TOUCH"})
            env.remove(QString::fromLatin1(name));
        env.insert("TOVRIN_SIM_FAST_WAITS", "1");
        if (!faults.isEmpty())
            env.insert("TOVRIN_SIM_FAULTS", faults);
        if (!touch.isEmpty())
            env.insert("TOVRIN_SIM_TOUCH", touch);
        for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it)
            env.insert(it.key(), it.value());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(QStringLiteral(TOVRIN_CLI_EXECUTABLE), QStringList{"--simulate"} + arguments);
    }

    // Waits for a started tovrin-cli to end (killed after timeoutMs).
    CliRun finish(QProcess& p, const QStringList& arguments, int timeoutMs = 60000)
    {
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "tovrin-cli " << arguments.join(' ').toStdString() << " did not finish";
            return {};
        }
        if (p.exitStatus() != QProcess::NormalExit)
            ADD_FAILURE() << "tovrin-cli " << arguments.join(' ').toStdString() << " crashed or was killed";
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    // Runs tovrin-cli --simulate with arguments to its end.
    CliRun cli(const QStringList& arguments, const QString& faults = {}, int timeoutMs = 60000)
    {
        QProcess p;
        startCli(p, arguments, faults);
        return finish(p, arguments, timeoutMs);
    }

    // Files of the application folder, and the frame's flash file: the
    // Master's 128 KB, then the Slave's.
    void writeFile(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(tovrin::test::writeFile(home.filePath(name), bytes)); }
    QByteArray readFile(const QString& name) const { return tovrin::test::readFile(home.filePath(name)); }
    QString flashPath() const { return home.filePath("frame.bin"); }
    QByteArray flash() const { return readFile("frame.bin"); }
    QByteArray flash(int unit, int offset, int count) const { return flash().mid(unit * 0x20000 + offset, count); }
    void setFlash(const QByteArray& bytes) { writeFile("frame.bin", bytes); }

    // Every log file of the application folder, one after the other.
    QString logText() const
    {
        QString text;
        QDirIterator it(home.filePath("log"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            text += QString::fromUtf8(tovrin::test::readFile(it.next()));
        return text;
    }

    QTemporaryDir home;
    QHash<QString, QString> extraEnvironment;
};

} // namespace tovrin::test
