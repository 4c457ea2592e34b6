#pragma once
// Runs tovrin-cli jobs on the real USB path: the process opens /dev/hidraw0
// with its production transport (hidapi), and the frame behind the node is a
// simulated frame in this test process (HidrawBridge). The frame keeps its
// flash in the fixture's frame.bin between runs, as --simulate does, so the
// same job can be run again with --simulate from the same flash and the two
// wire traces compared.

#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/SimEnvironment.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/Files.h"
#include "tests/support/HidrawBridge.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace tovrin::test {

struct JobRun {
    int exitCode = -1;
    QString out;
    QString err;
    QString trace;  // the wire trace file of the run
};

// One report of a wire trace.
struct TraceLine {
    QByteArray direction;  // out, in, feature
    QByteArray bytes;
};

inline std::vector<TraceLine> readTrace(const QString& path)
{
    std::vector<TraceLine> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().trimmed().split(' ');
        if (fields.size() == 3)
            lines.push_back({fields[1], QByteArray::fromHex(fields[2])});
    }
    return lines;
}

// The output reports of a trace, in order: what the tool asked of the frame.
inline std::vector<QByteArray> commandsOf(const std::vector<TraceLine>& trace)
{
    std::vector<QByteArray> out;
    for (const TraceLine& l : trace)
        if (l.direction == "out")
            out.push_back(l.bytes);
    return out;
}

// What a job printed, without its progress lines (how many of them come
// depends on how fast the frame answers).
inline std::string printed(const QString& out)
{
    QStringList kept;
    for (const QString& line : out.split('\n'))
        if (!line.startsWith(QLatin1String("saving ")) && !line.startsWith(QLatin1String("progress ")))
            kept << line;
    return kept.join('\n').toStdString();
}

class HidrawJob : public ::testing::Test {
protected:
    QString flashPath() const { return home.filePath("frame.bin"); }

    // A frame as --simulate makes it from frame.bin (factory contents when
    // there is none yet), with the set-up and fault items of the run.
    std::shared_ptr<sim::SimulatedFrame> makeFrame(const QString& faults = {}, const QString& touch = {})
    {
        auto frame = std::make_shared<sim::SimulatedFrame>();
        if (frame->attachFlashFile(flashPath().toStdString(), sim::PersistPolicy::Throttled)) {
            frame->unplug();
            frame->plug();
        } else {
            sim::writeFactoryContents(*frame);
            frame->flush();
        }
        if (prepare)
            prepare(*frame);
        if (!touch.isEmpty()) {
            EXPECT_EQ(sim::applyTouchItems(frame->fingers(), touch.toStdString()), "");
        }
        if (!faults.isEmpty()) {
            EXPECT_EQ(sim::applyFaultItems(*frame, faults.toStdString()), "");
        }
        return frame;
    }

    // tovrin-cli <arguments> on the real path, the frame behind the bridge.
    // during() runs in this process while the job runs (e.g. to plug the
    // frame back); the bridge ends with the run.
    JobRun runOverBridge(const QStringList& arguments, const QString& faults = {}, const QString& touch = {},
                         const std::function<void(HidrawBridge&, QProcess&)>& during = {})
    {
        HidrawBridge bridge(makeFrame(faults, touch));
        lastBridge = &bridge;
        QProcessEnvironment env = baseEnvironment();
        env.insert("LD_PRELOAD", QString::fromStdString(HidrawBridge::childPreload()));
        const JobRun r = run(QStringList{} + arguments, env, QStringLiteral("trace-bridge-%1.txt").arg(++m_runs),
                             [&](QProcess& p) {
                                 if (during)
                                     during(bridge, p);
                             });
        lastEnumerations = bridge.enumerations();
        lastBridge = nullptr;
        return r;
    }

    // The same job with --simulate, from the flash as it is now.
    JobRun runSimulated(const QStringList& arguments, const QString& faults = {}, const QString& touch = {})
    {
        QProcessEnvironment env = baseEnvironment();
        env.insert("TOVRIN_SIM_FLASH", flashPath());
        // The frame's fixed waits change nothing on the wire; the bridge
        // run sits them out, this one need not.
        env.insert("TOVRIN_SIM_FAST_WAITS", "1");
        if (!faults.isEmpty())
            env.insert("TOVRIN_SIM_FAULTS", faults);
        if (!touch.isEmpty())
            env.insert("TOVRIN_SIM_TOUCH", touch);
        return run(QStringList{"--simulate"} + arguments, env, QStringLiteral("trace-sim-%1.txt").arg(++m_runs), {});
    }

    // What the frame keeps between runs: both flashes, and beside them the
    // boot loader's state.
    struct Stored {
        QByteArray flash, loader;
    };
    Stored stored() const { return {flash(), readFile("frame.bin.loader")}; }
    void restore(const Stored& s)
    {
        setFlash(s.flash);
        QFile::remove(home.filePath("frame.bin.loader"));
        if (!s.loader.isNull())
            writeFile("frame.bin.loader", s.loader);
    }

    QByteArray flash() const { return tovrin::test::readFile(flashPath()); }
    void setFlash(const QByteArray& bytes) { ASSERT_TRUE(tovrin::test::writeFile(flashPath(), bytes)); }

