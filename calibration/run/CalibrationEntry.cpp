#include "calibration/run/CalibrationEntry.h"

#include "device/DeviceStatus.h"
#include "shell/Log.h"
#include "shell/Settings.h"

namespace tovrin::calib {

namespace {

std::uint8_t lowByte(int value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

} // namespace

records::ScreenRecord screenRecordFromSettings(records::UnitId unit)
{
    namespace s = shell::settings;
    const bool slave = unit == records::UnitId::Slave;
    records::ScreenRecord r;
    r.flag = records::kScreenInfoFlag;
    r.Screen_Size = lowByte(s::Screen_Size.read());
    r.smoothness = lowByte(s::Smoothness.read());
    r.ImageMode = lowByte(s::ImageMode.read());
    r.Vertical_Mode = lowByte(s::Vertical_Mode.read());
    r.OperationMode = lowByte(s::OperationMode.read());
    r.FiveCalibration_en = lowByte(s::FiveCalibration_en.read());
    r.FourCalib_en = lowByte(s::FourCalib_en.read());
    r.CalibWay = lowByte(s::CalibWay.read());
    r.calibWayCode = r.CalibWay == 1 ? 8 : 10;
    r.InfraredExpTimeS = lowByte(slave ? s::InfraredExpTimeS.read() : s::InfraredExpTimeM.read());
    r.InfraredExpGainS = lowByte(slave ? s::InfraredExpGainS.read() : s::InfraredExpGainM.read());
    r.zero = 0;
    r.TouchType = lowByte(s::TouchType.read());
    r.XPRightClickMode = lowByte(s::XPRightClickMode.read());
    r.TouchRightClickDistThres = static_cast<std::uint32_t>(s::TouchRightClickDistThres.read());
    r.TouchRightClickTimeThres = static_cast<std::uint32_t>(s::TouchRightClickTimeThres.read());
    return r;
}

Preparation prepareFrameForCalibration()
{
    Preparation p;
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        shell::LogF("Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        p.messageId = mode.messageId;
        p.deviceAbsent = mode.deviceAbsent;
        p.frameLost = mode.frameLost;
        return p;
    }
    const int match = device::FirmwareMatches();
    if (match == 2) {
        p.messageId = 18;
        device::SwitchModeChecked(device::mode::Work);
        return p;
    }
    p.firmwareMismatch = match == 1;

    records::ScreenRecord record;
    if (records::readScreenRecord(record)) {
        if (!p.firmwareMismatch && !record.isValid()) {
            // A frame without a screen record gets the one of the settings.
            record = screenRecordFromSettings(records::UnitId::Slave);
            const records::ScreenRecord master = screenRecordFromSettings(records::UnitId::Master);
            const bool written = records::eraseScreenRecord(records::UnitId::Slave) &&
                                 records::writeScreenRecord(records::UnitId::Slave, record) &&
                                 records::eraseScreenRecord(records::UnitId::Master) &&
                                 records::writeScreenRecord(records::UnitId::Master, master);
            if (!written)
                shell::LogF("Calibration: writing the screen record failed\n");
        }
        p.fourCalib = record.FourCalib_en == 1 ? 1 : 0;
    }
    p.ok = true;
    return p;
}

bool keepCalibrationMode(int fourCalib)
{
    records::ScreenRecord record;
    if (!records::readScreenRecord(record))
        return false;
    if (!record.isValid() || record.FourCalib_en == fourCalib)
        return true;
    record.flag = records::kScreenInfoFlag;
    record.FourCalib_en = static_cast<std::uint8_t>(fourCalib);
    return records::eraseScreenRecord(records::UnitId::Slave) && records::writeScreenRecord(records::UnitId::Slave, record);
}

} // namespace tovrin::calib
