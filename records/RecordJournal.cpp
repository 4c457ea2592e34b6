#include "RecordJournal.h"

#include "device/HidLink.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Folders.h"
#include "shell/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

namespace tovrin::records {

namespace {

constexpr uint32_t kDeviceInfoMagic = 0x44455649;  // "IVED" in byte order
constexpr uint32_t kSettingsMagic = 0x54534554;    // "TEST"
constexpr uint32_t kSettingsSize = 15;
constexpr uint32_t kDeviceInfoSize = 120;
constexpr uint32_t kKeyCodesSize = 2 + 2 * 255;  // count, 0, then up to 255 codes
constexpr const char* kTimeFormat = "yyyyMMdd-HHmmss-zzz";

uint32_t word(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

device::Unit toUnit(UnitId u) { return u == UnitId::Slave ? device::Unit::Slave : device::Unit::Master; }

// The frame each record's last save went to: the entry is closed there
// without asking the frame again once its new record is in.
std::mutex g_frameMutex;
QString g_savedTo[2][6];

QString& savedTo(UnitId unit, RecordKind kind)
{
    return g_savedTo[unit == UnitId::Slave ? 1 : 0][static_cast<int>(kind)];
}

const RecordPlace kPlaces[] = {
    {device::flash::kCalibrationRecord, static_cast<uint32_t>(kCalInfoSize), kSensorInfoFlag, 43, "calibration"},
    {device::flash::kScreenRecord, static_cast<uint32_t>(kScreenRecordSize), kScreenInfoFlag, 9, "screen"},
    {device::flash::kVersionRecord, static_cast<uint32_t>(kVersionRecordSize), 0, 0, "version"},
    {device::flash::kLevelingSettings, kSettingsSize, kSettingsMagic, 0, "settings"},
    {device::flash::kShortcutKeys, kKeyCodesSize, 0, 0, "keys", 2},
    {device::flash::kDeviceInfo, kDeviceInfoSize, kDeviceInfoMagic, 0, "devinfo"},
};

constexpr RecordKind kAllKinds[] = {RecordKind::Calibration, RecordKind::Screen,   RecordKind::Version,
                                    RecordKind::Settings,    RecordKind::KeyCodes, RecordKind::DeviceInfo};

QString entryPrefix(UnitId unit, RecordKind kind)
{
    return QString::fromLatin1(unitText(unit)) + QLatin1Char('-') + QString::fromLatin1(placeOf(kind).name) + QLatin1Char('-');
}

QString openMarker(const QString& binPath)
{
    QString p = binPath;
    p.chop(4);
    return p + QStringLiteral(".open");
}

// The entries of one record in a frame's folder, oldest first (the time
// stamps sort as text).
QStringList entryFiles(const QString& frameFolder, UnitId unit, RecordKind kind)
{
    QDir dir(frameFolder);
    QStringList names = dir.entryList({entryPrefix(unit, kind) + QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    for (QString& n : names)
        n = dir.filePath(n);
    return names;
}

void prune(const QString& frameFolder, UnitId unit, RecordKind kind)
{
    QStringList files = entryFiles(frameFolder, unit, kind);
    while (files.size() > kJournalEntriesKept) {
        QFile::remove(openMarker(files.first()));
        QFile::remove(files.takeFirst());
    }
}

std::optional<JournalEntry> readEntry(const QString& path)
{
    static const QRegularExpression name(
        QStringLiteral("^(master|slave)-(calibration|screen|version|settings|keys|devinfo)-(\\d{8}-\\d{6}-\\d{3})\\.bin$"));
    const QFileInfo info(path);
    const QRegularExpressionMatch m = name.match(info.fileName());
    if (!m.hasMatch())
        return std::nullopt;
    JournalEntry e;
    e.path = path;
    e.frame = info.dir().dirName();
    e.unit = m.captured(1) == QLatin1String("slave") ? UnitId::Slave : UnitId::Master;
    const QString kind = m.captured(2);
    for (RecordKind k : kAllKinds)
        if (kind == QLatin1String(placeOf(k).name))
            e.kind = k;
    e.time = QDateTime::fromString(m.captured(3), QString::fromLatin1(kTimeFormat));
    e.open = QFile::exists(openMarker(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    e.bytes.assign(bytes.begin(), bytes.end());
    return e;
}

QString frameNameFrom(std::initializer_list<device::Unit> units)
{
    for (device::Unit unit : units) {
        uint8_t head[8] = {};
        if (device::ReadToBuffer(device::flashAddress(unit, device::flash::kDeviceInfo), 8, head)
            && word(head) == kDeviceInfoMagic)
            return QStringLiteral("id-") + QStringLiteral("%1").arg(word(head + 4), 8, 16, QLatin1Char('0')).toUpper();
    }
    // A frame without its device information is known by its USB serial
    // number (printable letters and digits only: it names a folder).
    if (const std::shared_ptr<device::Transport> transport = device::currentTransport()) {
        const std::string serial = transport->serialNumber();
        if (!serial.empty())
            return QStringLiteral("usb-") + QString::fromStdString(serial);
    }
    return QStringLiteral("unknown");
}

} // namespace

const RecordPlace& placeOf(RecordKind kind) { return kPlaces[static_cast<int>(kind)]; }

const char* unitText(UnitId unit) { return unit == UnitId::Slave ? "slave" : "master"; }

QString journalFrameName()
{
    // The Master's device information, else the Slave's (a write of the
    // device information cut short leaves one of them readable).
    return frameNameFrom({device::Unit::Master, device::Unit::Slave});
}

bool recordBytesValid(RecordKind kind, std::span<const uint8_t> bytes)
{
    const RecordPlace& place = placeOf(kind);
    if (bytes.size() < place.headSize)
        return false;
    if (kind == RecordKind::KeyCodes)
        return bytes[0] != 0xFF && bytes[1] == 0 && bytes.size() >= 2u + 2u * bytes[0];
    return place.validityWord == 0 || word(bytes.data()) == place.validityWord;
}

bool JournalEntry::valid() const
{
    return bytes.size() == placeOf(kind).size && recordBytesValid(kind, bytes);
}

QString journalFolder()
{
    // In the data folder, beside log/ (the application folder of a build
    // tree or a portable copy; the user's data folder of an installed tool).
    return QDir(shell::dataPath(QStringLiteral("records"))).absolutePath();
}

// The frame's name from the device information of the units in `units`.

bool journalBeforeErase(UnitId unit, RecordKind kind)
{
    // A unit's device information is kept under the name the frame shows
    // when that very record is lost: the other unit's.
    const QString frame = kind == RecordKind::DeviceInfo ? frameNameFrom({toUnit(unit) == device::Unit::Master ? device::Unit::Slave
                                                                                                            : device::Unit::Master})
                                                         : journalFrameName();
    const QString folder = journalFolder() + QLatin1Char('/') + frame;
    {
        std::lock_guard lock(g_frameMutex);
        savedTo(unit, kind) = frame;
    }
    if (unfinishedWrite(frame, unit, kind))
        return true;  // the earlier attempt's entry still holds the record written whole
    const RecordPlace& place = placeOf(kind);
    std::vector<uint8_t> bytes(place.size);
    if (!device::ReadToBuffer(device::flashAddress(toUnit(unit), place.offset), static_cast<int>(place.size), bytes))
        return false;
    // Entries sort by their names: one made within the same millisecond as
    // the last (or behind a clock set back) takes the next free stamp.
    const QStringList existing = entryFiles(folder, unit, kind);
    QDateTime when = QDateTime::currentDateTime();
    QString path;
    for (;;) {
        path = folder + QLatin1Char('/') + entryPrefix(unit, kind) + when.toString(QString::fromLatin1(kTimeFormat))
               + QStringLiteral(".bin");
        if (existing.isEmpty() || QFileInfo(path).fileName() > QFileInfo(existing.last()).fileName())
            break;
        const std::optional<JournalEntry> last = readEntry(existing.last());
        when = (last ? last->time : when).addMSecs(1);
    }
    QDir().mkpath(folder);
    QFile marker(openMarker(path));
    QFile file(path);
    // A journal that cannot be written is noted and the job goes on: the
    // frame's record is still written as safely as ever.
    if (!marker.open(QIODevice::WriteOnly) || !file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
               != static_cast<qint64>(bytes.size())) {
        shell::LogF("journal: %s cannot be written\n", path.toLocal8Bit().constData());
        return true;
    }
    file.close();
    marker.close();
    prune(folder, unit, kind);
    return true;
}

void journalWritten(UnitId unit, RecordKind kind)
{
    QString frame;
    {
        std::lock_guard lock(g_frameMutex);
        frame = savedTo(unit, kind);
    }
    if (frame.isEmpty())
        frame = journalFrameName();
    if (const std::optional<JournalEntry> open = unfinishedWrite(frame, unit, kind))
        QFile::remove(openMarker(open->path));
}

bool journalHasOpenEntries()
{
    QDir root(journalFolder());
    for (const QString& f : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (!QDir(root.filePath(f)).entryList({QStringLiteral("*.open")}, QDir::Files).isEmpty())
            return true;
    return false;
}

std::vector<JournalEntry> journalEntries(const QString& frame)
{
    std::vector<JournalEntry> out;
    QDir root(journalFolder());
    const QStringList frames = frame.isEmpty() ? root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name) : QStringList{frame};
    for (const QString& f : frames) {
        QDir dir(root.filePath(f));
        for (const QString& n : dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name))
            if (std::optional<JournalEntry> e = readEntry(dir.filePath(n)))
                out.push_back(std::move(*e));
    }
    std::stable_sort(out.begin(), out.end(), [](const JournalEntry& a, const JournalEntry& b) { return a.time < b.time; });
    return out;
}

std::optional<JournalEntry> unfinishedWrite(const QString& frame, UnitId unit, RecordKind kind)
{
    const QStringList files = entryFiles(journalFolder() + QLatin1Char('/') + frame, unit, kind);
    if (files.isEmpty() || !QFile::exists(openMarker(files.last())))
        return std::nullopt;
    return readEntry(files.last());
}

std::vector<RecordState> checkRecords(std::optional<UnitId> only)
{
    const QString frame = journalFrameName();
    std::vector<RecordState> out;
    for (UnitId unit : {UnitId::Master, UnitId::Slave}) {
        if (only && *only != unit)
            continue;
        for (RecordKind kind : kAllKinds) {
            if (kind == RecordKind::Version)
                continue;
            RecordState s;
            s.unit = unit;
            s.kind = kind;
            s.unfinished = unfinishedWrite(frame, unit, kind);
            // Records beyond the two every frame holds (an older frame has no
            // leveling settings, the key codes may never have been written)
            // are looked at only when a write of theirs was cut short.
            if (kind != RecordKind::Calibration && kind != RecordKind::Screen && !s.unfinished)
                continue;
            const RecordPlace& place = placeOf(kind);
            std::vector<uint8_t> bytes(place.size);
            s.read = device::ReadToBuffer(device::flashAddress(toUnit(unit), place.offset), static_cast<int>(place.size), bytes);
            s.valid = s.read && recordBytesValid(kind, bytes);
            out.push_back(std::move(s));
        }
    }
    return out;
}

std::vector<JournalEntry> restorePlan(const std::vector<RecordState>& states)
{
    constexpr qint64 kSameJobMs = 60 * 1000;
    std::vector<JournalEntry> plan;
    auto planned = [&](UnitId unit, RecordKind kind) {
        return std::any_of(plan.begin(), plan.end(), [&](const JournalEntry& e) { return e.unit == unit && e.kind == kind; });
    };
    for (const RecordState& s : states)
        if (s.restorable() && !planned(s.unit, s.kind))
            plan.push_back(*s.unfinished);
    const std::vector<JournalEntry> restorable = plan;
    for (const JournalEntry& e : restorable) {
        if (e.kind != RecordKind::Calibration)
            continue;
        const UnitId other = e.unit == UnitId::Slave ? UnitId::Master : UnitId::Slave;
        if (planned(other, e.kind))
            continue;
        const QStringList files = entryFiles(journalFolder() + QLatin1Char('/') + e.frame, other, e.kind);
        if (files.isEmpty())
            continue;
        const std::optional<JournalEntry> newest = readEntry(files.last());
        if (newest && !newest->open && newest->valid() && std::llabs(newest->time.msecsTo(e.time)) <= kSameJobMs)
            plan.push_back(*newest);
    }
    return plan;
}

bool writeWholeRecord(UnitId unit, RecordKind kind, std::span<const uint8_t> bytes)
{
    const RecordPlace& place = placeOf(kind);
    if (bytes.size() < place.headSize)
        return false;
    // The key codes end with the last code: what lies behind it stays erased.
    if (kind == RecordKind::KeyCodes && bytes[0] != 0xFF)
        bytes = bytes.first(std::min<size_t>(bytes.size(), 2u + 2u * bytes[0]));
    const uint32_t base = device::flashAddress(toUnit(unit), place.offset);
    const std::span<const uint8_t> rest = bytes.subspan(place.headSize);
    if (!rest.empty()) {
        if (!device::WriteFromBuffer(base + place.headSize, rest))
            return false;
        std::vector<uint8_t> back(rest.size());
        if (!device::ReadToBuffer(base + place.headSize, static_cast<int>(back.size()), back)
            || !std::equal(back.begin(), back.end(), rest.begin()))
            return false;
    }
    const std::span<const uint8_t> head = bytes.first(place.headSize);
    std::vector<uint8_t> back(head.size());
    if (!device::WriteFromBuffer(base, head) || !device::ReadToBuffer(base, static_cast<int>(back.size()), back)
        || !std::equal(back.begin(), back.end(), head.begin()))
        return false;
    journalWritten(unit, kind);
    return true;
}

bool restoreEntry(const JournalEntry& entry)
{
    if (!entry.valid() || entry.kind == RecordKind::Version)
        return false;
    shell::LogF("journal: restoring the %s %s record of %s\n", unitText(entry.unit), placeOf(entry.kind).name,
                entry.time.toString(QString::fromLatin1(kTimeFormat)).toLatin1().constData());
    if (!eraseRecord(entry.unit, entry.kind))
        return false;
    if (placeOf(entry.kind).pieces == 0)
        return writeWholeRecord(entry.unit, entry.kind, entry.bytes);
    return writeRecordBytes(entry.unit, entry.kind, entry.bytes);
}

} // namespace tovrin::records
