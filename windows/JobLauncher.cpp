#include "JobLauncher.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/FrameHold.h"
#include "shell/Log.h"

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
    if (m_closing && !device::SwitchMode(device::mode::Work))
        shell::LogF(closeLog, device::g_isSwitchMode.load());
    if (--m_pendingStops > 0)
        return;
    if (std::function<void()> then = std::exchange(m_then, nullptr))
        then();
}

bool JobLauncher::switchMode(uint8_t modeCode)
{
    return switchFailureShown(device::SwitchModeChecked(modeCode));
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

bool JobLauncher::switchModeLogged(uint8_t modeCode, const char* failureLog)
{
    if (device::SwitchModeChecked(modeCode).ok)
        return true;
    shell::LogF(failureLog, device::g_isSwitchMode.load());
    return false;
}

bool JobLauncher::calibrationMode() { return switchMode(device::mode::Calibration); }

bool JobLauncher::workMode() { return switchMode(device::mode::Work); }

bool JobLauncher::run(const std::function<bool()>& job, std::function<void()> retry)
{
    // The job talks to the frame from the first switch to the last.
    const device::FrameHold hold;
    if (!guard(std::move(retry)) || !calibrationMode())
        return false;
    if (!job())
        return false;
    workMode();
    return true;
}

} // namespace tovrin::windows
