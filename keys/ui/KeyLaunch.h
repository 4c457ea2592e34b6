#pragma once
// The engineering window's entries to the shortcut-key windows. Each is
// called after the window's own guard (frame connected, preview and other
// workers stopped). The steps that talk to the frame run in `task` (the
// window's entry worker, which its other jobs stop first); the window goes
// on meanwhile. `done` gets, in parent's thread, the message id the window
// shows in its status line afterwards, or -1 when the key window opened.
// Nothing opens and `done` is not called when the task was asked to stop
// meanwhile (another job took its place) or parent is gone.
//
// The key window is full screen and modal for the application; it deletes
// itself when closed. showData receives its codes (connect it to the main
// window's recvShowData).

#include "jobs/TaskWorker.h"

#include <QWidget>

#include <functional>

namespace tovrin::keys::ui {

// "Shortcuts": calibration mode; the Slave record must hold a touch
// calibration (else message 46, or 18 when it cannot be read, and back to
// work mode); a touch calibration an unfinished write left invalid is
// offered back from the journal first (asked in parent's thread); then
// KeyCalibrationWin.
void runKeyCalibration(QWidget* parent, jobs::TaskWorker& task, std::function<void(int)> showData,
                       std::function<void(int)> done);

// "Key Test": calibration mode (a failure is logged), then, while the frame
// still answers, work mode and KeyTestWin.
void runKeyTest(QWidget* parent, jobs::TaskWorker& task, std::function<void(int)> showData,
                std::function<void(int)> done);

} // namespace tovrin::keys::ui
