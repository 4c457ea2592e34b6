#include "DeviceInfoOps.h"

#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/RecordJournal.h"
#include "shell/CommentIniWriter.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QTime>

#include <array>

namespace tovrin::deviceinfo {

using device::Unit;

Q_LOGGING_CATEGORY(exportLog, "tovrin.deviceinfo.export")

namespace {

const char* nameOf(Unit unit) { return unit == Unit::Slave ? "Slave" : "Master"; }

// The failure texts of one unit's write, by step.
QString writeFailure(Unit unit, const char* step)
{
    return QStringLiteral("Write %1 failed (%2 %1)!\n").arg(QLatin1String(nameOf(unit)), QLatin1String(step));
}

bool writeUnit(Unit unit, const DeviceInfo& info, uint32_t& previousId, QString& failure)
{
    const UnitInfoRead current = readUnitInfo(unit);
    if (current.status == UnitInfoRead::ReadFailed) {
        failure = writeFailure(unit, "Read");
        return false;
    }
    previousId = current.info ? current.info->deviceId : 0;
    const uint32_t sector = device::flashAddress(unit, kRecordOffset);
    const records::UnitId id = unit == Unit::Master ? records::UnitId::Master : records::UnitId::Slave;
    if (!records::journalBeforeErase(id, records::RecordKind::DeviceInfo) || !device::EraseBlock(sector)) {
        failure = writeFailure(unit, "Erase");
        return false;
    }
    const auto body = encodeBody(info);
    for (int piece = 0; piece < 4; ++piece) {
        const auto data = std::span<const uint8_t>(body).subspan(static_cast<size_t>(piece) * 32, 32);
        if (!device::WriteFromBuffer(sector + 4 + static_cast<uint32_t>(piece) * 32, data)) {
            failure = writeFailure(unit, "Write");
            return false;
        }
    }
    const auto record = encodeRecord(info);
    if (!device::WriteFromBuffer(sector, std::span<const uint8_t>(record).first(4))) {
        failure = QStringLiteral("Write %1 failed (Write %1 head)!\n").arg(QLatin1String(nameOf(unit)));
        return false;
    }
    std::array<uint8_t, kRecordSize> back{};
    if (device::ReadToBuffer(sector, static_cast<int>(back.size()), back) && back == record)
        records::journalWritten(id, records::RecordKind::DeviceInfo);
    return true;
}

// The frame stopped answering in the job (its last transaction got no
// reply, or it is no longer there).
bool frameGone()
{
    uint16_t pid = 0;
    return device::g_bDevExist.load() == 0 || device::CheckHidDevice(pid) != device::kCheckFrameOk;
}

// Which typed text DeviceInfo.ini cannot hold, for the status line.
QString iniProblem(const QString& iniFile, const QStringList& typed)
{
    shell::CommentIniWriter probe(iniFile);
    if (!probe.canWrite()) {
        probe.discard();
        return QStringLiteral("%1 cannot be written.").arg(iniFile);
    }
    for (int f = 0; f < kFieldCount && f < typed.size(); ++f) {
        probe.setValue(QStringLiteral("DeviceInfo/%1").arg(QLatin1String(fieldKeys()[static_cast<size_t>(f)])), typed.at(f));
        if (!probe.canHold()) {
            probe.discard();
            return QStringLiteral("%1 \"%2\" holds characters %3 cannot keep (its encoding lacks them).")
                .arg(QLatin1String(fieldKeys()[static_cast<size_t>(f)]), typed.at(f), iniFile);
        }
    }
    probe.discard();
    return QStringLiteral("%1 cannot hold the texts.").arg(iniFile);
}

QString clockText(const QTime& t)
{
    return QString::asprintf("%02d:%02d:%02d:%02d", t.hour(), t.minute(), t.second(), t.msec());
}

} // namespace

UnitInfoRead readUnitInfo(Unit unit)
{
    UnitInfoRead read;
    std::array<uint8_t, kRecordSize> bytes{};
    if (!device::ReadToBuffer(device::flashAddress(unit, kRecordOffset), kRecordSize, bytes))
        return read;
    read.info = decodeRecord(bytes);
    read.status = read.info ? UnitInfoRead::Ok : UnitInfoRead::NoMagic;
    return read;
}

BothRead readBothUnits()
{
    BothRead both;
    both.master = readUnitInfo(Unit::Master);
    both.slave = readUnitInfo(Unit::Slave);
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        const UnitInfoRead& r = unit == Unit::Master ? both.master : both.slave;
        if (r.status == UnitInfoRead::ReadFailed)
            both.status += QStringLiteral("Read %1 failed 2!\n").arg(QLatin1String(nameOf(unit)));
        else if (r.status == UnitInfoRead::NoMagic)
            both.status += QStringLiteral("Read %1 failed 1!\n").arg(QLatin1String(nameOf(unit)));
    }
    if (both.status.isEmpty())
        both.status = QStringLiteral("Read success!\n");
    return both;
}

WriteOutcome writeBothUnits(const DeviceInfo& master)
{
    WriteOutcome out;
    out.master = master;
    out.slave = master;
    out.slave.deviceId = master.deviceId + 1;
    if (!writeUnit(Unit::Master, out.master, out.previousMaster, out.status))
        return out;
    out.masterWritten = true;
    shell::LogF("DeviceInfo: Master written, device ID 0x%08x (before 0x%08x)\n", out.master.deviceId, out.previousMaster);
    if (!writeUnit(Unit::Slave, out.slave, out.previousSlave, out.status))
        return out;
    shell::LogF("DeviceInfo: Slave written, device ID 0x%08x (before 0x%08x)\n", out.slave.deviceId, out.previousSlave);
    out.ok = true;
    return out;
}

