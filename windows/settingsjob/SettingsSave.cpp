#include "windows/settingsjob/SettingsSave.h"

#include "device/DeviceStatus.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

namespace tovrin::settingsjob {

using records::ScreenRecord;
using records::UnitId;

int saveMessageId(const SaveResult& r)
{
    if (r.complete())
        return -1;
    if (r.frameLost)
        return 14;
    if (r.succeeded())
        return kResetFailedMessage;
    switch (r.outcome) {
    case SaveOutcome::CalibrationModeFailed: return r.modeMessageId >= 0 ? r.modeMessageId : 142;
    case SaveOutcome::ReadFailed: return 18;
    default: return 118;
    }
}

bool writeScreenRecordChecked(UnitId unit, const ScreenRecord& record)
{
    return records::eraseScreenRecord(unit) && records::writeScreenRecord(unit, record);
}

bool readScreenRecordOf(UnitId unit, ScreenRecord& out)
{
    if (unit == UnitId::Slave)
        return records::readScreenRecord(out);
    ScreenRecord::Bytes bytes{};
    const uint32_t address = device::flashAddress(device::Unit::Master, device::flash::kScreenRecord);
    if (!device::ReadToBuffer(address, static_cast<int>(records::kScreenRecordSize), bytes))
        return false;
    out = ScreenRecord::decode(bytes);
    return true;
}

namespace {

bool lost() { return !device::g_bDevExist.load(); }

// Back to work, then the reset that makes the firmware read its settings.
void backToWork(SaveResult& r)
{
    r.workModeOk = device::SwitchModeChecked(device::mode::Work).ok;
    // The reset only makes sense in work mode: without it the frame is left
    // where it is for the user to reconnect.
    r.resetOk = r.workModeOk && device::SwitchModeChecked(device::mode::Reset).ok;
    r.frameLost = lost();
    if (!r.workModeOk || !r.resetOk)
        shell::WriteLog("SetWin: settings stored, but the frame did not take work mode or the reset\n");
}

} // namespace

SaveResult saveScreenRecords(const ScreenRecord& slave, const ScreenRecord& master)
{
    SaveResult r;
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        r.outcome = SaveOutcome::CalibrationModeFailed;
        r.modeMessageId = mode.messageId;
        r.frameLost = mode.deviceAbsent || mode.frameLost || lost();
        return r;
    }
    auto fail = [&](SaveOutcome outcome) {
        r.outcome = outcome;
        r.frameLost = lost();
        shell::LogF("SetWin: saving the screen records failed (%d)\n", static_cast<int>(outcome));
        return r;
    };

    ScreenRecord stored;
    if (!records::readScreenRecord(stored))
        return fail(SaveOutcome::ReadFailed);
    const bool slaveHolds = stored.encode() == slave.encode();
    if (slaveHolds) {
        // Nothing is written when the frame already holds the settings; the
        // Master copy (which only its own firmware reads) is checked too, so
        // that a stale Master copy is not taken as holding them.
        ScreenRecord masterStored;
        if (!readScreenRecordOf(UnitId::Master, masterStored))
            return fail(SaveOutcome::ReadFailed);
        if (masterStored.encode() == master.encode()) {
            r.outcome = SaveOutcome::Unchanged;
            backToWork(r);
            return r;
        }
    } else {
        if (!writeScreenRecordChecked(UnitId::Slave, slave))
            return fail(SaveOutcome::SlaveWriteFailed);
        ScreenRecord back;
        if (!records::readScreenRecord(back) || back.encode() != slave.encode())
            return fail(SaveOutcome::SlaveMismatch);
    }

    if (!writeScreenRecordChecked(UnitId::Master, master))
        return fail(SaveOutcome::MasterWriteFailed);
    ScreenRecord back;
    if (!readScreenRecordOf(UnitId::Master, back) || back.encode() != master.encode())
        return fail(SaveOutcome::MasterMismatch);

    r.outcome = SaveOutcome::Saved;
    backToWork(r);
    return r;
}

SettingsSaveThread::SettingsSaveThread(QObject* parent)
    : Worker(parent)
{
}

SettingsSaveThread::~SettingsSaveThread() { stopAndWait(); }

void SettingsSaveThread::prepare(const ScreenRecord& slave, const ScreenRecord& master)
{
    m_slave = slave;
    m_master = master;
}

SaveResult SettingsSaveThread::result() const { return hasEnded() ? m_result : SaveResult{}; }

void SettingsSaveThread::work()
{
    m_result = saveScreenRecords(m_slave, m_master);
    Q_EMIT sendData(static_cast<int>(m_result.outcome));
}

} // namespace tovrin::settingsjob
