#include "FingerThreshold.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/RecordJournal.h"
#include "shell/Log.h"

#include <algorithm>

namespace tovrin::maintenance {

using device::Unit;

bool hasLevelingMagic(const LevelingRecord& r)
{
    return r[0] == 'T' && r[1] == 'E' && r[2] == 'S' && r[3] == 'T';
}

QString ThresholdReading::label() const
{
    switch (status) {
    case ReadError:
        return QStringLiteral("Flash Read Error!");
    case NoValidRecord:
        return QStringLiteral("No Valid Test Para!");
    case Ok:
        break;
    }
    return {};
}

ThresholdReading readFingerThreshold()
{
    ThresholdReading reading;
    if (!device::ReadToBuffer(device::flashAddress(Unit::Master, kLevelingRecordOffset), kLevelingRecordSize,
                              reading.record))
        return reading;
    reading.status = hasLevelingMagic(reading.record) ? ThresholdReading::Ok : ThresholdReading::NoValidRecord;
    const auto it = std::find(kThresholdChoices.begin(), kThresholdChoices.end(), reading.record[kThresholdByte]);
    if (it != kThresholdChoices.end())
        reading.choice = static_cast<int>(it - kThresholdChoices.begin());
    return reading;
}

ThresholdWrite writeFingerThreshold(uint8_t threshold)
{
    ThresholdWrite result;
    const ThresholdReading reading = readFingerThreshold();
    if (reading.status != ThresholdReading::Ok) {
        result.label = reading.label();
        return result;
    }
    LevelingRecord record = reading.record;
    record[kThresholdByte] = threshold;
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        const char* name = unit == Unit::Master ? "Master" : "Slave";
        const uint32_t address = device::flashAddress(unit, kLevelingRecordOffset);
        const records::UnitId id = unit == Unit::Master ? records::UnitId::Master : records::UnitId::Slave;
        if (!records::journalBeforeErase(id, records::RecordKind::Settings) || !device::EraseBlock(address)) {
            result.label = QStringLiteral("%1 Flash Erase Error!").arg(QLatin1String(name));
            return result;
        }
        if (!device::WriteFromBuffer(address, record)) {
            result.label = QStringLiteral("%1 Flash Write Error!").arg(QLatin1String(name));
            return result;
        }
        LevelingRecord back{};
        if (device::ReadToBuffer(address, static_cast<int>(back.size()), back) && back == record)
            records::journalWritten(id, records::RecordKind::Settings);
        (unit == Unit::Master ? result.masterWritten : result.slaveWritten) = true;
    }
    shell::LogF("Finger into threshold 0x%02x written to both units\n", threshold);
    result.label = QStringLiteral("Flash Write Success!");
    return result;
}

} // namespace tovrin::maintenance
