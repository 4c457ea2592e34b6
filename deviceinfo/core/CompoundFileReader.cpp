// Reading one stream of a compound file with every structure checked: the
// header, the FAT and the sectors listing it (DIFAT), the directory, the
// stream's chain, and the mini stream for a small stream. Every sector
// number must lie inside the file, every chain must end without passing a
// sector twice, every size must be covered by its chain.
#include "CompoundFile.h"

#include <cstdint>
#include <vector>

namespace tovrin::deviceinfo {
namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr int kDirEntrySize = 128;
constexpr int kHeaderDifat = 109;

uint16_t get16(const QByteArray& b, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t get32(const QByteArray& b, qsizetype at)
{
    return static_cast<uint32_t>(get16(b, at)) | static_cast<uint32_t>(get16(b, at + 2)) << 16;
}

class Reader {
public:
    explicit Reader(const QByteArray& file)
        : m_file(file)
    {
    }

    std::optional<QByteArray> stream(const QString& name)
    {
        if (!readHeader() || !readFat() || !readDirectory())
            return std::nullopt;
        // Every stream is checked, not only the one asked for: a reader
        // may look at them all.
        std::optional<QByteArray> found;
        bool named = false;
        for (const Entry& e : m_entries) {
            if (e.type != kStreamEntry)
                continue;
            auto bytes = entryBytes(e);
            if (!bytes)
                return std::nullopt;
            if (!named && e.name.compare(name, Qt::CaseInsensitive) == 0) {
                named = true;
                found = std::move(bytes);
            }
        }
        if (!named)
            return fail(QStringLiteral("it holds no stream \"%1\"").arg(name));
        return found;
    }

    QString problem;

private:
    static constexpr int kMiniSector = 64;
    static constexpr uint8_t kStreamEntry = 2;
    static constexpr uint8_t kRootEntry = 5;

    struct Entry {
        QString name;
        uint8_t type = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    bool refuse(const QString& why)
    {
        if (problem.isEmpty())
            problem = why;
        return false;
    }
    std::nullopt_t fail(const QString& why)
    {
        refuse(why);
        return std::nullopt;
    }

    // The file offset of a sector, or -1 when it lies beyond the file.
    qsizetype sectorOffset(uint32_t sector) const
    {
        if (sector >= m_sectorCount)
            return -1;
        return qsizetype(m_sectorSize) * (qsizetype(sector) + 1);
    }

    std::optional<QByteArray> entryBytes(const Entry& entry)
    {
        if (entry.size >= m_miniCutoff)
            return chainBytes(m_fat, entry.start, entry.size, m_sectorSize, [this](uint32_t s) { return sectorOffset(s); },
                              QStringLiteral("a stream"));
        // A small stream lies in the mini stream, itself a chain of sectors
        // the root entry names.
        if (!m_mini) {
            const Entry& root = m_entries.front();
            m_mini = chainBytes(m_fat, root.start, root.size, m_sectorSize, [this](uint32_t s) { return sectorOffset(s); },
                                QStringLiteral("the mini stream"));
            if (!m_mini || !readMiniFat(m_miniFat))
                return std::nullopt;
        }
        const QByteArray& mini = *m_mini;
        const auto offsetOf = [&mini](uint32_t s) {
            return qsizetype(s) * kMiniSector + kMiniSector <= mini.size() ? qsizetype(s) * kMiniSector : qsizetype(-1);
        };
        return chainBytes(m_miniFat, entry.start, entry.size, kMiniSector, offsetOf, QStringLiteral("a small stream"), &mini);
    }

    bool readHeader()
    {
        static const char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
        if (m_file.size() < 512)
            return refuse(QStringLiteral("shorter than a compound file header"));
        if (m_file.left(8) != QByteArray(kSignature, 8))
            return refuse(QStringLiteral("not a compound file"));
        if (get16(m_file, 28) != 0xFFFE)
            return refuse(QStringLiteral("a compound file of unknown byte order"));
        const uint16_t major = get16(m_file, 26);
        const uint16_t shift = get16(m_file, 30);
        if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)) || get16(m_file, 32) != 6)
            return refuse(QStringLiteral("a compound file of unknown sector size"));
        m_sectorSize = 1 << shift;
        if (m_file.size() < m_sectorSize)
            return refuse(QStringLiteral("shorter than its header sector"));
        m_sectorCount = static_cast<uint32_t>(m_file.size() / m_sectorSize - 1);
        m_miniCutoff = get32(m_file, 56);
        if (m_miniCutoff != 4096)
            return refuse(QStringLiteral("a compound file of unknown mini stream cutoff"));
        return true;
    }

