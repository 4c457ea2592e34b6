#include "calibration/run/CalibrationJob.h"

#include "calibration/run/RunState.h"
#include "calibration/run/TargetCapture.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <QTime>

#include <cmath>
#include <string>

namespace tovrin::calib {

namespace {

using Clock = std::chrono::steady_clock;

// The widest and tallest screens a calibration is made for. A screen wider
// than the records' camera places can hold is solved on a smaller plane
// (planeDivisor); these bounds keep every stored field well inside its range.
constexpr int kMaxScreenWidth = 4095;
constexpr int kMaxScreenHeight = 32767;
// How far the cameras alone may miss the calibration points, on average, as
// a share of the screen's diagonal (see solveAndStore).
constexpr double kMaxCameraMiss = 0.05;

void logTime(const char* thread, const char* what)
{
    const QTime t = localNow().time();
    shell::LogF("%s::run %s  %02d:%02d:%02d:%02d\n", thread, what, t.hour(), t.minute(), t.second(), t.msec());
}

} // namespace

const char* runOutcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Stored: return "stored";
    case RunOutcome::Rejected: return "rejected";
    case RunOutcome::Failed: return "failed";
    case RunOutcome::InitFailed: return "init failed";
    case RunOutcome::DeviceLost: return "device lost";
    case RunOutcome::ModeSwitched: return "mode switched";
    case RunOutcome::Stopped: return "stopped";
    }
    return "?";
}

CalibrationJob::CalibrationJob(GridKind kind, int width, int height, FrameImages& images, Hooks hooks)
    : m_grid(CalibrationGrid::make(kind, width, height))
    , m_width(width)
    , m_height(height)
    , m_images(images)
    , m_hooks(std::move(hooks))
{
    m_report.kind = kind;
    m_report.width = width;
    m_report.height = height;
}

void CalibrationJob::send(int c) const
{
    if (m_hooks.send)
        m_hooks.send(c);
}

CalibrationJob::Check CalibrationJob::check() const
{
    if (m_hooks.stop && m_hooks.stop->load())
        return Check::Stopped;
    if (!device::g_bDevExist.load())
        return Check::DeviceLost;
    const bool fourChosen = FourCalib_en.load() != 0;
    if (fourChosen != (m_grid.kind == GridKind::Four))
        return Check::ModeSwitched;
    return Check::Go;
}

RunReport& CalibrationJob::finish(RunOutcome outcome, int sendCode, const std::string& reason)
{
    m_report.outcome = outcome;
    if (!reason.empty())
        m_report.reason = reason;
    m_report.finished = Clock::now();
    runState().target = -1;
    runState().pointIndex = 0;
    if (m_hooks.ended)
        m_hooks.ended(m_report);
    if (sendCode >= 0)
        send(sendCode);
    return m_report;
}

RunReport& CalibrationJob::finish(Check why)
{
    switch (why) {
    case Check::DeviceLost: return finish(RunOutcome::DeviceLost, code::PointReady);
    case Check::ModeSwitched: return finish(RunOutcome::ModeSwitched, code::ModeSwitched);
    default: return finish(RunOutcome::Stopped, -1);
    }
}

RunReport CalibrationJob::run()
{
    const char* name = m_hooks.threadName;
    logTime(name, "start");
    m_report.variant = device::ExtendedFrameDevice.load() == 1 ? 1 : 0;
    CalibrationRunState& state = runState();
    state.startRun(m_grid.points, m_width, m_height);
    g_CalibrationProcessSuc = 1;

    if (g_CalibEnvironment.exchange(0)) {
        g_CalibEnvironmentDone = 0;
        const bool configured = m_images.configureEnvironment();
        g_CalibEnvironmentDone = 1;
        if (!configured)
            return finish(RunOutcome::InitFailed, code::InitFailed, "the environment configuration failed");
    }
    if (m_width < 1 || m_height < 1 || m_width > kMaxScreenWidth || m_height > kMaxScreenHeight) {
        shell::LogF("Calibration: a %d x %d screen cannot be calibrated (widths 1-%d, heights 1-%d)\n", m_width,
                    m_height, kMaxScreenWidth, kMaxScreenHeight);
        return finish(RunOutcome::Rejected, code::Rejected, "the screen size cannot be stored");
    }

    if (g_SaveSample.load()) {
        // The frame buffers of the points' line images; without them every
        // save fails.
        m_samples = std::make_unique<PointSamples>();
        m_samples->open();
    }

    if (const Check c = check(); c != Check::Go)
        return finish(c);
    const auto armStart = Clock::now();
    if (!armTouchData())
        return finish(RunOutcome::InitFailed, code::InitFailed, "ArmTouchData failed");
    logTime(name, "end");
    shell::LogF("%s::run start to end  %02d\n", name,
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - armStart).count()));

    if (!capture())
        return m_report;
    solveAndStore();
    return m_report;
}

