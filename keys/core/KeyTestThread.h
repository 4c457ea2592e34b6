#pragma once
// The key test: in work mode the frame reports the pressed shortcut key in
// feature report 7; the thread asks for it every 10 ms and keeps the edge and
// number for the window to paint.
//
// Feature report 7 (3 bytes):
//   [0] 7   [1] edge of the pressed key (1 left, 2 right, 3 bottom, 4 top;
//   0 none)   [2] key number on that edge from 1 (0 none)
//
// Codes to the window (sendData):
//   0 repaint the pressed key (also sent once when the frame is gone)
//   5 the report could not be read    6 the test runs

#include "jobs/Worker.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace tovrin::keys {

namespace testcode {
constexpr int kRepaint = 0;
constexpr int kReadFailed = 5;
constexpr int kTesting = 6;
} // namespace testcode

constexpr uint8_t kKeyReportId = 7;
constexpr int kKeyPollMs = 10;

struct PressedKey {
    int edge = 0;
    int number = 0;
    bool operator==(const PressedKey&) const = default;
};

// Reads one feature report 7. False when the fetch failed or the answer is
// not report 7; a number of 0 or less means no key (both values cleared).
bool readPressedKey(PressedKey& key);

// Decodes the three bytes of a feature report (false for another report ID).
bool decodeKeyReport(const uint8_t* report, PressedKey& key);

// The key state shared with the window: written by the thread, read when
// painting.
struct KeyTestState {
    std::atomic<bool> stop{false};
    std::atomic<int> edge{0};
    std::atomic<int> number{0};
    PressedKey pressed() const { return {edge.load(), number.load()}; }
};

// The polling loop, run in the caller's thread until stopped or the frame
// is gone; `send` receives the codes, `changed` (may be empty) each new key
// state (for tovrin-cli's event list).
void runKeyTest(KeyTestState& state, const std::function<void(int)>& send,
                const std::function<void(const PressedKey&)>& changed = {});

// runKeyTest in a worker (jobs/Worker.h); the worker's stop request is the
// state's stop flag.
class KeyTestThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit KeyTestThread(QObject* parent = nullptr);
    ~KeyTestThread() override;

    KeyTestState& state() { return m_state; }
    // The next run first puts the frame in work mode, where it reports its
    // keys (the key calibration window's test after a stored calibration;
    // a refusal is logged and the test runs all the same).
    void switchModeOnNextRun() { m_switchMode = true; }

Q_SIGNALS:
    void keyChanged(int edge, int number);

protected:
    void work() override;
    void beforeRun() override { m_state.stop = false; }
    void stopping() override { m_state.stop = true; }

private:
    KeyTestState m_state;
    std::atomic<bool> m_switchMode{false};
};

} // namespace tovrin::keys
