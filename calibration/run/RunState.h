#pragma once
// The state of a calibration run that the worker shares with the window
// painting it. The worker writes it; the window reads it to paint and, to
// take a point back, lowers the point index (the worker notices and
// captures that point again). Every field is atomic: the two threads never
// share a plain variable.

#include <atomic>

namespace tovrin::calib {

// Held frames a calibration point needs (CalibTime, clamped to 40-120 when
// read); set from the settings when a run is prepared.
extern std::atomic<int> g_WaitFrameCount;
// 1 while the 4-point calibration is chosen. The 16-point worker ends (code
// 6) when it is set, the 4-point worker when it is cleared.
extern std::atomic<int> FourCalib_en;
// Touch data armed for the current run (ArmTouchData answered).
extern std::atomic<int> g_CalDataInitSuc;
// 0 after a device step of the run failed.
extern std::atomic<int> g_CalibrationProcessSuc;
// Set by the end-user window before it starts a run: the worker first sends
// the stored start lines and image settings to the frame. The done flag
// tells a closing window that this configuration is over.
extern std::atomic<int> g_CalibEnvironment;
extern std::atomic<int> g_CalibEnvironmentDone;
// How a captured position is taken from the held frames (CapturePosition of
// TouchCapture.h): 0 the vote of the spot choice, 1 the robust mean of the
// hold, -1 (no setting) the robust mean: on every optics variant and noise
// model of tovrin-bench accuracy it places touches better than the vote,
// after 16 points and after 4. Tovrin.ini Tovrin_Debug/CaptureAverage,
// tovrin-cli calibrate --average / --vote.
extern std::atomic<int> g_CaptureAverage;
// 1: the solve refines the search's result continuously over all captured
// points (SolveOptions::refine). Tovrin.ini Tovrin_Debug/RefineSolve.
extern std::atomic<int> g_RefineSolve;
// 1 (the default): a 4-point solve takes, of the scales that place the four
// corners equally well, the one with the smallest pixel shifts
// (SolveOptions::leastShiftScale); 0: the scale of the least error alone.
// Tovrin.ini Tovrin_Debug/LeastShiftScale.
extern std::atomic<int> g_LeastShiftScale;
// 1: after each captured point the run saves both units' line images under
// SampleData/ of the data folder, as the image-debug panel's SaveData does (PointSamples.h);
// a save that fails ends the run as a process failure. Tovrin.ini
// Tovrin_Debug/SaveSample, default 0.
extern std::atomic<int> g_SaveSample;

// What the run asks of the person at the target, besides touching it.
enum class PersonRequest : int {
    None = 0,
    LiftFinger = 1,  // the finger of the point just taken stays down
    OneFinger = 2,   // the touch showed more fingers than one: touch again with one
};

struct CalibrationRunState {
    std::atomic<int> points{16};        // 16 or 4
    std::atomic<int> width{0};          // screen of the run, pixels
    std::atomic<int> height{0};
    std::atomic<int> pointIndex{0};     // capture order, 0 .. points
    std::atomic<int> target{-1};        // capture index of the target shown; -1 none
    std::atomic<int> repaint{0};        // 1: a repaint was asked for and not done yet
    std::atomic<int> heldFrames{0};     // frames the current touch has been held
    std::atomic<int> leftCount{0};      // spots of the last report, per camera
    std::atomic<int> rightCount{0};
    std::atomic<int> leftFound{0};      // the last attempt found a point, per camera
    std::atomic<int> rightFound{0};
    std::atomic<int> progress{0};       // saving, percent
    std::atomic<PersonRequest> request{PersonRequest::None};

    // A fresh run of `pointCount` points on a width x height screen.
    void startRun(int pointCount, int screenWidth, int screenHeight);

    // The window takes one point back; false at point 0 or after the last one.
    bool takeBack();
};

CalibrationRunState& runState();

// The text a window shows while a run waits at a target: message 69
// "Please touch the center of the cross ...", 151 "Please lift your finger
// from the screen." or 152 "... with one finger only." by the run's request.
int touchPromptMessage(const CalibrationRunState& state);

enum class CapturePosition;
enum class GridKind;
// The capture estimate of a run under g_CaptureAverage.
CapturePosition capturePosition();

// g_WaitFrameCount, g_CaptureAverage and g_SaveSample from Tovrin.ini,
// before a run.
void loadRunSettings();

} // namespace tovrin::calib
