#pragma once
// Opening the settings window, in a worker (the frame is never talked to on
// a window's thread). The engineering window's Set entry, once its guard has
// found the frame connected:
//   1. calibration mode;
//   2. the firmware match: a firmware without settings or a version that
//      cannot be read sends the frame back to work mode, and no window opens;
//   3. the Slave's screen record, mirrored into Tovrin.ini;
//   4. work mode, in which the window is used (its OK and Reconnect switch
//      for themselves).
// When the window closes, the entry switches the frame back to work mode
// once more: a failed save leaves it in calibration mode.

#include "windows/settingsjob/ScreenSettings.h"

#include "device/DeviceStatus.h"

#include <optional>

namespace tovrin::settingsjob {

struct SettingsOpening {
    device::ModeSwitchOutcome calibrationMode;    // step 1; not ok: nothing else was done
    int firmwareMatch = 0;                         // step 2: FirmwareMatches() (0 match, 1 no settings, 2 unreadable)
    device::ModeSwitchOutcome workMode;            // the switch back after a refusal in step 2
    std::optional<records::ScreenRecord> record;   // step 3 (nothing when the read failed)
    bool windowOpens() const { return calibrationMode.ok && firmwareMatch == 0; }
};

// Steps 3 and 4: the record the settings window shows (nothing when the
// read failed: Tovrin.ini is left alone). A refused work mode is logged.
std::optional<records::ScreenRecord> readForSettingsWindow(const QString& file = QStringLiteral("Tovrin.ini"));

// Steps 1 to 4.
SettingsOpening openSettings(const QString& file = QStringLiteral("Tovrin.ini"));

} // namespace tovrin::settingsjob
