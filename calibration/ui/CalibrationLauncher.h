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
// The engineering window calls it as
//
//   void Tovrin::AlignmentButSlot()
//   {
//       calib::ui::CalibrationEntryHooks hooks;
//       hooks.showStatus = [this](int id) { showStatus(id); };
//       hooks.deviceLost = [this] { recvShowData(device::detection::kNoFrame); };
//       hooks.stopOtherJobs = [this] { /* stop Preview, FPGA and script threads */ };
//       calib::ui::openCalibration(this, &Tovrin::recvShowData, hooks);
//   }

#include "calibration/ui/CalibrationWin.h"
#include "widgets/FullScreen.h"

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

template <class Window>
CalibrationWin* openCalibration(Window* mainWindow, void (Window::*recvShowData)(int), const CalibrationEntryHooks& hooks)
{
    CalibrationWin* win = prepareCalibration(mainWindow, hooks);
    if (!win)
        return nullptr;
    QObject::connect(win, &CalibrationWin::sendShowData, mainWindow, recvShowData, Qt::QueuedConnection);
    widgets::showFullScreenOn(win);
    win->start();
    return win;
}

} // namespace tovrin::calib::ui
