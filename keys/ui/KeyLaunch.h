#pragma once
// The engineering window's entries to the shortcut-key windows. Each is
// called after the window's own guard (frame connected, preview and other
// workers stopped) and returns the message id the window shows in its status
// line afterwards, or -1 for none. showData receives the key window's codes
// (connect it to the main window's recvShowData).

#include <QWidget>

#include <functional>

namespace tovrin::keys::ui {

// "Shortcuts": calibration mode; the Slave record must hold a touch
// calibration (else message 46, or 18 when it cannot be read, and back to
// work mode); then KeyCalibrationWin full screen and modal.
int runKeyCalibration(QWidget* parent, const std::function<void(int)>& showData);

// "Key Test": calibration mode (a failure is logged), then, while the frame
// still answers, work mode and KeyTestWin full screen and modal.
int runKeyTest(QWidget* parent, const std::function<void(int)>& showData);

} // namespace tovrin::keys::ui
