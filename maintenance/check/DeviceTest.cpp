#include "DeviceTest.h"

#include "maintenance/update/Versions.h"
#include "device/FrameHold.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"

namespace tovrin::check {

using update::logVersions;

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

QList<int> runCheckGroups(const std::atomic<bool>* stop)
{
    struct Group {
        bool (*run)(Unit);
        Unit unit;
        int message;
    };
    static constexpr Group kGroups[] = {
        {sensorGroup, Unit::Master, 26}, {fpgaGroup, Unit::Master, 27},
        {sensorGroup, Unit::Slave, 29},  {fpgaGroup, Unit::Slave, 30},
    };
    QList<int> failed;
    for (const Group& g : kGroups) {
        if (stop && stop->load())
            break;
        if (!g.run(g.unit))
            failed << g.message;
    }
    return failed;
}

DeviceTestReport runDeviceTest(const std::function<void(int)>& showTesting, const std::atomic<bool>* stop)
{
    const device::FrameHold hold;
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
    r.failedGroups = runCheckGroups(stop);
    if (stop && stop->load()) {
        r.stopped = true;
        return r;
    }
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

DeviceTestThread::DeviceTestThread(QObject* parent)
    : Worker(parent)
{
}

DeviceTestThread::~DeviceTestThread() { stopAndWait(); }

DeviceTestReport DeviceTestThread::report() const
{
    std::lock_guard lock(m_mutex);
    return m_report;
}

void DeviceTestThread::work()
{
    const DeviceTestReport r = runDeviceTest([this](int id) { Q_EMIT showTesting(id); }, stopFlag());
    {
        std::lock_guard lock(m_mutex);
        m_report = r;
    }
    Q_EMIT testDone();
}

} // namespace tovrin::check
