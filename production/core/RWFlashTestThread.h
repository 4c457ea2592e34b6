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

#include "FlashTestOptions.h"

#include <QString>
#include <QThread>

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

// The start-line search window of the leveling measurements (200..300
// unless the caller knows the sensor wants 50..200).
struct SearchBounds {
    uint16_t lower = 200;
    uint16_t upper = 300;
};

constexpr int kCycleWaitMs = 30000;
constexpr int kStartWaitMs = 1000;

class RWFlashTestThread : public QThread {
    Q_OBJECT
public:
    explicit RWFlashTestThread(QObject* parent = nullptr);
    ~RWFlashTestThread() override;  // stops and waits

    // Set before start().
    void setOptions(const FlashTestOptions& options);
    void setSearchBounds(SearchBounds bounds);
    // The dump file prefix (the log name prefix when not set).
    void setDumpPrefix(const QString& prefix);
    // Cycles after which the test ends by itself (0: until stopped).
    void setCycleLimit(int cycles);

    void requestStop() { m_stop.store(true); }
    void prepareStart() { m_stop.store(false); }

    int cycle() const { return m_cycle.load(); }
    uint32_t differenceAddress() const { return m_difference.load(); }
    QString dumpFile(int cycle, bool slave) const;

Q_SIGNALS:
    void sendShowData(int code);

protected:
    void run() override;

private:
    bool dump(int cycle);
    bool measure(int unit, SearchBounds bounds);
    // 0 same, 4 / 5 difference (address stored), -1 the files could not be read.
    int compare(int cycle, const FlashTestOptions& options);
    bool frameGone() const;

    mutable std::mutex m_mutex;
    FlashTestOptions m_options;
    SearchBounds m_bounds;
    QString m_prefix;
    int m_limit = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_cycle{0};
    std::atomic<uint32_t> m_difference{0};
};

} // namespace tovrin::production