bool CalibrationJob::capture()
{
    TouchCapture touches(m_report.variant, capturePosition());
    TargetPlan plan;
    plan.targets = m_grid.points;
    plan.query = [this](int i) {
        const ScreenPoint p = m_grid.target(i);
        return TargetQuery{static_cast<std::uint8_t>(m_grid.gridIndex(i)), packScreenPosition(p.x, p.y)};
    };
    // While a point waits for its touch the frame may take any finger as
    // lifted; right after a point the old finger is still down.
    plan.touchRelease = kReleaseFree;
    plan.firstReleaseAfter = kReleaseHeld;
    plan.paceMs = kTouchFramePeriodMs;
    plan.choose = [this](TouchCapture& t, int i) {
        // Spots the background does not explain beside the finger: no
        // choice among them is taken (a second finger, or one never seen
        // before the run).
        if (t.moreThanOneFinger(m_grid.gridIndex(i))) {
            TouchCapture::Choice refused;
            refused.moreFingers = true;
            return refused;
        }
        return t.choose(m_grid.gridIndex(i), m_grid.columnType(i), i);
    };
    plan.stillHeld = [this](TouchCapture& t, const TouchFrame& frame, int previous) {
        return t.stillHeld(frame, m_grid.gridIndex(previous), m_grid.columnType(previous));
    };
    plan.takenBack = [this](TouchCapture& t, int i) { t.forgetFrom(m_grid.gridIndex(i)); };
    plan.kept = [this](int i, const TouchCapture::Choice& choice) {
        m_report.oneDLeft[static_cast<size_t>(i)] = choice.left.position;
        m_report.oneDRight[static_cast<size_t>(m_grid.mirrorIndex(i))] = choice.right.position;
        m_report.lastCapture = Clock::now();
        return !m_samples || m_samples->save([this] { return check() == Check::Go; });
    };
    CaptureHooks hooks;
    hooks.go = [this] { return check() == Check::Go; };
    hooks.redraw = [this] { send(code::PointReady); };
    hooks.stop = m_hooks.stop;

    TargetCapture targets(touches, runState(), std::move(plan), std::move(hooks));
    const CaptureOutcome outcome = targets.run();
    m_report.reports = targets.queries();
    m_report.backgroundLeft = touches.background(Side::Left);
    m_report.backgroundRight = touches.background(Side::Right);
    switch (outcome) {
    case CaptureOutcome::Captured:
        return true;
    case CaptureOutcome::Interrupted: {
        const Check c = check();
        finish(c == Check::Go ? Check::Stopped : c);
        return false;
    }
    case CaptureOutcome::QueryFailed:
        g_CalibrationProcessSuc = 0;
        if (const Check c = check(); c == Check::DeviceLost) {
            finish(c);
            return false;
        }
        finish(RunOutcome::Failed, code::ProcessFailed, targets.failure());
        return false;
    case CaptureOutcome::KeepFailed:
        // A sample save that a stop, a mode switch or a lost frame cut short
        // ends as they do; one that failed by itself fails the run.
        if (const Check c = check(); c != Check::Go) {
            finish(c);
            return false;
        }
        g_CalibrationProcessSuc = 0;
        finish(RunOutcome::Failed, code::ProcessFailed, "saving the point's line images failed");
        return false;
    }
    return false;
}

void CalibrationJob::measureGrid(const StoreResult& stored)
{
    const std::optional<GridProbe> probe = gridProbe();
    if (!probe || !probe->touch)
        return;
    records::ScreenRecord screen;
    const bool haveScreen = records::readScreenRecord(screen) && screen.isValid();
    const FrameMapping mapping(stored.slave.solution, m_report.variant, planeDivisor(m_width));
    // The frame's spot of each touch: inside the stored windows, not one the
    // run saw without a touch.
    SpotPick pick;
    pick.left = m_report.backgroundLeft;
    pick.right = m_report.backgroundRight;
    pick.windows = ImageWindows{stored.master.u10_PROJECT_START, stored.master.u10_PROJECT_END,
                                stored.slave.u10_PROJECT_START, stored.slave.u10_PROJECT_END};
    m_report.grid = calib::measureGrid(mapping, m_width, m_height, probe->columns, probe->rows, probe->touch,
                                       haveScreen ? diagonalInches(screen.Screen_Size) : std::nullopt, true, pick);
    logGridFigure(*m_report.grid);
}

