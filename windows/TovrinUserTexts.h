#pragma once
// What the end-user window's two files share: the ids of the messages it
// shows (the language file's texts) and its version line.

#include "maintenance/update/Versions.h"

#include <QString>

namespace tovrin::windows::usermsg {
constexpr int Exit = 11;
constexpr int CommunicateFailed = 14;
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int CalibrationInvalid = 19;
constexpr int PulledOut = 61;
constexpr int Initializing = 65;
constexpr int ResetBefore = 66;
constexpr int TouchTheCross = 69;
constexpr int InitFailed = 70;
constexpr int ProcessFailed = 71;
constexpr int Saving = 72;
constexpr int Calibrate = 4;
constexpr int Test = 8;
constexpr int Completed = 107;
constexpr int SixteenPoint = 114;
constexpr int FourPoint = 115;
constexpr int FirmwareMismatch = 137;
constexpr int EquipmentAnomalies = 142;
} // namespace tovrin::windows::usermsg

namespace tovrin::windows {

// "Tovrin <tool version>": the version line before the frame's firmware is known.
inline QString userVersionPrefix() { return QStringLiteral("Tovrin ") + update::kToolVersion; }

} // namespace tovrin::windows
