#pragma once
// Opening the leveling job from the engineering window, after its guard has
// found the frame connected and it has stopped its preview and workers:
// calibration mode, the firmware match, and the start-line search window
// from the Master sensor's register 0x12. Then the stored leveling is
// checked before the leveling window starts its worker.

#include "device/DeviceStatus.h"

#include <cstdint>

namespace tovrin::leveling {

struct OpeningOutcome {
    bool ok = false;                 // the leveling window may open
    int statusMessageId = 15;        // status line of the main window: 15 "Devices check completed.",
                                     // 18 when a version could not be read
    device::ModeSwitchOutcome modeSwitch;  // a failed switch to calibration mode (ok false)
    bool firmwareMismatch = false;   // versions do not match (leveling goes on)
    uint16_t searchLower = 200;
    uint16_t searchUpper = 300;
};

// The start-line search window for the Master sensor fitted: 50..200 when
// bit 6 (0x40) of its register 0x12 reads set, else 200..300 (also when the
// register cannot be read). Kept in g_SearchLower / g_SearchUpper, which
// every start-line search of the process uses; the frame must be in
// calibration mode.
void chooseSearchWindow();

// Switches to calibration mode, checks the firmware, sets the search window
// (g_SearchLower / g_SearchUpper: 50..200 when bit 6 of the Master sensor's
// register 0x12 reads set, else 200..300). When a version cannot be read it
// switches back to work mode and refuses.
OpeningOutcome openLeveling();

// The stored leveling must be usable for preview only: both calibration
// records are read; if both reads succeed and either record is not valid,
// preview only and start line known are cleared.
void checkStoredLeveling();
// The reading of that check alone (false: clear them), for a window that
// reads the frame in a worker and applies it with applyStoredLeveling().
bool storedLevelingUsable();
void applyStoredLeveling(bool usable);

} // namespace tovrin::leveling
