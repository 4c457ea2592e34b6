#pragma once
// Pulling the frame out at chosen output reports of a tovrin-cli job: the
// job's reports are first found in the wire trace of a clean run
// (TOVRIN_TRACE), then the job is run again from the same flash with
// TOVRIN_SIM_FAULTS=vanish-at=N for each N, and after each pull once more,
// clean. The simulated frame keeps both units' flash in the fixture's
// frame.bin: the Master's 128 KB, then the Slave's.

#include "tests/cli/CliRunner.h"

#include <QFile>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

namespace tovrin::test {

constexpr int kUnitFlash = 0x20000;

// One output report of a trace: its number from the start of the run (what
// vanish-at counts), its command code and payload.
struct TracedCommand {
    int index = 0;
    int number = 0;  // code & 0x3F
    QByteArray payload;
    uint32_t flashAddress() const
    {
        return static_cast<uint8_t>(payload[0]) | (static_cast<uint8_t>(payload[1]) << 8) |
               (static_cast<uint8_t>(payload[2]) << 16);
    }
};

inline std::vector<TracedCommand> tracedCommands(const QString& path)
{
    std::vector<TracedCommand> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    int index = 0;
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().trimmed().split(' ');
        if (fields.size() != 3 || fields[1] != "out")
            continue;
        const QByteArray bytes = QByteArray::fromHex(fields[2]);
        out.push_back({++index, static_cast<uint8_t>(bytes[1]) & 0x3F, bytes.mid(2)});
    }
    return out;
}

class PullSweep : public CliTest {
protected:
    static QByteArray area(const QByteArray& flash, bool slave, int offset, int size)
    {
        return flash.mid((slave ? kUnitFlash : 0) + offset, size);
    }

    // Runs the job clean from `before` with the trace on; the flash it
    // leaves and its commands.
    std::vector<TracedCommand> traceCleanRun(const QStringList& job, const QByteArray& before, QByteArray& after)
    {
        setFlash(before);
        const QString trace = home.filePath("trace.txt");
        QFile::remove(trace);
        extraEnvironment["TOVRIN_TRACE"] = trace;
        const CliRun r = cli(job);
        extraEnvironment.remove("TOVRIN_TRACE");
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        after = flash();
        return tracedCommands(trace);
    }

    // What a sweep checks beyond the exit codes.
    struct SweepChecks {
        // After a pull that struck: the flash it left, what the job said.
        std::function<void(const QByteArray& left, const CliRun& pulled)> struck;
        // The clean run after each pull, from the flash the pull left;
        // unset: it exits 0 and leaves `after`.
        std::function<void(const QByteArray& left, const CliRun& again)> again;
    };

    // For each N: from `before`, the job pulled at report N (of `reports`
    // that a clean run sends) fails and leaves flash that passes
    // `checks.struck` (each area old, new or unusable); pulled after the
    // status test (the first report) it exits 3 and says the frame was
    // pulled out. With
    // N beyond its reports it exits 0 and leaves `after` exactly. Either way
    // a clean run follows (`checks.again`).
    void sweep(const QStringList& job, const QByteArray& before, const QByteArray& after, int reports,
               const std::set<int>& at, const SweepChecks& checks)
    {
        for (const int n : at) {
            SCOPED_TRACE("vanish-at=" + std::to_string(n));
            setFlash(before);
            const CliRun pulled = cli(job, QStringLiteral("vanish-at=%1").arg(n));
            const QByteArray left = flash();
            ASSERT_EQ(left.size(), 2 * kUnitFlash);
            if (n > reports) {
                EXPECT_EQ(pulled.exitCode, 0) << pulled.err.toStdString();
                EXPECT_EQ(left, after);
            } else {
                if (n == 1)  // the status request: the link counts as broken (message 14)
                    EXPECT_NE(pulled.exitCode, 0) << pulled.err.toStdString();
                else {
                    EXPECT_EQ(pulled.exitCode, 3) << pulled.err.toStdString();
                    EXPECT_TRUE(pulled.err.contains(QStringLiteral("Device has been pulled out, please exit.")))
                        << pulled.err.toStdString();
                }
                checks.struck(left, pulled);
            }
            const CliRun again = cli(job);
            if (checks.again) {
                checks.again(left, again);
            } else {
                EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
                EXPECT_EQ(flash(), after);
            }
            if (HasFatalFailure() || ::testing::Test::HasFailure())
                return;  // one N that fails says it; the rest would repeat it
        }
    }

    // The sweep whose struck pulls are checked by their flash alone.
    template <class Check>
    void sweep(const QStringList& job, const QByteArray& before, const QByteArray& after, int reports,
               const std::set<int>& at, Check check)
    {
        sweep(job, before, after, reports, at, SweepChecks{[&check](const QByteArray& left, const CliRun&) { check(left); }, {}});
    }
};

// Every N from first to last.
inline void addRange(std::set<int>& at, int first, int last)
{
    for (int n = std::max(1, first); n <= last; ++n)
        at.insert(n);
}

} // namespace tovrin::test
