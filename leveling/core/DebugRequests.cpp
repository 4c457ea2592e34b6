#include "DebugRequests.h"

#include "LevelingState.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"
#include "shell/Log.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tovrin::leveling {

namespace {

constexpr uint32_t kBackgroundRegister = 0x35;
constexpr uint8_t kWhiteZoneBit = 0x40;
constexpr uint8_t kBlackZoneBit = 0x80;

uint32_t settingsAddress(int unit)
{
    return device::flashAddress(unit ? device::Unit::Slave : device::Unit::Master, kLevelingSettingsOffset);
}

QString hexText(uint32_t value) { return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0')); }

// A register address of the panel: hexadecimal, with the unit bit allowed
// for FPGA registers. Nothing when it does not fit the register space.
std::optional<uint32_t> registerAddress(const QString& text, bool sensor)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char('_'));
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    const qulonglong value = t.isEmpty() ? 0 : t.toULongLong(&ok, 16);
    if (!t.isEmpty() && !ok)
        return std::nullopt;
    const qulonglong offset = value & ~static_cast<qulonglong>(device::kSlaveBit);
    if (offset > (sensor ? 0xFFu : 0xFFFFu))
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

RegisterResult shown(RegisterResult r)
{
    r.addressText = hexText(device::LastRegAddress.load() & 0xFFFFu);
    r.valueText = hexText(device::LastRegValue.load());
    return r;
}

std::optional<uint16_t> columnValue(const QString& text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, 10);
    if (!ok || value > 639)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

// One unit's calibration record with new columns, and the record it had.
struct ColumnWrite {
    records::UnitId id;
    records::CalInfo old;
    bool changed = false;  // erased or written since it was read
};

bool restoreRecord(const ColumnWrite& w)
{
    if (!records::eraseCalibrationRecord(w.id))
        return false;
    const records::CalInfo::Bytes bytes = w.old.encode();
    const bool erased = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
    return erased || records::writeCalibrationRecord(w.id, w.old);
}

// Erases and rewrites one unit's record with the columns and reads it back.
// The failure text, or empty.
QString writeUnitColumns(int unit, uint16_t start, uint16_t end, ColumnWrite& w)
{
    const QString prefix = unit ? QStringLiteral("Write S failed:") : QStringLiteral("Write M failed:");
    w.id = unit ? records::UnitId::Slave : records::UnitId::Master;
    if (!records::readCalibrationRecord(w.id, w.old))
        return prefix + QStringLiteral("Read!");
    records::CalInfo record = w.old;
    record.u10_PROJECT_START = start;
    record.u10_PROJECT_END = end;
    w.changed = true;
    if (!records::eraseCalibrationRecord(w.id))
        return prefix + QStringLiteral("Erase!");
    if (!records::writeCalibrationRecord(w.id, record))
        return prefix + QStringLiteral("Write!");
    records::CalInfo back;
    if (!records::readCalibrationRecord(w.id, back) || back.encode() != record.encode())
        return prefix + QStringLiteral("Read_temp!");
    const char* name = unit ? "CalInfo_R" : "CalInfo_L";
    shell::LogF("%s.StImageProcessPara.u10_PROJECT_START=%d, %s.StImageProcessPara.u10_PROJECT_END=%d\n", name,
                back.u10_PROJECT_START, name, back.u10_PROJECT_END);
    return {};
}

} // namespace

QString resetFpga()
{
    uint8_t reply[8] = {};
    if (!device::SwitchMode(device::mode::FpgaReset, reply)) {
        device::markGoneOnNoReply();
        return QStringLiteral("Master FPGA Reset Error!");
    }
    if (reply[0] != 0x22)
        return QStringLiteral("Slave FPGA Reset Error!");
    return {};
}

RegisterResult writeRegister(const QString& addressText, const QString& valueText, bool sensor)
{
    RegisterResult r;
    const QString error = sensor ? QStringLiteral("send message: write_i2c_reg err!")
                                 : QStringLiteral("send message: write_reg err!");
    const auto address = registerAddress(addressText, sensor);
    const auto value = byteFromHexText(valueText);
    if (!address || !value) {
        r.error = error;  // refused: it does not fit the register
        return r;
    }
    const bool ok = sensor ? device::I2cWrite(*address, 1, *value) : device::PortWrite(*address, *value, 1, false);
    if (!ok) {
        r.error = error;
        return r;
    }
    return shown(r);
}

RegisterResult readRegister(const QString& addressText, bool sensor)
{
    RegisterResult r;
    const QString error = sensor ? QStringLiteral("send message: read_i2c_reg err!")
                                 : QStringLiteral("send message: read_FPGASingle_reg err!");
    const auto address = registerAddress(addressText, sensor);
    if (!address) {
        r.error = error;
        return r;
    }
    uint8_t value = 0;
    const bool ok = sensor ? device::I2cRead(*address, 1, value) : device::RegisterRead(*address, false, value);
    if (!ok) {
        r.error = error;
        return r;
    }
    return shown(r);
}