    // Every report on the wire is a whole report: 64 bytes out with report
    // ID 3, 64 bytes in, feature reports of 3 bytes with ID 7.
    static void expectWellFormed(const std::vector<TraceLine>& trace)
    {
        for (const TraceLine& l : trace) {
            if (l.direction == "feature") {
                EXPECT_EQ(l.bytes.size(), 3);
                EXPECT_EQ(static_cast<uint8_t>(l.bytes[0]), 7);
                continue;
            }
            ASSERT_EQ(l.bytes.size(), 64) << l.direction.constData();
            if (l.direction == "out") {
                EXPECT_EQ(static_cast<uint8_t>(l.bytes[0]), 3);
            }
        }
    }

    // The job over the bridge and then with --simulate, both from the flash
    // as it is now: the same outcome, the same commands on the wire one for
    // one, the same flash afterwards and, with no extra commands, the same
    // printed lines. Leaves the flash of the bridge run.
    struct Pair {
        JobRun bridge, simulated;
    };
    // extraOnSimulated: the numbers of commands tovrin-cli sends to the
    // simulated frame only (the calibration's check on a grid of touches the
    // simulated finger makes: touches and a record read); they are passed
    // over where the simulated run has them and the bridge run does not.
    Pair runBoth(const QStringList& arguments, const QString& faults = {}, const QString& touch = {},
                 const std::vector<int>& extraOnSimulated = {})
    {
        Pair p;
        const Stored before = stored();
        p.bridge = runOverBridge(arguments, faults, touch);
        const Stored afterBridge = stored();
        restore(before);
        p.simulated = runSimulated(arguments, faults, touch);
        const Stored afterSimulated = stored();
        restore(afterBridge);
        EXPECT_EQ(p.bridge.exitCode, p.simulated.exitCode) << p.bridge.err.toStdString() << "\n--- simulated:\n"
                                                          << p.simulated.err.toStdString();
        if (extraOnSimulated.empty()) {
            EXPECT_EQ(printed(p.bridge.out), printed(p.simulated.out));
        }
        const auto bridgeTrace = readTrace(p.bridge.trace);
        const auto simulatedTrace = readTrace(p.simulated.trace);
        expectWellFormed(bridgeTrace);
        expectWellFormed(simulatedTrace);
        const auto a = commandsOf(bridgeTrace);
        const auto b = commandsOf(simulatedTrace);
        auto extra = [&](size_t k) {
            return std::find(extraOnSimulated.begin(), extraOnSimulated.end(), static_cast<uint8_t>(b[k][1]) & 0x3F) !=
                   extraOnSimulated.end();
        };
        size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            if (a[i] == b[j]) {
                ++i;
                ++j;
            } else if (extra(j)) {
                ++j;
            } else {
                break;
            }
        }
        while (j < b.size() && extra(j))
            ++j;
        if (i < a.size() || j < b.size()) {
            ADD_FAILURE() << "the runs part at output report " << i + 1 << " of " << a.size() << " (simulated: " << j + 1
                          << " of " << b.size() << "):\n  bridge    "
                          << (i < a.size() ? a[i].toHex().constData() : "(none)") << "\n  simulated "
                          << (j < b.size() ? b[j].toHex().constData() : "(none)");
        }
        EXPECT_TRUE(afterBridge.flash == afterSimulated.flash) << "the flash the two runs left differs";
        EXPECT_TRUE(afterBridge.loader == afterSimulated.loader) << "the boot loader's state the two runs left differs";
        return p;
    }

    // What the tool does to the frame of --simulate by itself (print the
    // keys, let the finger touch the targets), done here to the frame
    // behind the bridge.
    std::function<void(sim::SimulatedFrame&)> prepare;

    void writeFile(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(tovrin::test::writeFile(home.filePath(name), bytes)); }
    QByteArray readFile(const QString& name) const { return tovrin::test::readFile(home.filePath(name)); }
    // The number of output reports of a run: where "in the middle" is.
    static size_t commandCount(const JobRun& r) { return commandsOf(readTrace(r.trace)).size(); }

    QTemporaryDir home;
    HidrawBridge* lastBridge = nullptr;
    int lastEnumerations = 0;

private:
    QProcessEnvironment baseEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOVRIN_HOME", home.path());
        for (const char* name : {"TOVRIN_SIM_FAULTS", "TOVRIN_SIM_SCENE", "TOVRIN_SIM_OPTICS", "TOVRIN_SIM_TOUCH",
                                 "TOVRIN_SIM_FAST_WAITS", "TOVRIN_SIMULATE", "TOVRIN_SIM_FLASH"})
            env.remove(QString::fromLatin1(name));
        return env;
    }

    JobRun run(const QStringList& arguments, QProcessEnvironment env, const QString& traceName,
               const std::function<void(QProcess&)>& during)
    {
        JobRun r;
        r.trace = home.filePath(traceName);
        QFile::remove(r.trace);
        env.insert("TOVRIN_TRACE", r.trace);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(QStringLiteral(TOVRIN_CLI_EXECUTABLE), arguments);
        if (!p.waitForStarted(10000)) {
            ADD_FAILURE() << "tovrin-cli did not start";
            return r;
        }
        if (during)
            during(p);
        if (!p.waitForFinished(240000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "tovrin-cli " << arguments.join(' ').toStdString() << " did not finish";
        }
        r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    int m_runs = 0;
};

} // namespace tovrin::test