DeviceInfoThread::DeviceInfoThread(QObject* parent)
    : Worker(parent)
{
    qRegisterMetaType<DeviceInfoJobResult>("tovrin::deviceinfo::DeviceInfoJobResult");
    connect(this, &Worker::ended, this, [this] { Q_EMIT sendResult(m_result); });
}

DeviceInfoThread::~DeviceInfoThread() { stopAndWait(); }

void DeviceInfoThread::setRead()
{
    std::lock_guard lock(m_mutex);
    m_write = false;
}

void DeviceInfoThread::setWrite(const DeviceInfo& master, const QStringList& typed, const UnitImage& masterImage,
                                const UnitImage& slaveImage, const QString& iniFile, const QString& workbookPath)
{
    std::lock_guard lock(m_mutex);
    m_write = true;
    m_master = master;
    m_typed = typed;
    m_masterImage = masterImage;
    m_slaveImage = slaveImage;
    m_iniFile = iniFile;
    m_workbookPath = workbookPath;
}

void DeviceInfoThread::work()
{
    bool write;
    {
        std::lock_guard lock(m_mutex);
        write = m_write;
    }
    DeviceInfoJobResult result;
    if (write) {
        result = runWrite();
    } else {
        result.read = readBothUnits();
        result.status = result.read.status;
        result.frameLost = (result.read.master.status == UnitInfoRead::ReadFailed ||
                            result.read.slave.status == UnitInfoRead::ReadFailed) && frameGone();
    }
    m_result = result;
}

DeviceInfoJobResult DeviceInfoThread::runWrite()
{
    std::lock_guard lock(m_mutex);
    DeviceInfoJobResult result;
    result.isWrite = true;

    // Everything that could still fail after the frame is written is
    // checked first: DeviceInfo.ini must hold every text, and a workbook
    // must be there to take the rows. A refusal here writes nothing.
    shell::CommentIniWriter ini(m_iniFile);
    for (int f = 0; f < kFieldCount && f < m_typed.size(); ++f)
        ini.setValue(QStringLiteral("DeviceInfo/%1").arg(QLatin1String(fieldKeys()[static_cast<size_t>(f)])), m_typed.at(f));
    if (!ini.canHold()) {
        ini.discard();
        result.status = iniProblem(m_iniFile, m_typed) + QStringLiteral(" Nothing was written.\n");
        return result;
    }
    const WorkbookPlan plan = planWorkbook(m_workbookPath, localNow().date(), 2);
    if (!plan.ok) {
        ini.discard();
        result.status = plan.problem + QStringLiteral(" Nothing was written.\n");
        return result;
    }

    result.write = writeBothUnits(m_master);
    if (!result.write.ok) {
        ini.discard();
        result.frameLost = frameGone();
        result.status = result.write.status;
        return result;
    }
    // Done only when both units read back exactly what was written.
    result.read = readBothUnits();
    result.verified = result.read.master.info == std::optional<DeviceInfo>(result.write.master) &&
                      result.read.slave.info == std::optional<DeviceInfo>(result.write.slave);
    if (!result.verified) {
        ini.discard();
        result.frameLost = frameGone();
        result.write.ok = false;
        result.status = result.read.master.info == std::optional<DeviceInfo>(result.write.master)
                            ? QStringLiteral("Write Slave failed (Read back Slave)!\n")
                            : QStringLiteral("Write Master failed (Read back Master)!\n");
        return result;
    }
    result.iniSaved = ini.close();

    const QTime start = localNow().time();
    QElapsedTimer elapsed;
    elapsed.start();
    qCDebug(exportLog).noquote() << "ReadWriteDeviceInfo::ExcelTemplateExport start  " + clockText(start);
    const std::vector<QStringList> rows{spreadsheetRow(result.write.master, result.write.previousMaster, m_masterImage),
                                        spreadsheetRow(result.write.slave, result.write.previousSlave, m_slaveImage)};
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i)
            qCDebug(exportLog).noquote() << QString::asprintf("str[%d].len = %d", i, static_cast<int>(row.at(i).size()));
    result.exportOutcome = writeRows(plan, rows);
    result.exported = result.exportOutcome.ok();
    qCDebug(exportLog).noquote() << "ReadWriteDeviceInfo::ExcelTemplateExport end  " + clockText(localNow().time());
    qCDebug(exportLog).noquote() << QString::asprintf("ReadWriteDeviceInfo::ExcelTemplateExport start to end  %02d\n",
                                            static_cast<int>(elapsed.elapsed()));
    if (!result.exportOutcome.message.isEmpty())
        shell::LogF("DeviceInfo: %s\n", result.exportOutcome.message.toUtf8().constData());

    result.status = QStringLiteral("Write success!\n");
    if (!result.iniSaved)
        result.status += QStringLiteral("%1 could not be saved.\n").arg(m_iniFile);
    if (!result.exportOutcome.message.isEmpty())
        result.status += result.exportOutcome.message + QLatin1Char('\n');
    return result;
}

} // namespace tovrin::deviceinfo
