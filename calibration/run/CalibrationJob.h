#pragma once
// One calibration run, from arming the frame's touch data to the records
// stored in both units: what CalibrationThread (16 points) and
// FastCalibrationThread (4 corners) run, and what tovrin-cli runs through
// them.
//
//   1. the environment configuration, when the end-user window asked for it;
//   2. ArmTouchData, then 100 idle passes;
//   3. 61 frames of background (from the third on, spots seen by one camera
//      only are background); the first target is shown after the 60th;
//   4. for each target: frames until both cameras have seen the touch for
//      g_WaitFrameCount frames in a row, the spot choice, again when a
//      camera found nothing; 200 ms; the release wait before the next one;
//   5. the solve, the image windows, the acceptance test and the storage.
//
// Before every step the run stops when the frame is gone (code 0), the other
// calibration mode was chosen (code 6) or the window asked it to stop (no
// code). Codes to the window (sendData):
//   0 point ready / redraw   1 init failed   2 process failed
//   3 saving progress        4 stored        5 rejected (prior data kept)
//   6 mode switched

#include "calibration/math/Solver.h"
#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationGrid.h"
#include "calibration/run/CalibrationStore.h"
#include "calibration/run/FrameImages.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace tovrin::calib {

namespace code {
constexpr int PointReady = 0;
constexpr int InitFailed = 1;
constexpr int ProcessFailed = 2;
constexpr int Progress = 3;
constexpr int Stored = 4;
constexpr int Rejected = 5;
constexpr int ModeSwitched = 6;
} // namespace code

enum class RunOutcome {
    Stored,        // code 4
    Rejected,      // code 5: the result failed a check, the prior records are kept
    Failed,        // code 2: a transaction failed during capture or storage
    InitFailed,    // code 1: environment configuration or ArmTouchData failed
    DeviceLost,    // code 0: the frame is gone
    ModeSwitched,  // code 6
    Stopped,       // the window asked the run to stop
};
const char* runOutcomeName(RunOutcome outcome);

// Frames before the first target: background from the third one.
constexpr int kBackgroundFrames = 61;
constexpr int kIdlePasses = 100;
constexpr int kPointPauseMs = 200;

struct RunReport {
    RunOutcome outcome = RunOutcome::Stopped;
    std::string reason;                      // log text of a rejection or failure
    int width = 0;
    int height = 0;
    int variant = 0;
    GridKind kind = GridKind::Sixteen;
    std::array<std::int32_t, 16> oneDLeft{};   // capture order
    std::array<std::int32_t, 16> oneDRight{};  // row-mirrored
    records::StClbInfo block;                  // the solution (after a solve)
    AccuracyReport accuracy;                   // calibration points against their targets
    std::optional<GridFigure> grid;            // a grid of other touches (simulated frame only)
    ImageWindows windows;
    int reports = 0;                           // ReadTouchPoints sent
    double solveMs = 0.0;
    double cornerMs = 0.0;
    double storeMs = 0.0;
    std::chrono::steady_clock::time_point lastCapture{};  // the last point taken
    std::chrono::steady_clock::time_point finished{};     // records read back, or the end
};

class CalibrationJob {
public:
    struct Hooks {
        std::function<void(int code)> send;
        const std::atomic<bool>* stop = nullptr;
        const char* threadName = "CalibrationThread";
        // Called with the final report just before the last code goes out,
        // so that whoever receives the code finds the report ready.
        std::function<void(const RunReport&)> ended;
    };

    CalibrationJob(GridKind kind, int width, int height, FrameImages& images, Hooks hooks);

    RunReport run();

private:
    enum class Check { Go, DeviceLost, ModeSwitched, Stopped };
    Check check() const;
    RunReport& finish(Check why);
    RunReport& finish(RunOutcome outcome, int sendCode, const std::string& reason = {});
    void send(int c) const;
    void showTarget(int i);
    bool capture();
    bool solveAndStore();
    void measureGrid(const StoreResult& stored);

    CalibrationGrid m_grid;
    int m_width;
    int m_height;
    FrameImages& m_images;
    Hooks m_hooks;
    RunReport m_report;
};

} // namespace tovrin::calib