QString flashWriteSettings(int unit, const PanelSettings& panel)
{
    LevelingSettingsRecord record;
    const auto exposure = byteFromHexText(panel.exposureThreshold);
    const auto into = byteFromHexText(panel.fingerInto);
    const auto out = byteFromHexText(panel.fingerOut);
    const auto cogradient = byteFromHexText(panel.cogradient);
    // A threshold that does not fit its byte is refused before anything is
    // erased; the box names it (the flash itself did not fail).
    const std::pair<const char*, const QString*> fields[] = {{"Exposure threshold", &panel.exposureThreshold},
                                                             {"Finger into threshold", &panel.fingerInto},
                                                             {"Finger out threshold", &panel.fingerOut},
                                                             {"Cogradient threshold", &panel.cogradient}};
    for (const auto& [label, field] : fields)
        if (!byteFromHexText(*field))
            return QStringLiteral("Flash Write refused: %1 %2 is not a byte!").arg(QLatin1String(label), field->trimmed());
    if (!exposure || !into || !out || !cogradient)
        return QStringLiteral("Flash Write refused!");
    record.expValue = *exposure;
    record.pointValueBegin = *into;
    record.pointValueEnd = *out;
    record.vsyncDiff = *cogradient;
    record.kept = {};
    record.autoUpdateBk = panel.autoUpdateBk ? 1 : 0;
    record.autoImageEval = panel.autoImageEval ? 1 : 0;
    record.autoStartLine = panel.autoStartLine ? 1 : 0;
    const records::UnitId id = unit ? records::UnitId::Slave : records::UnitId::Master;
    if (!records::journalBeforeErase(id, records::RecordKind::Settings) || !device::EraseBlock(settingsAddress(unit)))
        return QStringLiteral("Flash Erase Error!");
    if (!device::WriteFromBuffer(settingsAddress(unit), record.encode()))
        return QStringLiteral("Flash Write Error!");
    LevelingSettingsRecord::Bytes back{};
    if (device::ReadToBuffer(settingsAddress(unit), kLevelingSettingsSize, back) && back == record.encode())
        records::journalWritten(id, records::RecordKind::Settings);
    return {};
}

FlashReadResult flashReadSettings(int unit)
{
    FlashReadResult r;
    LevelingSettingsRecord::Bytes bytes{};
    if (!device::ReadToBuffer(settingsAddress(unit), kLevelingSettingsSize, bytes)) {
        r.error = QStringLiteral("Flash Read Error!");
        return r;
    }
    const LevelingSettingsRecord record = LevelingSettingsRecord::decode(bytes);
    if (!record.hasMagic()) {
        r.error = QStringLiteral("No Valid Test Para!");
        return r;
    }
    auto hex2 = [](uint8_t b) { return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0')); };
    PanelSettings p;
    p.fingerInto = hex2(record.pointValueBegin);
    p.fingerOut = hex2(record.pointValueEnd);
    p.exposureThreshold = hex2(record.expValue);
    p.cogradient = hex2(record.vsyncDiff);
    p.autoUpdateBk = record.autoUpdateBk != 0;
    p.autoImageEval = record.autoImageEval != 0;
    p.autoStartLine = record.autoStartLine != 0;
    r.fields = p;
    return r;
}

QString updateBackground(int unit, bool whiteZone, bool blackZone)
{
    if (!whiteZone && !blackZone)
        return QStringLiteral("PleaseSelectThe WhiteZone Or BlackZone!");
    const uint32_t address = (unit ? device::kSlaveBit : 0u) | kBackgroundRegister;
    uint8_t value = 0;
    if (!device::RegisterRead(address, true, value)) {
        device::markGoneOnNoReply();
        return QStringLiteral("UpdateBK Read Error!");
    }
    if (whiteZone)
        value ^= kWhiteZoneBit;
    if (blackZone)
        value ^= kBlackZoneBit;
    if (!device::PortWrite(address, value, 1, true)) {
        device::markGoneOnNoReply();
        return QStringLiteral("UpdateBK Write Error!");
    }
    return {};
}

QString writeColumns(const QString& leftStart, const QString& leftEnd, const QString& rightStart,
                     const QString& rightEnd)
{
    const auto ls = columnValue(leftStart), le = columnValue(leftEnd);
    const auto rs = columnValue(rightStart), re = columnValue(rightEnd);
    // Columns are sensor columns 0..639, the first not after the last; other
    // values are refused before any record is touched.
    if (!ls || !le || *ls > *le)
        return QStringLiteral("Write M failed:Value!");
    if (!rs || !re || *rs > *re)
        return QStringLiteral("Write S failed:Value!");
    // A refused step puts back every record this request changed (newest
    // first), as the leveling save does; the columns in hand change only
    // once both records hold them.
    std::array<ColumnWrite, 2> writes{};
    const std::array<std::pair<uint16_t, uint16_t>, 2> columns{{{*ls, *le}, {*rs, *re}}};
    for (int unit : {kMaster, kSlave}) {
        const QString e = writeUnitColumns(unit, columns[static_cast<size_t>(unit)].first,
                                           columns[static_cast<size_t>(unit)].second, writes[static_cast<size_t>(unit)]);
        if (e.isEmpty())
            continue;
        bool restored = true;
        for (int u = unit; u >= kMaster; --u)
            if (writes[static_cast<size_t>(u)].changed && device::g_bDevExist.load())
                restored = restoreRecord(writes[static_cast<size_t>(u)]) && restored;
        shell::LogF("WriteColumn failed, records restored=%d\n", restored ? 1 : 0);
        return e;
    }
    for (int unit : {kMaster, kSlave})
        setColumns(unit, columns[static_cast<size_t>(unit)].first, columns[static_cast<size_t>(unit)].second);
    return QStringLiteral("Write success!");
}

} // namespace tovrin::leveling
