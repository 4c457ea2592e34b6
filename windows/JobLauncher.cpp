#include "JobLauncher.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/FrameHold.h"
#include "jobs/TaskWorker.h"
#include "shell/Log.h"

#include <memory>
#include <utility>

namespace tovrin::windows {

bool JobLauncher::guardOnly()
{
    if (m_closing)
        return false;
    if (m_hooks.connected())
        return true;
    m_hooks.showStatus(14);
    return false;
}

bool JobLauncher::guard(std::function<void()> retry)
{
    if (m_closing)
        return false;
    if (!stopWorkers(std::move(retry)))
        return false;
    return guardOnly();
}

bool JobLauncher::anyWorkerRunning() const
{
    for (const Worker& w : m_workers)
        if (w.running && w.running())
            return true;
    return false;
}

bool JobLauncher::stopWorkers(std::function<void()> then, bool closing)
{
    if (closing)
        m_closing = true;
    if (m_pendingStops > 0) {
        // The workers are stopping already: the latest request waits for
        // them instead of the one before (never one that closing made).
        if (then && (closing || !m_closing))
            m_then = std::move(then);
        return false;
    }
    m_then = std::move(then);
    // One count held while the requests go out: a worker that ends at once
    // does not end the stop before the others are asked.
    m_pendingStops = 1;
    for (const Worker& w : m_workers) {
        if (!w.running || !w.running())
            continue;
        ++m_pendingStops;
        w.stopThen([this, log = w.closeLog] { workerEnded(log); });
    }
    if (--m_pendingStops > 0)
        return false;
    m_then = nullptr;  // nothing is left running: the caller goes on itself
    return true;
}

void JobLauncher::workerEnded(const char* closeLog)
{
    if (m_closing)
        closingSwitch(closeLog);
    else
        oneStopEnded();
}

void JobLauncher::closingSwitch(const char* closeLog)
{
    jobs::TaskWorker& t = task();
    if (t.busy()) {
        t.whenIdle(m_window, [this, closeLog] { closingSwitch(closeLog); });
        return;
    }
    t.run(
        [closeLog] {
            if (!device::SwitchMode(device::mode::Work))
                shell::LogF(closeLog, device::g_isSwitchMode.load());
        },
        m_window, [this] { oneStopEnded(); });
}

void JobLauncher::oneStopEnded()
{
    if (--m_pendingStops > 0)
        return;
    if (std::function<void()> then = std::exchange(m_then, nullptr))
        then();
}

bool JobLauncher::switchFailureShown(const device::ModeSwitchOutcome& outcome)
{
    if (outcome.ok)
        return true;
    if (outcome.deviceAbsent) {
        m_hooks.frameGone();
        return false;
    }
    if (outcome.messageId >= 0)
        m_hooks.showStatus(outcome.messageId);
    if (outcome.frameLost)
        m_hooks.markNotConnected();
    return false;
}

void JobLauncher::switchModeLoggedThen(uint8_t modeCode, const char* failureLog, std::function<void()> then)
{
    inTask(
        [modeCode, failureLog] {
            if (!device::SwitchModeChecked(modeCode).ok)
                shell::LogF(failureLog, device::g_isSwitchMode.load());
        },
        std::move(then));
}

jobs::TaskWorker& JobLauncher::task()
{
    if (!m_task) {
        m_task = new jobs::TaskWorker(m_window);
        m_task->setObjectName(QStringLiteral("windowTask"));
        jobs::TaskWorker* t = m_task;
        addWorker({QStringLiteral("Window task"), [t] { return t->busy(); },
                   [t, window = m_window](std::function<void()> whenEnded) {
                       t->stopThenIdle(window, std::move(whenEnded));
                   }});
    }
    return *m_task;
}

void JobLauncher::inTask(std::function<void()> job, std::function<void()> then)
{
    inTaskReported(std::move(job), [then = std::move(then)](bool superseded) {
        if (!superseded && then)
            then();
    });
}

void JobLauncher::inTaskReported(std::function<void()> job, std::function<void(bool superseded)> then)
{
    if (m_closing)
        return;
    jobs::TaskWorker& t = task();
    if (t.busy()) {
        t.whenIdle(m_window, [this, job = std::move(job), then = std::move(then)]() mutable {
            inTaskReported(std::move(job), std::move(then));
        });
        return;
    }
    t.run(std::move(job), m_window, [this, &t, then = std::move(then)] {
        if (!m_closing && then)
            then(t.stopRequested());
    });
}

void JobLauncher::switchModeThen(uint8_t modeCode, std::function<void(bool ok)> then)
{
    auto outcome = std::make_shared<device::ModeSwitchOutcome>();
    inTask([outcome, modeCode] { *outcome = device::SwitchModeChecked(modeCode); },
           [this, outcome, then = std::move(then)] {
               const bool ok = switchFailureShown(*outcome);
               if (then)
                   then(ok);
           });
}

void JobLauncher::runThen(std::function<bool()> job, std::function<void()> retry, std::function<void(bool ok)> then)
{
    if (!guard(std::move(retry)))
        return;
    struct Ran {
        device::ModeSwitchOutcome enter;
        bool ok = false;
        device::ModeSwitchOutcome back;
    };
    auto ran = std::make_shared<Ran>();
    inTask(
        [ran, job = std::move(job)] {
            // The job talks to the frame from the first switch to the last.
            const device::FrameHold hold;
            ran->enter = device::SwitchModeChecked(device::mode::Calibration);
            if (!ran->enter.ok)
                return;
            ran->ok = job();
            if (ran->ok)
                ran->back = device::SwitchModeChecked(device::mode::Work);
        },
        [this, ran, then = std::move(then)] {
            if (!switchFailureShown(ran->enter))
                return;
            if (ran->ok)
                switchFailureShown(ran->back);
            if (then)
                then(ran->ok);
        });
}

} // namespace tovrin::windows
