#include "DeviceTest.h"

#include "Versions.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"

namespace tovrin::update {

using device::Unit;

namespace {

constexpr uint32_t kSensorIdRegister = 0x0A;
constexpr uint32_t kSensorTestRegister = 0x19;
constexpr uint32_t kFpgaTestRegister = 53;

bool sensorGroup(Unit unit)
{
    // The sensor requests take their unit from the page's Slave choice.
    const int previous = device::SelectedUnitIsSlave.exchange(unit == Unit::Slave ? 1 : 0);
    uint8_t value = 0;
    bool ok = device::I2cRead(kSensorIdRegister, 1, value);
    ok = device::I2cWrite(kSensorTestRegister, 1, 0x3A) && ok;
    ok = device::I2cRead(kSensorTestRegister, 1, value) && ok;
    device::SelectedUnitIsSlave = previous;
    return ok;
}

bool fpgaGroup(Unit unit)
{
    const uint32_t reg = device::unitBits(unit) | kFpgaTestRegister;
    uint8_t value = 0;
    bool ok = device::RegisterRead(reg, true, value);
    ok = device::PortWrite(reg, 0x1F, 1, true) && ok;
    ok = device::RegisterRead(reg, true, value) && ok;
    ok = device::PortWrite(reg, 0x0F, 1, true) && ok;
    return ok;
}

} // namespace

QList<int> runCheckGroups()
{
    QList<int> failed;
    if (!sensorGroup(Unit::Master))
        failed << 26;
    if (!fpgaGroup(Unit::Master))
        failed << 27;
    if (!sensorGroup(Unit::Slave))
        failed << 29;
    if (!fpgaGroup(Unit::Slave))
        failed << 30;
    return failed;
}

DeviceTestReport runDeviceTest(const std::function<void(int)>& showTesting)
{
    DeviceTestReport r;
    r.enter = device::SwitchModeChecked(device::mode::Calibration);
    if (!r.enter.ok) {
        // A refused switch has bit 31 set in both words already; a frame
        // that is not there has nothing to show but its absence.
        r.frameLost = r.enter.deviceAbsent || r.enter.frameLost;
        if (!r.enter.deviceAbsent)
            r.messages << 142;
        return r;
    }
    r.versionLogError = logVersions();
    if (showTesting)
        showTesting(24);
    r.failedGroups = runCheckGroups();
    if (!r.failedGroups.isEmpty()) {
        r.messages = r.failedGroups;
        return r;
    }
    r.messages << 31;
    const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
    if (!back.ok) {
        r.messages = {19};
        r.frameLost = true;
    }
    return r;
}

} // namespace tovrin::update
