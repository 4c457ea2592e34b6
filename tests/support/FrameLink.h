#pragma once
// Opens the device link over the installed transport and marks the frame
// present and talking, as detection leaves it; the second also switches it
// into calibration mode, as the calibration and key entries do.

#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"

namespace tovrin::test {

[[nodiscard]] inline bool openFrameLink()
{
    uint16_t pid = 0;
    if (!device::OpenHidDevice(pid))
        return false;
    device::g_bDevExist = 1;
    device::g_isDeviceCommunicate = 1;
    return true;
}

[[nodiscard]] inline bool openInCalibrationMode()
{
    return openFrameLink() && device::SwitchModeChecked(device::mode::Calibration).ok;
}

} // namespace tovrin::test
