#include "calibration/ui/CalibrationLauncher.h"

#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/RunState.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"

#include <memory>
#include <utility>

namespace tovrin::calib::ui {

namespace {

void status(const CalibrationEntryHooks& hooks, int id)
{
    if (hooks.showStatus)
        hooks.showStatus(id);
}

void lost(const CalibrationEntryHooks& hooks)
{
    if (hooks.deviceLost)
        hooks.deviceLost();
}

// Steps 1 and 2; false when the frame cannot be calibrated now.
bool entryAllowed(const CalibrationEntryHooks& hooks)
{
    if (!device::g_isDeviceCommunicate.load()) {
        status(hooks, 14);
        return false;
    }
    if (!device::g_bDevExist.load()) {
        lost(hooks);
        return false;
    }
    if (shell::context().toolFlavour.load() == 2 && hooks.stopOtherJobs)
        hooks.stopOtherJobs();
    status(hooks, 15);
    return true;
}

// After step 3: the window, or nullptr with the reason shown.
CalibrationWin* windowFor(QWidget* mainWindow, const CalibrationEntryHooks& hooks, const Preparation& p)
{
    if (!p.ok) {
        if (p.deviceAbsent)
            lost(hooks);
        else if (p.messageId >= 0)
            status(hooks, p.messageId);
        else if (p.frameLost)
            status(hooks, 14);
        return nullptr;
    }
    FourCalib_en = p.fourCalib;
    auto* win = new CalibrationWin(mainWindow);
    win->setAttribute(Qt::WA_DeleteOnClose);
    return win;
}

} // namespace

CalibrationWin* prepareCalibration(QWidget* mainWindow, const CalibrationEntryHooks& hooks)
{
    if (!entryAllowed(hooks))
        return nullptr;
    return windowFor(mainWindow, hooks, prepareFrameForCalibration());
}

void prepareCalibrationThen(QWidget* mainWindow, const CalibrationEntryHooks& hooks, jobs::TaskWorker& task,
                            std::function<void(CalibrationWin*)> opened)
{
    if (!entryAllowed(hooks))
        return;
    auto prepared = std::make_shared<Preparation>();
    task.run([prepared] { *prepared = prepareFrameForCalibration(); }, mainWindow,
             [mainWindow, hooks, &task, prepared, opened = std::move(opened)] {
                 if (task.stopRequested())
                     return;
                 if (CalibrationWin* win = windowFor(mainWindow, hooks, *prepared))
                     opened(win);
             });
}

} // namespace tovrin::calib::ui
