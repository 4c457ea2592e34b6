#include "LevelingSave.h"

#include "LevelingSettingsRecord.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/RecordJournal.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace tovrin::leveling {

namespace {

using records::ScreenRecord;
using records::UnitId;
using Step = SaveResult::Step;

uint32_t settingsAddress(int unit)
{
    return device::flashAddress(unit ? device::Unit::Slave : device::Unit::Master, kLevelingSettingsOffset);
}

uint32_t screenAddress(int unit)
{
    return device::flashAddress(unit ? device::Unit::Slave : device::Unit::Master, device::flash::kScreenRecord);
}

std::optional<uint8_t> iniByte(const shell::IntSetting& setting)
{
    const int value = setting.read();
    if (value < 0 || value > 0xFF)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

// A record the save has changed and how to put it back.
struct Undo {
    std::function<bool()> restore;
};

class Journal {
public:
    void add(std::function<bool()> restore) { m_undo.push_back({std::move(restore)}); }
    // Puts back every changed record, newest first; true when all came back.
    bool rollBack()
    {
        bool all = true;
        for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it)
            all = it->restore() && all;
        m_undo.clear();
        return all;
    }

private:
    std::vector<Undo> m_undo;
};

bool isErased(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

UnitId unitId(int unit) { return unit ? UnitId::Slave : UnitId::Master; }

bool restoreSettings(int unit, const LevelingSettingsRecord::Bytes& old)
{
    if (!records::journalBeforeErase(unitId(unit), records::RecordKind::Settings) || !device::EraseBlock(settingsAddress(unit)))
        return false;
    if (!isErased(old) && !device::WriteFromBuffer(settingsAddress(unit), old))
        return false;
    records::journalWritten(unitId(unit), records::RecordKind::Settings);
    return true;
}

bool restoreScreen(int unit, const ScreenRecord::Bytes& old)
{
    const UnitId id = unit ? UnitId::Slave : UnitId::Master;
    if (!records::eraseScreenRecord(id))
        return false;
    return isErased(old) || records::writeScreenRecord(id, ScreenRecord::decode(old));
}

SaveResult fail(Step step, Journal& journal)
{
    SaveResult r;
    r.failedAt = step;
    r.restored = journal.rollBack();
    shell::LogF("Leveling save failed at step %d, records restored=%d\n", static_cast<int>(step), r.restored ? 1 : 0);
    return r;
}

} // namespace

std::optional<ScreenRecord> slaveScreenRecord(const ScreenRecord& read)
{
    namespace s = shell::settings;
    ScreenRecord r = read;
    const auto rightClick = iniByte(s::XPRightClickMode);
    if (!rightClick)
        return std::nullopt;
    if (!read.isValid()) {
        const auto time = iniByte(s::InfraredExpTimeS);
        const auto gain = iniByte(s::InfraredExpGainS);
        if (!time || !gain)
            return std::nullopt;
        r = ScreenRecord{};
        r.flag = records::kScreenInfoFlag;
        r.Screen_Size = 3;
        r.smoothness = 1;
        r.ImageMode = 1;
        r.Vertical_Mode = 0;
        r.OperationMode = 0;
        r.FiveCalibration_en = 0;
        r.FourCalib_en = 0;
        r.CalibWay = 1;
        r.calibWayCode = 8;
        r.zero = 0;
        r.TouchType = 0;
        r.InfraredExpTimeS = *time;
        r.InfraredExpGainS = *gain;
    } else {
        const auto touchType = iniByte(s::TouchType);
        if (!touchType)
            return std::nullopt;
        r.TouchType = *touchType;
    }
    r.XPRightClickMode = *rightClick;
    r.TouchRightClickDistThres = static_cast<uint32_t>(s::TouchRightClickDistThres.read());
    r.TouchRightClickTimeThres = static_cast<uint32_t>(s::TouchRightClickTimeThres.read());
    return r;
}

std::optional<ScreenRecord> masterScreenRecord(const ScreenRecord& slave)
{
    namespace s = shell::settings;
    const auto time = iniByte(s::InfraredExpTimeM);
    const auto gain = iniByte(s::InfraredExpGainM);
    const auto rightClick = iniByte(s::XPRightClickMode);
    if (!time || !gain || !rightClick)
        return std::nullopt;
    ScreenRecord r = slave;
    r.InfraredExpTimeS = *time;  // bytes 13 and 14 hold the unit's own exposure time and gain
    r.InfraredExpGainS = *gain;
    r.XPRightClickMode = *rightClick;
    r.TouchRightClickDistThres = static_cast<uint32_t>(s::TouchRightClickDistThres.read());
    r.TouchRightClickTimeThres = static_cast<uint32_t>(s::TouchRightClickTimeThres.read());
    return r;
}

SaveResult saveLeveling(bool extended, bool adjustDebug)
{
    Journal journal;
    // Every INI value first: a bad one changes nothing on the frame.
    const auto settings = levelingSettingsFromIni();
    ScreenRecord validRead;
    validRead.flag = records::kScreenInfoFlag;
    if (!settings || !slaveScreenRecord(ScreenRecord{}) || !slaveScreenRecord(validRead) ||
        !masterScreenRecord(ScreenRecord{}))
        return fail(Step::BadSettings, journal);

    if (extended) {
        LevelingSettingsRecord::Bytes oldMaster{}, oldSlave{};
        if (!device::ReadToBuffer(settingsAddress(0), kLevelingSettingsSize, oldMaster))
            return fail(Step::ReadSettings, journal);
        const bool keep = adjustDebug && LevelingSettingsRecord::decode(oldMaster).hasMagic();
        if (!keep) {
            if (!device::ReadToBuffer(settingsAddress(1), kLevelingSettingsSize, oldSlave))
                return fail(Step::ReadSettings, journal);
            LevelingSettingsRecord record = *settings;
            std::copy_n(oldMaster.begin() + 8, 4, record.kept.begin());
            const LevelingSettingsRecord::Bytes bytes = record.encode();
            for (int unit : {0, 1}) {
                const auto old = unit ? oldSlave : oldMaster;
                journal.add([unit, old] { return restoreSettings(unit, old); });
                if (!records::journalBeforeErase(unitId(unit), records::RecordKind::Settings)
                    || !device::EraseBlock(settingsAddress(unit)) || !device::WriteFromBuffer(settingsAddress(unit), bytes))
                    return fail(Step::WriteSettings, journal);
            }
            for (int unit : {0, 1}) {
                LevelingSettingsRecord::Bytes back{};
                if (!device::ReadToBuffer(settingsAddress(unit), kLevelingSettingsSize, back) || back != bytes)
                    return fail(Step::WriteSettings, journal);
                records::journalWritten(unitId(unit), records::RecordKind::Settings);
            }
        }
    }

    ScreenRecord::Bytes oldSlave{}, oldMaster{};
    if (!device::ReadToBuffer(screenAddress(1), records::kScreenRecordSize, oldSlave) ||
        !device::ReadToBuffer(screenAddress(0), records::kScreenRecordSize, oldMaster))
        return fail(Step::ReadScreen, journal);
    const auto slave = slaveScreenRecord(ScreenRecord::decode(oldSlave));
    const auto master = slave ? masterScreenRecord(*slave) : std::nullopt;
    if (!slave || !master)
        return fail(Step::BadSettings, journal);

    journal.add([oldSlave] { return restoreScreen(1, oldSlave); });
    if (!records::eraseScreenRecord(UnitId::Slave) || !records::writeScreenRecord(UnitId::Slave, *slave))
        return fail(Step::WriteScreenSlave, journal);
    journal.add([oldMaster] { return restoreScreen(0, oldMaster); });
    if (!records::eraseScreenRecord(UnitId::Master) || !records::writeScreenRecord(UnitId::Master, *master))
        return fail(Step::WriteScreenMaster, journal);

    SaveResult ok;
    ok.ok = true;
    return ok;
}

} // namespace tovrin::leveling
