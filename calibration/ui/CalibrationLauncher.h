#pragma once
// The Calibrate entry of the engineering window (its AlignmentButSlot):
//
//   1. no communication: status message 14; frame gone: the window's
//      device-lost handling (its detection code 15);
//   2. in the debug flavour the window's other jobs are stopped; status 15;
//   3. calibration mode, the firmware match, the screen record (built from
//      Tovrin.ini in both units when the frame has none), the 16/4-point
//      mode from it (CalibrationEntry.h);
//   4. the calibration window, connected to the opener's recvShowData(int),
//      shown and started.
//
// The engineering window runs step 3 in a task worker it stops like its other
// workers (prepareCalibrationThen) and shows the window it gets; tests and
// other callers may take the window at once (prepareCalibration).

#include "calibration/ui/CalibrationWin.h"
#include "jobs/TaskWorker.h"

#include <functional>

namespace tovrin::calib::ui {

struct CalibrationEntryHooks {
    std::function<void(int messageId)> showStatus;  // the window's status line
    std::function<void()> deviceLost;               // its handling of a frame that is gone
    std::function<void()> stopOtherJobs;            // debug flavour: Preview page, FPGA and script threads
};

// Steps 1-3 and the window of step 4, not yet shown; nullptr when the frame
// cannot be calibrated now (the status line says why).
CalibrationWin* prepareCalibration(QWidget* mainWindow, const CalibrationEntryHooks& hooks);

// The same for a window that must not wait for the frame: step 3 runs in
// `task`, and `opened` gets the window (not yet shown) in the main window's
// thread. Nothing opens when the frame cannot be calibrated now (the status
// line says why) or when the task was asked to stop meanwhile (another job,
// or the main window closing, took its place).
void prepareCalibrationThen(QWidget* mainWindow, const CalibrationEntryHooks& hooks, jobs::TaskWorker& task,
                            std::function<void(CalibrationWin*)> opened);

} // namespace tovrin::calib::ui
