#pragma once
// What the end-user window's two files share: the ids of the messages it
// shows (the language file's texts; those of both calibration windows come
// from CalibrationMessages.h) and its version line.

#include "calibration/ui/CalibrationMessages.h"
#include "maintenance/update/Versions.h"

#include <QString>

namespace tovrin::windows::usermsg {
using namespace calib::ui::msg;
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int CalibrationInvalid = 19;
constexpr int FirmwareMismatch = 137;
} // namespace tovrin::windows::usermsg

namespace tovrin::windows {

// "Tovrin <tool version>": the version line before the frame's firmware is known.
inline QString userVersionPrefix() { return QStringLiteral("Tovrin ") + update::kToolVersion; }

} // namespace tovrin::windows
