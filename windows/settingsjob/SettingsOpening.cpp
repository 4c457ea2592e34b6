#include "windows/settingsjob/SettingsOpening.h"

#include "device/UnitOps.h"
#include "shell/Log.h"

namespace tovrin::settingsjob {

std::optional<records::ScreenRecord> readForSettingsWindow(const QString& file)
{
    // The frame's own record decides what the INI (and so the dialog) shows.
    std::optional<records::ScreenRecord> record = syncIniFromDevice(file);
    if (device::g_bDevExist.load() && !device::SwitchModeChecked(device::mode::Work).ok)
        shell::WriteLog("SetWin: the frame did not take work mode after reading its settings\n");
    return record;
}

SettingsOpening openSettings(const QString& file)
{
    SettingsOpening o;
    o.calibrationMode = device::SwitchModeChecked(device::mode::Calibration);
    if (!o.calibrationMode.ok)
        return o;
    o.firmwareMatch = device::FirmwareMatches();
    if (o.firmwareMatch != 0) {
        o.workMode = device::SwitchModeChecked(device::mode::Work);
        return o;
    }
    o.record = readForSettingsWindow(file);
    return o;
}

} // namespace tovrin::settingsjob
