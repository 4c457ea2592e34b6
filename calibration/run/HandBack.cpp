#include "calibration/run/HandBack.h"

#include "calibration/run/CalibrationEntry.h"
#include "device/UnitOps.h"

namespace tovrin::calib {

HandBackResult keepModeAndSwitchBack(int fourCalib, WorkModeAfter workMode)
{
    // Runs to its end: the record is written whole or not at all.
    HandBackResult result;
    result.kept = keepCalibrationMode(fourCalib);
    const bool switchBack = workMode == WorkModeAfter::UnlessGone ? result.kept || device::g_bDevExist.load() != 0
                                                                  : workMode == WorkModeAfter::WhenKept && result.kept;
    if (switchBack) {
        result.switched = true;
        result.work = device::SwitchModeChecked(device::mode::Work);
    }
    return result;
}

} // namespace tovrin::calib
