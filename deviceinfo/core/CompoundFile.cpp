#include "CompoundFile.h"

#include <cstdint>
#include <vector>

namespace tovrin::deviceinfo {
namespace {

constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr int kEntriesPerSector = kCfbSector / 4;  // 128 FAT entries
constexpr int kHeaderDifat = 109;
constexpr int kDirEntrySize = 128;

void put16(QByteArray& b, int at, uint16_t v)
{
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

void put32(QByteArray& b, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}

int sectorsFor(qsizetype bytes) { return static_cast<int>((bytes + kCfbSector - 1) / kCfbSector); }

// One directory entry at entry index i of the directory sector.
void putEntry(QByteArray& dir, int i, const QString& name, uint8_t type, uint32_t child, uint32_t start, uint32_t size)
{
    const int at = i * kDirEntrySize;
    const QString n = name.left(31);
    for (int c = 0; c < n.size(); ++c)
        put16(dir, at + 2 * c, n.at(c).unicode());
    put16(dir, at + 64, static_cast<uint16_t>((n.size() + 1) * 2));
    dir[at + 66] = static_cast<char>(type);
    dir[at + 67] = 1;  // black
    put32(dir, at + 68, kNoStream);
    put32(dir, at + 72, kNoStream);
    put32(dir, at + 76, child);
    put32(dir, at + 116, start);
    put32(dir, at + 120, size);
}

} // namespace

QByteArray buildCompoundFile(const QString& streamName, const QByteArray& stream)
{
    const int streamSectors = sectorsFor(stream.size());
    const int dirSectors = 1;
    // FAT and DIFAT sectors must also be counted in the FAT.
    int fatSectors = 1;
    int difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > kHeaderDifat ? (fatSectors - kHeaderDifat + kEntriesPerSector - 2) / (kEntriesPerSector - 1) : 0;
        const int total = streamSectors + dirSectors + fatSectors + difatSectors;
        if (total <= fatSectors * kEntriesPerSector)
            break;
        ++fatSectors;
    }
    const uint32_t dirStart = static_cast<uint32_t>(streamSectors);
    const uint32_t fatStart = dirStart + dirSectors;
    const uint32_t difatStart = fatStart + static_cast<uint32_t>(fatSectors);
    const int totalSectors = streamSectors + dirSectors + fatSectors + difatSectors;

    std::vector<uint32_t> fat(static_cast<size_t>(fatSectors) * kEntriesPerSector, kFreeSect);
    for (int s = 0; s < streamSectors; ++s)
        fat[static_cast<size_t>(s)] = s + 1 < streamSectors ? static_cast<uint32_t>(s + 1) : kEndOfChain;
    fat[dirStart] = kEndOfChain;
    for (int s = 0; s < fatSectors; ++s)
        fat[fatStart + static_cast<uint32_t>(s)] = kFatSect;
    for (int s = 0; s < difatSectors; ++s)
        fat[difatStart + static_cast<uint32_t>(s)] = kDifSect;

    QByteArray file(kCfbSector * (1 + totalSectors), '\0');
    // Header.
    static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; ++i)
        file[i] = static_cast<char>(kSignature[i]);
    put16(file, 24, 0x003E);
    put16(file, 26, 0x0003);
    put16(file, 28, 0xFFFE);
    put16(file, 30, 9);
    put16(file, 32, 6);
    put32(file, 44, static_cast<uint32_t>(fatSectors));
    put32(file, 48, dirStart);
    put32(file, 56, kCfbMiniCutoff);
    put32(file, 60, kEndOfChain);
    put32(file, 64, 0);
    put32(file, 68, difatSectors > 0 ? difatStart : kEndOfChain);
    put32(file, 72, static_cast<uint32_t>(difatSectors));
    for (int i = 0; i < kHeaderDifat; ++i)
        put32(file, 76 + 4 * i, i < fatSectors ? fatStart + static_cast<uint32_t>(i) : kFreeSect);

    auto sectorAt = [](uint32_t s) { return kCfbSector * (1 + static_cast<int>(s)); };
    // Stream.
    file.replace(sectorAt(0), static_cast<int>(stream.size()), stream);
    // Directory.
    QByteArray dir(kCfbSector, '\0');
    putEntry(dir, 0, QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    putEntry(dir, 1, streamName, 2, kNoStream, 0, static_cast<uint32_t>(stream.size()));
    for (int i = 2; i < 4; ++i)
        for (int f : {68, 72, 76})
            put32(dir, i * kDirEntrySize + f, kNoStream);
    file.replace(sectorAt(dirStart), kCfbSector, dir);
    // FAT.
    for (size_t i = 0; i < fat.size(); ++i)
        put32(file, sectorAt(fatStart) + static_cast<int>(i) * 4, fat[i]);
    // DIFAT: 127 further FAT sector numbers per sector, then the next DIFAT sector.
    for (int d = 0; d < difatSectors; ++d) {
        const int at = sectorAt(difatStart + static_cast<uint32_t>(d));
        for (int i = 0; i < kEntriesPerSector - 1; ++i) {
            const int fatIndex = kHeaderDifat + d * (kEntriesPerSector - 1) + i;
            put32(file, at + 4 * i, fatIndex < fatSectors ? fatStart + static_cast<uint32_t>(fatIndex) : kFreeSect);
        }
        put32(file, at + 4 * (kEntriesPerSector - 1),
              d + 1 < difatSectors ? difatStart + static_cast<uint32_t>(d + 1) : kEndOfChain);
    }
    return file;
}

} // namespace tovrin::deviceinfo
