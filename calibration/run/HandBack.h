#pragma once
// The frame handed back when a calibration window is left, run in a worker
// so that the window goes on while the frame answers: the chosen 16/4-point
// mode kept in the Slave's screen record (keepCalibrationMode), then, as the
// window asks, work mode. The window starts it once its runs have ended.

#include "device/DeviceStatus.h"

namespace tovrin::calib {

// When the hand-back switches the frame to work mode.
enum class WorkModeAfter {
    Never,       // the opener does it
    WhenKept,    // only once the screen record holds the mode
    UnlessGone,  // whatever the record, unless the frame is gone
};

struct HandBackResult {
    bool kept = false;             // the screen record holds the mode
    bool switched = false;         // work mode was asked for
    device::ModeSwitchOutcome work;  // and its outcome
};

// Keeps the mode, then switches as workMode says; in a worker's thread
// (a window runs it in a jobs::TaskWorker).
HandBackResult keepModeAndSwitchBack(int fourCalib, WorkModeAfter workMode);

} // namespace tovrin::calib
