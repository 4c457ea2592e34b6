#include "JobLauncher.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/FrameHold.h"
#include "shell/Log.h"

namespace tovrin::windows {

bool JobLauncher::guardOnly()
{
    if (m_hooks.connected())
        return true;
    m_hooks.showStatus(14);
    return false;
}

bool JobLauncher::guard()
{
    stopWorkers();
    return guardOnly();
}

bool JobLauncher::anyWorkerRunning() const
{
    for (const Worker& w : m_workers)
        if (w.running && w.running())
            return true;
    return false;
}

void JobLauncher::stopWorkers(bool closing)
{
    for (const Worker& w : m_workers) {
        if (!w.running || !w.running())
            continue;
        w.stop();
        if (closing && !device::SwitchMode(device::mode::Work))
            shell::LogF(w.closeLog, device::g_isSwitchMode.load());
    }
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

bool JobLauncher::run(const std::function<bool()>& job)
{
    // The job talks to the frame from the first switch to the last.
    const device::FrameHold hold;
    if (!guard() || !calibrationMode())
        return false;
    if (!job())
        return false;
    workMode();
    return true;
}

} // namespace tovrin::windows
