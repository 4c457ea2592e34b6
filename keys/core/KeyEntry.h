#pragma once
// Checks the engineering window makes before it opens a shortcut-key window.

namespace tovrin::keys {

constexpr int kCalibrateFirstMessage = 46;  // "Please first for calibration, again carries on ..."
constexpr int kReadFlashFailedMessage = 18;

// The key layout is stored in the touch calibration's coordinates, so a key
// calibration needs a stored touch calibration: 0 when the Slave record's
// validity word says so, 46 when it does not, 18 when it cannot be read.
int keyCalibrationEntryCheck();

} // namespace tovrin::keys
