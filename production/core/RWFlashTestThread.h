#pragma once
// The production endurance test: cycle after cycle it runs the frame's
// leveling measurements on both units, switches the frame between its two
// work modes, dumps the first 128 KB of both units' flash to files and
// compares them with the dumps of cycle 0, so that any flash change nobody
// asked for is found.
//
// Dump files: the log name prefix, the cycle, "_Flash_Master.bin" /
// "_Flash_Slave.bin" (cycle 0 is the reference).
//
// Codes (sendShowData):
//   0 the test ended (the window restarts detection)   1 mode switch failed
//   2 a leveling step failed (test failed)              3 a cycle begins
//   4 Master flash differs (differenceAddress)         5 Slave flash differs
//   6 a dump failed (flash read error)
// The cycle-0 dump failing ends the test (6, then 0): without a reference
// there is nothing to compare with. A later dump that fails is reported and
// the next cycle begins at once. Between two compared cycles the test waits
// 30 s (the injected clock); a stop request ends it at the next step.
//
// The switches into a work mode are what the test exists for (a frame that
// changes its flash does so when it enters work mode): one that the frame
// refuses or does not answer ends the test with 1, then 0, whatever the
// calibration records hold.
//
// The start-line searches use the process-wide search window, chosen each
// cycle from the Master sensor (leveling/core/OpeningSteps.h).
//
// Dumps: the reference (cycle 0) is kept, and so are the dumps of a cycle
// that failed and those of the last kKeptCycles compared cycles; older
// dumps of cycles that compared equal are removed (a line that tests for
// days would otherwise fill its disk at 256 KB per cycle).

#include "FlashTestOptions.h"

#include "jobs/Worker.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tovrin::production {

namespace testcode {
constexpr int Ended = 0;
constexpr int ModeSwitchFailed = 1;
constexpr int TestFailed = 2;
constexpr int CycleStarted = 3;
constexpr int MasterDiffers = 4;
constexpr int SlaveDiffers = 5;
constexpr int FlashReadError = 6;
} // namespace testcode

constexpr int kCycleWaitMs = 30000;
constexpr int kKeptCycles = 3;
constexpr int kStartWaitMs = 1000;

class RWFlashTestThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit RWFlashTestThread(QObject* parent = nullptr);
    ~RWFlashTestThread() override;  // stops and waits

    // Set before startWork().
    void setOptions(const FlashTestOptions& options);
    // The dump file prefix (the log name prefix when not set).
    void setDumpPrefix(const QString& prefix);
    // Cycles after which the test ends by itself (0: until stopped).
    void setCycleLimit(int cycles);

    int cycle() const { return m_cycle.load(); }
    uint32_t differenceAddress() const { return m_difference.load(); }
    QString dumpFile(int cycle, bool slave) const;

Q_SIGNALS:
    void sendShowData(int code);

protected:
    void work() override;

private:
    enum class DumpOutcome { Done, ReadFailed, ModeSwitchFailed };
    DumpOutcome dump(int cycle);
    // A switch into a work mode that the frame must take (false: refused or
    // not answered; the frame is marked gone when it did not answer).
    bool workMode(uint8_t mode);
    bool measure(int unit);
    void removeDumps(int cycle);
    // 0 same, 4 / 5 difference (address stored), -1 the files could not be read.
    int compare(int cycle, const FlashTestOptions& options);
    bool frameGone() const;

    mutable std::mutex m_mutex;
    FlashTestOptions m_options;
    QString m_prefix;
    int m_limit = 0;
    std::atomic<int> m_cycle{0};
    std::atomic<uint32_t> m_difference{0};
};

} // namespace tovrin::production
