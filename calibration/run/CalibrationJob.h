#pragma once
// One calibration run, from arming the frame's touch data to the records
// stored in both units: what CalibrationThread (16 points) and
// FastCalibrationThread (4 corners) run, and what tovrin-cli runs through
// them.
//
//   1. the environment configuration, when the end-user window asked for it;
//      the frame buffers of sample saving, when it is on (g_SaveSample);
//   2. ArmTouchData, then the capture of TargetCapture.h: idle passes,
//      background, each target held, chosen (FalsePotDel) and released;
//      each query carries the point's grid index and screen position, with
//      the release byte 255 while a point waits for its touch; with sample
//      saving on, each captured point's line images are saved;
//   3. the solve, the image windows, the acceptance test and the storage.
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
#include "calibration/run/PointSamples.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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
    BackgroundList backgroundLeft;             // spots seen without a touch, at the end of the capture
    BackgroundList backgroundRight;
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
    bool capture();
    bool solveAndStore();
    void measureGrid(const StoreResult& stored);

    CalibrationGrid m_grid;
    int m_width;
    int m_height;
    FrameImages& m_images;
    Hooks m_hooks;
    RunReport m_report;
    std::unique_ptr<PointSamples> m_samples;  // sample saving on
};

} // namespace tovrin::calib
