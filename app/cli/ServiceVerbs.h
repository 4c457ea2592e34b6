#pragma once
// What the service verbs (flash, reg, script, fpga) share: the frame opened
// and switched to calibration mode around the job, exactly as the debug
// page does, and a worker run to its end in an event loop.

#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "device/UnitAddress.h"
#include "jobs/Worker.h"
#include "shell/Log.h"

#include <QEventLoop>

#include <optional>

namespace tovrin::cli {

// The frame stopped answering during a job (g_bDevExist dropped).
inline bool frameGone() { return device::g_bDevExist.load() == 0; }

// A frame lost in the middle of a job: message 61 and exit 3, whatever the
// job had said before.
inline int frameLost(Session& session)
{
    session.sayMessage(61);
    return kExitNoFrame;
}

// Opens the frame (a frame not yet leveled and calibrated is fine for
// service work) and switches it to calibration mode. kExitDone or the exit
// code to return.
inline int enterServiceMode(Session& session)
{
    if (const int opened = session.requireWorkingFrame(true); opened != kExitDone)
        return opened;
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Calibration);
    if (outcome.ok)
        return kExitDone;
    shell::LogF("tovrin-cli :Switch to calibration mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    if (outcome.frameLost || outcome.deviceAbsent || frameGone())
        return frameLost(session);
    session.sayMessage(outcome.messageId >= 0 ? outcome.messageId : 14);
    return kExitFailed;
}

// Back to work mode after the job: kExitDone; kExitFailed with the message
// said when the frame refused; kExitNoFrame with message 61 when it went.
inline int leaveServiceModeExit(Session& session)
{
    if (frameGone())
        return frameLost(session);
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Work);
    if (outcome.ok)
        return kExitDone;
    shell::LogF("tovrin-cli :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    if (outcome.frameLost || outcome.deviceAbsent || frameGone())
        return frameLost(session);
    session.sayMessage(outcome.messageId >= 0 ? outcome.messageId : 19);
    return kExitFailed;
}

inline bool leaveServiceMode(Session& session) { return leaveServiceModeExit(session) == kExitDone; }

// Starts the worker and runs the event loop until it has finished and every
// report it sent before has been delivered.
inline void runWorker(jobs::Worker& worker)
{
    QEventLoop loop;
    QObject::connect(&worker, &jobs::Worker::ended, &loop, &QEventLoop::quit);
    if (worker.startWork())
        loop.exec();
}

// "master" or "slave".
inline std::optional<device::Unit> parseUnit(const QString& text)
{
    if (text == QLatin1String("master"))
        return device::Unit::Master;
    if (text == QLatin1String("slave"))
        return device::Unit::Slave;
    return std::nullopt;
}

} // namespace tovrin::cli
