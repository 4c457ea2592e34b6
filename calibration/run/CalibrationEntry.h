#pragma once
// Preparing the frame for a calibration and handing it back: the steps the
// engineering window's Calibrate entry and tovrin-cli share (the end-user
// window prepares the frame its own way), and the screen record the
// calibration windows keep the chosen mode in.

#include "records/CalibrationRecord.h"

namespace tovrin::calib {

// The screen record of one unit built from Tovrin.ini with the keys and
// defaults of the settings window; the Slave copy takes the Slave's
// infrared exposure time and gain, the Master copy the Master's. Byte 12 is
// 8 for calibration way 1 and 10 for any other way; values above 255 keep
// their low byte.
records::ScreenRecord screenRecordFromSettings(records::UnitId unit);

struct Preparation {
    bool ok = false;
    int messageId = -1;          // status text when not ok: 142 (mode switch) or 18 (versions unreadable)
    bool deviceAbsent = false;   // g_bDevExist was clear: nothing was sent
    bool frameLost = false;      // the frame stopped answering
    bool firmwareMismatch = false;
    int fourCalib = 0;           // byte 10 of the screen record (0 when unreadable)
};

// Calibration mode (with the refusal checks), the firmware match (an
// unreadable version switches back to work mode), the Slave screen record
// (rebuilt from Tovrin.ini in both units when the firmware matched and the
// record is not valid) and the 16/4-point choice kept in it. Logs
// "Calibration :Switch to calibration mode failed! g_isSwitchMode=%d".
Preparation prepareFrameForCalibration();

// At the end of a calibration window: the Slave screen record keeps the
// chosen 16/4-point mode. Only a record read valid is rewritten, and only
// when its mode differs (an erased record is not turned into a valid one
// of 0xFF settings). False when a transaction failed.
bool keepCalibrationMode(int fourCalib);

} // namespace tovrin::calib