bool CalibrationJob::solveAndStore()
{
    CalibrationRunState& state = runState();
    state.progress = 0;
    send(code::Progress);

    CalibSolver solver(m_report.variant, m_grid.kind == GridKind::Sixteen ? "gClbInfo" : "gFastClbInfo");
    int lastPercent = 0;
    auto progress = [&](int percent) {
        if (percent == lastPercent)
            return;
        lastPercent = percent;
        state.progress = percent;
        send(code::Progress);
    };
    SolveHooks hooks;
    hooks.progress = progress;
    hooks.stopRequested = [this] { return check() != Check::Go; };
    SolveStatus status;
    SolveOptions options;
    options.refine = g_RefineSolve.load() == 1;
    options.leastShiftScale = g_LeastShiftScale.load() == 1;
    const auto solveStart = Clock::now();
    if (m_grid.kind == GridKind::Sixteen) {
        CalibInput16 in;
        in.width = m_width;
        in.height = m_height;
        in.oneDLeft = m_report.oneDLeft;
        in.oneDRight = m_report.oneDRight;
        status = solver.Solve16(in, hooks, options);
    } else {
        CalibInput4 in;
        in.width = m_width;
        in.height = m_height;
        for (int k = 0; k < 4; ++k) {
            in.oneDLeft[static_cast<size_t>(k)] = m_report.oneDLeft[static_cast<size_t>(k)];
            in.oneDRight[static_cast<size_t>(k)] = m_report.oneDRight[static_cast<size_t>(k)];
        }
        status = solver.Solve4(in, hooks, options);
    }
    m_report.solveMs = std::chrono::duration<double, std::milli>(Clock::now() - solveStart).count();
    if (status == SolveStatus::Stopped) {
        const Check c = check();
        finish(c == Check::Go ? Check::Stopped : c);
        return false;
    }
    if (status != SolveStatus::Ok) {
        shell::LogF("Calibration: the solve gave no result (%s)\n", solveStatusName(status));
        finish(RunOutcome::Rejected, code::Rejected, std::string("the solve gave no result: ") + solveStatusName(status));
        return false;
    }
    m_report.block = solver.block();
    m_report.accuracy = solver.accuracy();
    // Cameras that miss the calibration points by more than 1 % of the
    // diagonal (every sound calibration stays well within it) describe no
    // frame: the cell corrections would take the points themselves onto
    // their targets and hide it, while touches between them land a hundred
    // pixels off or are not seen at all. Such a result is no calibration.
    const double missLimit = kMaxCameraMiss * std::hypot(double(m_width), double(m_height));
    if (m_report.accuracy.mean > missLimit) {
        shell::LogF("Calibration: the cameras miss the calibration points by %.1f px on average (limit %.1f): "
                    "the records cannot hold this screen's geometry\n",
                    m_report.accuracy.mean, missLimit);
        finish(RunOutcome::Rejected, code::Rejected,
               "the cameras miss the calibration points by " + std::to_string(std::lround(m_report.accuracy.mean)) +
                   " px on average: the records cannot hold this screen's geometry");
        return false;
    }

    StoreSteps steps;
    steps.interrupted = [this] { return check() != Check::Go; };
    steps.progress = progress;
    const StoreResult stored =
        evaluateAndStore(solver.mapper(), solver.block(), m_width, m_height, m_report.variant, m_images, steps);
    m_report.windows = stored.windows;
    m_report.cornerMs = stored.cornerMs;
    m_report.storeMs = stored.storeMs;
    switch (stored.outcome) {
    case StoreOutcome::Stored:
        state.progress = 100;
        measureGrid(stored);
        finish(RunOutcome::Stored, code::Stored);
        return true;
    case StoreOutcome::Rejected:
        finish(RunOutcome::Rejected, code::Rejected, stored.reason);
        return false;
    case StoreOutcome::Failed:
        g_CalibrationProcessSuc = 0;
        shell::LogF("Calibration: storing failed: %s\n", stored.reason.c_str());
        if (const Check c = check(); c == Check::DeviceLost || c == Check::Stopped) {
            finish(c);
            return false;
        }
        finish(RunOutcome::Failed, code::ProcessFailed, stored.reason);
        return false;
    }
    return false;
}

} // namespace tovrin::calib
