#include "sim/FrameCore.h"


#include <algorithm>
#include <vector>

namespace tovrin::sim {

namespace {
constexpr uint8_t kSensorModeRegister = 0x12;
constexpr uint32_t kRecordHead = 66;         // start line .. column pieces, what leveling keeps
constexpr uint32_t kUnitSettingsSize = 15;
} // namespace

FrameCore::FrameCore()
    : fingers(std::make_unique<Fingers>())
    , keys(std::make_unique<KeyPanel>(*fingers))
{
}

FrameCore::~FrameCore() = default;

// ---- Flash ---------------------------------------------------------------------

void FrameCore::program(Unit unit, uint32_t offset, const uint8_t* data, uint32_t count)
{
    bank(unit).program(offset, data, count);
    if (firmware.bootLoader && count > 0 && offset / kFlashSectorSize == kImageInfoOffset / kFlashSectorSize)
        loader.noteImageInfoWritten(unit);
    recordWritten(unit, offset, count);
    flashChanged();
}

void FrameCore::erase(Unit unit, uint32_t offset)
{
    if (offset >= kFlashSize)
        return;
    bank(unit).eraseSector(offset);
    if (firmware.bootLoader && offset / kFlashSectorSize * kFlashSectorSize == kImageInfoOffset)
        loader.noteImageInfoWritten(unit);
    flashChanged();
}

void FrameCore::recordWritten(Unit unit, uint32_t offset, uint32_t count)
{
    // The application takes a record it lives by as soon as the host has
    // written it: a calibration record once its validity word is in place,
    // the settings record of an extended-frame unit at once.
    if (firmware.bootLoader || count == 0)
        return;
    const auto touches = [&](uint32_t at, uint32_t size) { return offset < at + size && at < offset + count; };
    const int u = static_cast<int>(unitIndex(unit));
    if (touches(kCalibrationRecordOffset, kRecordHead) && recordValid(unit))
        leveling.applyRecord(u, bank(unit).record(kCalibrationRecordOffset, kCalibrationRecordSize));
    if (firmware.extended && touches(kUnitSettingsOffset, kUnitSettingsSize))
        leveling.applySettings(u, bank(unit).record(kUnitSettingsOffset, kUnitSettingsSize));
}

void FrameCore::flashChanged()
{
    file.changed(memory, loader);
}

bool FrameCore::recordValid(Unit unit) const
{
    const auto r = bank(unit).record(kCalibrationRecordOffset, 4);
    return (r[0] | (r[1] << 8) | (r[2] << 16) | (static_cast<uint32_t>(r[3]) << 24)) == kCalibrationValidWord;
}

bool FrameCore::bothCalibrated() const
{
    return recordValid(Unit::Master) && recordValid(Unit::Slave);
}

bool FrameCore::applicationBootable() const
{
    auto magic = [&](Unit u) {
        const auto r = bank(u).record(kImageInfoOffset, 4);
        return r[0] | (r[1] << 8) | (r[2] << 16) | (static_cast<uint32_t>(r[3]) << 24);
    };
    return loader.applicationBootable({magic(Unit::Master), magic(Unit::Slave)});
}

// ---- Life ----------------------------------------------------------------------

void FrameCore::startFirmware(bool bootLoader, std::chrono::steady_clock::time_point visibleFrom)
{
    // The application starts in work mode only with both units calibrated;
    // the boot loader has no working mode. Neither keeps touch data armed.
    // The boot loader keeps the frame when the application cannot start.
    firmware.bootLoader = bootLoader || !applicationBootable()
                          || (faults.bootLoader.newApplicationDead && loader.receivedAny());
    usb.visibleFrom = visibleFrom;
    firmware.mode = firmware.bootLoader ? 0 : bothCalibrated() ? kModeWork : kModeCalibration;
    firmware.touchArmed = false;
    powerUpUnits();
}

void FrameCore::reenumerate(bool bootLoader)
{
    usb.killHandles();
    inputArrived.notify_all();
    startFirmware(bootLoader, std::chrono::steady_clock::now() + usb.reenumerationDelay);
    if (firmware.bootLoader && faults.bootLoader.neverReturns)
        usb.visibleFrom = std::chrono::steady_clock::time_point::max();
}

void FrameCore::powerUpUnits()
{
    for (Unit u : {Unit::Master, Unit::Slave}) {
        const int n = static_cast<int>(unitIndex(u));
        leveling.powerUp(n, bank(u).record(kCalibrationRecordOffset, kCalibrationRecordSize),
                         bank(u).record(kUnitSettingsOffset, kUnitSettingsSize), firmware.extended);
        bank(u).sensor[kSensorModeRegister] = leveling.sensorModeRegister(n);
    }
}

void FrameCore::fitSensors()
{
    constexpr uint8_t kUpperSearchBit = 0x40;
    for (Unit u : {Unit::Master, Unit::Slave}) {
        uint8_t& r = bank(u).sensor[kSensorModeRegister];
        const uint8_t fitted = leveling.sensorModeRegister(static_cast<int>(unitIndex(u)));
        r = static_cast<uint8_t>((r & ~kUpperSearchBit) | (fitted & kUpperSearchBit));
    }
}

void FrameCore::storeLeveling()
{
    if (firmware.bootLoader)
        return;
    for (Unit u : {Unit::Master, Unit::Slave}) {
        const auto sector = bank(u).record(kCalibrationRecordOffset, kFlashSectorSize);
        std::vector<uint8_t> copy(sector.begin(), sector.end());
        if (!leveling.storeLeveling(static_cast<int>(unitIndex(u)), std::span<uint8_t>(copy).first(kCalibrationRecordSize)))
            continue;
        bank(u).rewriteSector(kCalibrationRecordOffset, copy);
        flashChanged();
    }
}

void FrameCore::faultsChanged()
{
    leveling.setFaults(faults.leveling);
    fingers->setFaults(faults.fingers);
}

void FrameCore::unitKindChanged()
{
    fingers->setLensFamily(lensFamily());
    powerUpUnits();
}

} // namespace tovrin::sim