    // The sector numbers of the FAT: 109 in the header, the rest in the
    // DIFAT chain (127 per sector and the next DIFAT sector).
    bool readFat()
    {
        const uint32_t fatCount = get32(m_file, 44);
        if (fatCount == 0 || fatCount > m_sectorCount)
            return refuse(QStringLiteral("a FAT of %1 sectors in a file of %2").arg(fatCount).arg(m_sectorCount));
        std::vector<uint32_t> fatSectors;
        for (int i = 0; i < kHeaderDifat && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(get32(m_file, 76 + 4 * i));
        // The DIFAT chain is walked whole, needed or not: every sector it
        // names must lie in the file.
        uint32_t difat = get32(m_file, 68);
        const uint32_t difatCount = get32(m_file, 72);
        if (difatCount > m_sectorCount)
            return refuse(QStringLiteral("its FAT is not listed whole"));
        const int perDifat = m_sectorSize / 4 - 1;
        for (uint32_t d = 0; d < difatCount; ++d) {
            const qsizetype at = sectorOffset(difat);
            if (at < 0)
                return refuse(QStringLiteral("a DIFAT sector lies beyond the end of the file"));
            for (int i = 0; i < perDifat && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(get32(m_file, at + 4 * i));
            difat = get32(m_file, at + 4 * perDifat);
        }
        if (fatSectors.size() < fatCount)
            return refuse(QStringLiteral("its FAT is not listed whole"));
        m_fat.clear();
        m_fat.reserve(fatSectors.size() * static_cast<size_t>(m_sectorSize / 4));
        for (uint32_t s : fatSectors) {
            const qsizetype at = sectorOffset(s);
            if (at < 0)
                return refuse(QStringLiteral("a FAT sector lies beyond the end of the file"));
            for (int i = 0; i < m_sectorSize / 4; ++i)
                m_fat.push_back(get32(m_file, at + 4 * i));
        }
        return true;
    }

    bool readMiniFat(std::vector<uint32_t>& miniFat)
    {
        const uint32_t start = get32(m_file, 60);
        const uint32_t count = get32(m_file, 64);
        const auto bytes = chainBytes(m_fat, start, uint64_t{count} * m_sectorSize, m_sectorSize,
                                      [this](uint32_t s) { return sectorOffset(s); }, QStringLiteral("the mini FAT"));
        if (!bytes)
            return false;
        for (qsizetype at = 0; at + 4 <= bytes->size(); at += 4)
            miniFat.push_back(get32(*bytes, at));
        return true;
    }

    bool readDirectory()
    {
        const auto dir = chainBytes(m_fat, get32(m_file, 48), std::nullopt, m_sectorSize,
                                    [this](uint32_t s) { return sectorOffset(s); }, QStringLiteral("the directory"));
        if (!dir)
            return false;
        const qsizetype count = dir->size() / kDirEntrySize;
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype at = i * kDirEntrySize;
            Entry e;
            e.type = static_cast<uint8_t>((*dir)[at + 66]);
            if (e.type > kRootEntry || e.type == 3 || e.type == 4)
                return refuse(QStringLiteral("directory entry %1 of unknown type").arg(i));
            const uint16_t nameBytes = get16(*dir, at + 64);
            if (nameBytes > 64 || nameBytes % 2 != 0 || (e.type != 0 && nameBytes < 2))
                return refuse(QStringLiteral("directory entry %1 with a name of %2 bytes").arg(i).arg(nameBytes));
            for (int c = 0; c + 1 < nameBytes / 2; ++c)
                e.name += QChar(get16(*dir, at + 2 * c));
            for (int link : {68, 72, 76}) {
                const uint32_t id = get32(*dir, at + link);
                if (id != kNoStream && id >= static_cast<uint32_t>(count))
                    return refuse(QStringLiteral("directory entry %1 links to a missing entry").arg(i));
            }
            e.start = get32(*dir, at + 116);
            e.size = get32(*dir, at + 120);
            if (m_sectorSize == 4096)
                e.size |= uint64_t{get32(*dir, at + 124)} << 32;
            if (i == 0 && e.type != kRootEntry)
                return refuse(QStringLiteral("its directory has no root entry"));
            m_entries.push_back(e);
        }
        if (m_entries.empty())
            return refuse(QStringLiteral("its directory is empty"));
        return true;
    }

    // The bytes of a chain of sectors; with a size, the chain must cover it
    // and is cut to it, without one the whole chain is returned. A sector
    // beyond the file, a chain that passes a sector twice or ends early fails.
    template <class Offset>
    std::optional<QByteArray> chainBytes(const std::vector<uint32_t>& fat, uint32_t start, std::optional<uint64_t> size,
                                         int sectorSize, Offset offsetOf, const QString& what,
                                         const QByteArray* source = nullptr)
    {
        const QByteArray& from = source ? *source : m_file;
        QByteArray out;
        std::vector<bool> seen(fat.size(), false);
        uint32_t sector = start;
        if (size && *size == 0)
            return out;
        while (sector != kEndOfChain) {
            if (sector > kMaxRegularSector || sector >= fat.size() || seen[sector])
                return fail(QStringLiteral("the chain of %1 is broken").arg(what));
            seen[sector] = true;
            const qsizetype at = offsetOf(sector);
            if (at < 0 || at + sectorSize > from.size())
                return fail(QStringLiteral("%1 reaches beyond the end of the file").arg(what));
            out.append(from.constData() + at, sectorSize);
            if (size && static_cast<uint64_t>(out.size()) >= *size)
                break;
            sector = fat[sector];
        }
        if (size) {
            if (static_cast<uint64_t>(out.size()) < *size)
                return fail(QStringLiteral("%1 is shorter than its size").arg(what));
            out.truncate(static_cast<qsizetype>(*size));
        }
        return out;
    }

    const QByteArray& m_file;
    int m_sectorSize = 512;
    uint32_t m_sectorCount = 0;
    uint32_t m_miniCutoff = 4096;
    std::vector<uint32_t> m_fat;
    std::vector<Entry> m_entries;
    std::optional<QByteArray> m_mini;
    std::vector<uint32_t> m_miniFat;
};

} // namespace

std::optional<QByteArray> readCompoundStream(const QByteArray& file, const QString& streamName, QString* problem)
{
    Reader reader(file);
    auto stream = reader.stream(streamName);
    if (!stream && problem)
        *problem = reader.problem;
    return stream;
}

} // namespace tovrin::deviceinfo
