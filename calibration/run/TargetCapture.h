#pragma once
// Capturing every target of a run: the loop the touch calibration (its 16
// or 4 grid points) and the shortcut-key calibration (the corners of its
// keys) share.
//
//   0. armTouchData(), before the capture;
//   1. 100 idle passes;
//   2. 61 frames of background: from the third on, spots seen by one camera
//      only are background; the first target is shown after the 60th;
//   3. for each target: frames until both cameras have seen the touch for
//      g_WaitFrameCount frames in a row, the spot choice, again when a camera
//      found nothing; the choice kept; 200 ms; then, before the next target,
//      the release wait for the finger to leave.
//
// The run state's request tells the person what else is needed: to touch
// with one finger (a hold that showed more fingers is not taken), or to
// lift the finger of the point just taken when it stays down.
//
// What differs between the runs is in the plan: what each query carries,
// the release bytes, how a spot is chosen, how the finger of the previous
// target is recognised, and what is done with a kept choice. The window
// takes a target back with CalibrationRunState::takeBack(); the loop
// notices and captures that target again.
//
// The loop publishes its progress in the run state the window paints from
// (target shown, held frames, spot counts, found flags) and asks for a
// redraw through the hooks, one request at a time.

#include "calibration/run/RunState.h"
#include "calibration/run/TouchCapture.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace tovrin::calib {

constexpr int kIdlePasses = 100;
// Frames before the first target: background from the third one.
constexpr int kBackgroundFrames = 61;
constexpr int kPointPauseMs = 200;
// The frame answers at most one report a millisecond (its interrupt
// endpoint's interval): a run asks no faster, while it waits for a touch
// and while it waits for the finger to leave.
constexpr int kTouchFramePeriodMs = 1;
// A person lifts the finger within a moment of the next target showing; a
// finger still down after two seconds' worth of frames is asked to lift
// (PersonRequest::LiftFinger in the run state) until it does.
constexpr int kLiftRequestFrames = 2000 / kTouchFramePeriodMs;

// ArmTouchData for a run: success sets g_CalDataInitSuc and
// g_isDeviceCommunicate; failure clears g_CalDataInitSuc, and a transaction
// without reply marks the frame gone.
bool armTouchData();

// Request bytes 1-5 of a target's queries.
struct TargetQuery {
    std::uint8_t pointIndex = 0;
    std::uint32_t position = 0;
};

struct TargetPlan {
    int targets = 0;
    std::function<TargetQuery(int target)> query;
    // Release byte of every query while a target waits for its touch (the
    // background phase included), and of the first query of a release wait.
    std::uint8_t touchRelease = kReleaseFree;
    std::uint8_t firstReleaseAfter = kReleaseHeld;
    // Each camera's spot at the end of a hold.
    std::function<TouchCapture::Choice(TouchCapture&, int target)> choose;
    // During the release wait: whether the finger of `previous` is still seen.
    std::function<bool(TouchCapture&, const TouchFrame&, int previous)> stillHeld;
    // Targets from `target` on are captured again (after a take-back); the
    // hold is restarted before this is called.
    std::function<void(TouchCapture&, int target)> takenBack;
    // A choice with a spot on both cameras is kept; false fails the run.
    std::function<bool(int target, const TouchCapture::Choice&)> kept;
    // Pause after every query and idle pass, milliseconds.
    int paceMs = 0;
};

struct CaptureHooks {
    // Asked before every step; false ends the capture (stop request, frame
    // gone, mode switched: the caller knows which).
    std::function<bool()> go;
    // A target to show or a hold to redraw (the window's code 0).
    std::function<void()> redraw;
    // Ends the pause after a kept target early.
    const std::atomic<bool>* stop = nullptr;
};

enum class CaptureOutcome {
    Captured,     // every target kept
    Interrupted,  // go() said no
    QueryFailed,  // a ReadTouchPoints failed (failure() says where)
    KeepFailed,   // the plan's kept() failed
};

class TargetCapture {
public:
    TargetCapture(TouchCapture& touches, CalibrationRunState& state, TargetPlan plan, CaptureHooks hooks);

    CaptureOutcome run();

    // ReadTouchPoints sent so far.
    int queries() const { return m_queries; }
    // What failed, for the log and the run's report.
    const char* failure() const { return m_failure; }

private:
    bool query(int target, std::uint8_t release, TouchFrame& frame);
    void showTarget(int target);
    bool go() const { return !m_hooks.go || m_hooks.go(); }
    CaptureOutcome background();
    CaptureOutcome targets();
    CaptureOutcome failed(const char* what);

    TouchCapture& m_touches;
    CalibrationRunState& m_state;
    TargetPlan m_plan;
    CaptureHooks m_hooks;
    int m_queries = 0;
    const char* m_failure = "";
};

} // namespace tovrin::calib
