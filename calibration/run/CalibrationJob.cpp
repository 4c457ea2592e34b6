#include "calibration/run/CalibrationJob.h"

#include "calibration/run/RunState.h"
#include "calibration/run/TouchCapture.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <QTime>

#include <cmath>

namespace tovrin::calib {

namespace {

using Clock = std::chrono::steady_clock;

// The record keeps the right camera's x (scaled by R >= 0.5) times 16 in 16
// bits, and the screen size in 16 bits: wider screens cannot be stored.
constexpr int kMaxScreenWidth = 4095;
constexpr int kMaxScreenHeight = 32767;

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

void CalibrationJob::showTarget(int i)
{
    CalibrationRunState& state = runState();
    state.target = i;
    // One redraw request at a time: the window clears the flag when it
    // paints, so a slow window is never flooded.
    if (state.repaint.exchange(1) == 0)
        send(code::PointReady);
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

    if (const Check c = check(); c != Check::Go)
        return finish(c);
    const auto armStart = Clock::now();
    if (!device::ArmTouchData()) {
        device::markGoneOnNoReply();
        g_CalDataInitSuc = 0;
        return finish(RunOutcome::InitFailed, code::InitFailed, "ArmTouchData failed");
    }
    g_CalDataInitSuc = 1;
    device::g_isDeviceCommunicate = 1;
    logTime(name, "end");
    shell::LogF("%s::run start to end  %02d\n", name,
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - armStart).count()));
    for (int pass = 0; pass < kIdlePasses; ++pass)
        if (const Check c = check(); c != Check::Go)
            return finish(c);

    if (!capture())
        return m_report;
    solveAndStore();
    return m_report;
}

bool CalibrationJob::capture()
{
    CalibrationRunState& state = runState();
    TouchCapture touches(m_report.variant,
                         g_CaptureAverage.load() ? CapturePosition::Average : CapturePosition::Vote);
    touches.startRun();
    TouchFrame frame;
    auto query = [&](int i, std::uint8_t release) {
        ++m_report.reports;
        const ScreenPoint p = m_grid.target(i);
        const int r = readTouchFrame(static_cast<std::uint8_t>(m_grid.gridIndex(i)), packScreenPosition(p.x, p.y),
                                     release, frame);
        state.leftCount = frame.left.valid();
        state.rightCount = frame.right.valid();
        return r != 3;
    };
    auto stopped = [&](Check why) {
        finish(why);
        return false;
    };
    auto failed = [&](const char* what) {
        g_CalibrationProcessSuc = 0;
        if (const Check c = check(); c == Check::DeviceLost)
            return stopped(c);
        finish(RunOutcome::Failed, code::ProcessFailed, what);
        return false;
    };

    // Background: what the cameras see while nobody touches.
    for (int f = 1; f <= kBackgroundFrames; ++f) {
        if (const Check c = check(); c != Check::Go)
            return stopped(c);
        if (!query(0, kReleaseFree))
            return failed("a touch query of the background failed");
        if (f >= 3)
            touches.addBackground(frame);
        if (f == kBackgroundFrames - 1)
            showTarget(0);
    }

    int i = 0;
    while (i < m_grid.points) {
        if (const Check c = check(); c != Check::Go)
            return stopped(c);
        if (const int now = state.pointIndex.load(); now != i) {
            // The window took a point back: capture it again.
            i = std::clamp(now, 0, m_grid.points - 1);
            touches.forgetFrom(m_grid.gridIndex(i));
            state.heldFrames = 0;
            continue;
        }
        showTarget(i);
        if (!query(i, kReleaseFree))
            return failed("a touch query failed");
        const int held = touches.feed(frame, i);
        state.heldFrames = held;
        if (held < g_WaitFrameCount.load())
            continue;

        const TouchCapture::Choice choice = touches.choose(m_grid.gridIndex(i), m_grid.columnType(i), i);
        state.leftFound = choice.leftFound ? 1 : 0;
        state.rightFound = choice.rightFound ? 1 : 0;
        touches.restartHold();
        state.heldFrames = 0;
        if (!choice.both()) {
            // A camera found nothing: the person touches again.
            showTarget(i);
            continue;
        }
        touches.keepChoice(i);
        m_report.oneDLeft[static_cast<size_t>(i)] = choice.left.position;
        m_report.oneDRight[static_cast<size_t>(m_grid.mirrorIndex(i))] = choice.right.position;
        m_report.lastCapture = Clock::now();
        if (!sleepMsUnless(kPointPauseMs, m_hooks.stop))
            return stopped(Check::Stopped);
        int expected = i;
        if (!state.pointIndex.compare_exchange_strong(expected, i + 1))
            continue;  // taken back meanwhile: the loop picks the new index up
        ++i;
        if (i >= m_grid.points)
            break;
        // The next target is shown; the finger of the previous one must go first.
        const int previous = i - 1;
        const ScreenPoint p = m_grid.target(i);
        const ReleaseResult released = waitForRelease(
            touches, static_cast<std::uint8_t>(m_grid.gridIndex(i)), packScreenPosition(p.x, p.y),
            m_grid.gridIndex(previous), m_grid.columnType(previous),
            [&] {
                if (check() != Check::Go || state.pointIndex.load() != i)
                    return true;
                showTarget(i);
                ++m_report.reports;
                return false;
            },
            [&](const TouchFrame& seen) {
                state.leftCount = seen.left.valid();
                state.rightCount = seen.right.valid();
            });
        if (released == ReleaseResult::Failed)
            return failed("a touch query of the release wait failed");
    }
    state.target = -1;
    return true;
}

void CalibrationJob::measureGrid(const StoreResult& stored)
{
    const std::optional<GridProbe> probe = gridProbe();
    if (!probe || !probe->touch)
        return;
    records::ScreenRecord screen;
    const bool haveScreen = records::readScreenRecord(screen) && screen.isValid();
    const FrameMapping mapping(stored.slave.solution, m_report.variant);
    m_report.grid = calib::measureGrid(mapping, m_width, m_height, probe->columns, probe->rows, probe->touch,
                                       haveScreen ? diagonalInches(screen.Screen_Size) : std::nullopt);
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
    const auto solveStart = Clock::now();
    if (m_grid.kind == GridKind::Sixteen) {
        CalibInput16 in;
        in.width = m_width;
        in.height = m_height;
        in.oneDLeft = m_report.oneDLeft;
        in.oneDRight = m_report.oneDRight;
        status = solver.Solve16(in, hooks);
    } else {
        CalibInput4 in;
        in.width = m_width;
        in.height = m_height;
        for (int k = 0; k < 4; ++k) {
            in.oneDLeft[static_cast<size_t>(k)] = m_report.oneDLeft[static_cast<size_t>(k)];
            in.oneDRight[static_cast<size_t>(k)] = m_report.oneDRight[static_cast<size_t>(k)];
        }
        status = solver.Solve4(in, hooks);
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
