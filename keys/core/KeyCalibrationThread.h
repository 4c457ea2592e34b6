#pragma once
// The key calibration run: the user touches the corners of the first and
// the last key of every group, the frame reports each camera's spots, the
// run picks each camera's key spot, then maps the corners with the stored
// touch calibration, writes the key codes, computes every key's rectangle
// and stores them (KeyStore.h).
//
// The frame handling is the touch calibration's own (TargetCapture.h): arm,
// 100 idle passes, a 61-frame background phase, then per target a touch
// held for g_WaitFrameCount frames, vote and sort, the key chooser instead
// of the grid's spot choice, and a release wait before the next target.
// The key run asks at most one frame a millisecond; while a corner waits
// for its touch its queries carry the release byte 0, and the first query
// after a corner 255. The request of each query carries the target record
// instead of a point position:
//
//   screen position word (little-endian):
//     byte 0  edge (1 left, 2 right, 3 bottom, 4 top) | 0x40
//             (| 0x80 instead on an extended-frame device)
//     byte 1  group number (1-3)
//     byte 2  keys in the group
//     byte 3  target in the group: 0 first key top-left, 1 its bottom-right,
//             2 last key top-left, 3 its bottom-right
//   point index: the target's number in the run
//
// Codes to the window (sendData):
//   0 target ready / redraw     1 init failed       2 process failed
//   3 saving progress           4 key calibration stored
//   7 the frame refused calibration mode (a run asked to switch first; the
//     run ends, modeRefusal() tells how once it has)

#include "calibration/run/RunState.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyLayout.h"

#include "device/DeviceStatus.h"
#include "jobs/Worker.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tovrin::keys {

namespace keycode {
constexpr int kTargetReady = 0;
constexpr int kInitFailed = 1;
constexpr int kProcessFailed = 2;
constexpr int kProgress = 3;
constexpr int kStored = 4;
constexpr int kModeRefused = 7;  // beside the key test's 5 and 6: the window takes both
} // namespace keycode

// The run state the window paints from, that of every calibration run
// (RunState.h: target shown, its index, held frames, spot counts, found
// flags, saving progress; the window steps back with takeBack()), and the
// run's stop request. Touch data armed: calib::g_CalDataInitSuc.
struct KeyRunState : calib::CalibrationRunState {
    std::atomic<bool> stop{false};
};

// The record a query carries for one target.
uint32_t targetRecord(const KeyTarget& target, bool extendedFrame);

// What a person is asked to touch for a target, the key numbered along its
// edge from 1: "left key 3 (group 1), bottom-right corner".
QString describeTarget(const KeyTarget& target, const KeyConfiguration& configuration);

// The clock of a run's time limit (steady time by default; tests give their own).
using KeyRunClock = std::function<std::chrono::steady_clock::time_point()>;

// One key calibration, run in the caller's thread; reports codes through
// `send`. The window runs it in KeyCalibrationThread, tovrin-cli the same.
class KeyCalibrationJob {
public:
    // depiction: the laid-out configuration (targets and groups); width and
    // height: the screen the keys are calibrated on (the key area's default
    // ends); codes: the checked key codes.
    KeyCalibrationJob(KeyDepiction depiction, int width, int height, KeyCodes codes, KeyRunState& state);

    // A target not taken within `limit` of being shown ends the run with
    // code 2 (a key the cameras cannot both see, or nobody touching); no
    // limit by default (the window's user ends a run with Exit).
    void setTargetLimit(std::chrono::milliseconds limit, KeyRunClock clock = {});

    void run(const std::function<void(int)>& send);

    // The target that was not taken in time, when that ended the run.
    std::optional<int> targetNotTaken() const { return m_notTaken; }

    const std::vector<int32_t>& oneDLeft() const { return m_oneDLeft; }
    const std::vector<int32_t>& oneDRight() const { return m_oneDRight; }
    const KeyDepiction& depiction() const { return m_depiction; }

private:
    bool capture(const std::function<void(int)>& send);
    void finish(const std::function<void(int)>& send);

    KeyDepiction m_depiction;
    int m_width;
    int m_height;
    KeyCodes m_codes;
    KeyRunState& m_state;
    bool m_extended = false;
    std::vector<int32_t> m_oneDLeft;
    std::vector<int32_t> m_oneDRight;
    std::optional<std::chrono::milliseconds> m_limit;
    KeyRunClock m_clock;
    std::optional<int> m_notTaken;
};

// KeyCalibrationJob in a worker (jobs/Worker.h); the worker's stop request
// is the run state's stop flag.
class KeyCalibrationThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit KeyCalibrationThread(QObject* parent = nullptr);
    ~KeyCalibrationThread() override;

    // Set before startWork(): what to calibrate.
    void prepare(const KeyDepiction& depiction, int width, int height, const KeyCodes& codes);
    // Set before startWork(): the time a target may wait for its touch (none
    // unless set).
    void setTargetLimit(std::chrono::milliseconds limit) { m_limit = limit; }
    // After the run: the target not taken in time, if that ended it.
    std::optional<int> targetNotTaken() const { return hasEnded() ? m_notTaken : std::nullopt; }
    // The next run first puts the frame in calibration mode (the key
    // calibration window's runs; tovrin-cli switches, and checks, itself).
    // A refusal ends that run with code 7.
    void switchModeOnNextRun() { m_switchMode = true; }
    // After a run that ended with code 7: the refused switch.
    std::optional<device::ModeSwitchOutcome> modeRefusal() const
    {
        return hasEnded() ? m_modeRefusal : std::nullopt;
    }

    KeyRunState& state() { return m_state; }
    const std::vector<int32_t>& oneDLeft() const { return m_oneDLeft; }
    const std::vector<int32_t>& oneDRight() const { return m_oneDRight; }

protected:
    void work() override;
    void beforeRun() override
    {
        m_state.stop = false;
        m_modeRefusal.reset();
    }
    void stopping() override { m_state.stop = true; }

private:
    KeyRunState m_state;
    std::atomic<bool> m_switchMode{false};
    std::optional<device::ModeSwitchOutcome> m_modeRefusal;
    KeyDepiction m_depiction;
    KeyCodes m_codes;
    int m_width = 0;
    int m_height = 0;
    std::vector<int32_t> m_oneDLeft;
    std::vector<int32_t> m_oneDRight;
    std::optional<std::chrono::milliseconds> m_limit;
    std::optional<int> m_notTaken;
};

} // namespace tovrin::keys
