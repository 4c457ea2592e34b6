#include "OpeningSteps.h"

#include "LevelingState.h"
#include "LevelingSteps.h"

#include "records/CalibrationRecord.h"
#include "shell/Log.h"

namespace tovrin::leveling {

namespace {
constexpr uint8_t kSensorSearchRegister = 0x12;
constexpr uint8_t kLowWindowBit = 0x40;
} // namespace

void chooseSearchWindow()
{
    uint8_t value = 0;
    const bool low = sensorRead(kMaster, kSensorSearchRegister, value) && (value & kLowWindowBit);
    g_SearchLower = low ? 50 : 200;
    g_SearchUpper = low ? 200 : 300;
}

OpeningOutcome openLeveling()
{
    OpeningOutcome o;
    o.statusMessageId = 15;
    o.modeSwitch = device::SwitchModeChecked(device::mode::Calibration);
    if (!o.modeSwitch.ok) {
        shell::LogF("Leveling :Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
        return o;
    }
    const int match = device::FirmwareMatches();
    if (match == 2) {
        o.statusMessageId = 18;
        device::SwitchModeChecked(device::mode::Work);
        return o;
    }
    o.firmwareMismatch = match == 1;
    chooseSearchWindow();
    o.searchLower = static_cast<uint16_t>(g_SearchLower.load());
    o.searchUpper = static_cast<uint16_t>(g_SearchUpper.load());
    o.ok = true;
    return o;
}

bool storedLevelingUsable()
{
    records::CalInfo master, slave;
    if (!records::readCalibrationRecord(records::UnitId::Master, master) ||
        !records::readCalibrationRecord(records::UnitId::Slave, slave))
        return true;  // unread: left as it is
    return master.isValid() && slave.isValid();
}

void applyStoredLeveling(bool usable)
{
    if (!usable) {
        g_PreviewOnly = 0;
        g_StartLineKnown = 0;
    }
}

void checkStoredLeveling()
{
    applyStoredLeveling(storedLevelingUsable());
}

} // namespace tovrin::leveling
