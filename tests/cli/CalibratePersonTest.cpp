// tovrin-cli calibrate with a person at the frame: what the run asks of
// them on standard error as it asks it, and an interrupt that stops the run.
#include "CliRunner.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

using namespace tovrin::test;

namespace {

class CalibratePerson : public CliTest {
protected:
    // Starts tovrin-cli --simulate calibrate with `faults`, waits until
    // standard error holds `awaited`, then interrupts it (SIGTERM).
    CliRun interruptedOnceSaid(const QString& faults, const QString& awaited, const QString& touch = {})
    {
        QProcess p;
        startCli(p, {"calibrate"}, faults, touch);
        EXPECT_TRUE(p.waitForStarted());
        QByteArray err;
        QElapsedTimer t;
        t.start();
        while (!err.contains(awaited.toUtf8()) && t.elapsed() < 60000 && p.state() == QProcess::Running) {
            p.waitForReadyRead(200);
            err += p.readAllStandardError();
        }
        const bool said = err.contains(awaited.toUtf8());
        p.terminate();
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
        }
        err += p.readAllStandardError();
        EXPECT_TRUE(said) << "never said: " << awaited.toStdString() << "\n" << err.toStdString();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(err)};
    }
};

TEST_F(CalibratePerson, AFingerThatStaysDownIsAskedToLift)
{
    const CliRun r = interruptedOnceSaid("finger-stuck", "Please lift your finger from the screen.");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("no touch was taken")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("calibrate: interrupted; nothing new was stored")) << r.err.toStdString();
    EXPECT_TRUE(logText().contains("Calibration: interrupted; nothing new was stored"));
}

TEST_F(CalibratePerson, TwoFingersAreAskedToTouchWithOne)
{
    const CliRun r = interruptedOnceSaid({}, "Please touch the center of the cross with one finger only.",
                                         "second-finger");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("Calibrate completed!"));
}

} // namespace
