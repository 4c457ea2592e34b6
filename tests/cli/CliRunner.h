#pragma once
// Runs the built tovrin-cli as a process on a simulated frame of its own:
// a fresh application folder (TOVRIN_HOME) and flash file per fixture, so
// runs of one test share a frame the way a technician's runs do.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QHash>

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
    void startCli(QProcess& p, const QStringList& arguments, const QString& faults = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOVRIN_HOME", home.path());
        env.insert("TOVRIN_SIM_FLASH", home.path() + "/frame.bin");
        for (const char* name : {"TOVRIN_SIM_FAULTS", "TOVRIN_SIM_SCENE", "TOVRIN_SIM_OPTICS", "TOVRIN_SIM_TOUCH"})
            env.remove(QString::fromLatin1(name));
        env.insert("TOVRIN_SIM_FAST_WAITS", "1");
        if (!faults.isEmpty())
            env.insert("TOVRIN_SIM_FAULTS", faults);
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

    QTemporaryDir home;
    QHash<QString, QString> extraEnvironment;
};

} // namespace tovrin::test
