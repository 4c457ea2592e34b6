#include "calibration/ui/CalibrationLauncher.h"

#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/RunState.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"

namespace tovrin::calib::ui {

CalibrationWin* prepareCalibration(QWidget* mainWindow, const CalibrationEntryHooks& hooks)
{
    auto status = [&](int id) {
        if (hooks.showStatus)
            hooks.showStatus(id);
    };
    auto lost = [&] {
        if (hooks.deviceLost)
            hooks.deviceLost();
    };
    if (!device::g_isDeviceCommunicate.load()) {
        status(14);
        return nullptr;
    }
    if (!device::g_bDevExist.load()) {
        lost();
        return nullptr;
    }
    if (shell::context().toolFlavour.load() == 2 && hooks.stopOtherJobs)
        hooks.stopOtherJobs();
    status(15);

    const Preparation p = prepareFrameForCalibration();
    if (!p.ok) {
        if (p.deviceAbsent)
            lost();
        else if (p.messageId >= 0)
            status(p.messageId);
        else if (p.frameLost)
            status(14);
        return nullptr;
    }
    FourCalib_en = p.fourCalib;
    auto* win = new CalibrationWin(mainWindow);
    win->setAttribute(Qt::WA_DeleteOnClose);
    return win;
}

} // namespace tovrin::calib::ui
