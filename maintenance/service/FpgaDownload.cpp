#include "FpgaDownload.h"

#include "device/UnitAddress.h"
#include "shell/Settings.h"

#include <QFile>

#include <algorithm>

namespace tovrin::maintenance {
namespace {
constexpr uint32_t kFlashPage = 256;
constexpr int kFlashCommandMax = 58;
} // namespace

void RollingKey::apply(std::span<uint8_t> bytes)
{
    for (uint8_t& b : bytes) {
        b ^= m_key;
        m_key = static_cast<uint8_t>((m_key << 1) | (m_key >> 7));
    }
}

std::optional<uint8_t> parseFpgaKey(const QString& text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    const uint value = t.toUInt(&ok, 16);
    if (!ok || t.isEmpty() || value > 0xFF)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

std::optional<uint8_t> fpgaKeySetting()
{
    return parseFpgaKey(shell::readText(QString::fromLatin1(kFpgaKeySetting), QStringLiteral("0xa5")));
}

FpgaFile loadFpgaFile(const QString& path)
{
    FpgaFile file;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return file;
    // Never more than one byte beyond the area: a device file or a huge
    // file is found too large without being read whole.
    file.bytes = f.read(kFpgaAreaSize + 1);
    file.size = file.bytes.size();
    if (f.error() != QFileDevice::NoError) {
        file.bytes.clear();
        return file;
    }
    if (file.size == 0) {
        file.status = FpgaFile::Empty;
    } else if (file.size > static_cast<qint64>(kFpgaAreaSize)) {
        file.status = FpgaFile::TooLarge;
        file.size = std::max(file.size, f.size());
        file.bytes.clear();
    } else {
        file.status = FpgaFile::Ok;
    }
    return file;
}

int fpgaChunkCount(qint64 size)
{
    return static_cast<int>((size + kFpgaChunk - 1) / kFpgaChunk);
}

int fpgaPercent(int chunk, int chunks)
{
    if (chunks <= 0)
        return 0;
    return std::clamp((chunk + 1) * 100 / chunks, 0, 100);
}

int fpgaSectorCount(qint64 size)
{
    return static_cast<int>((size + device::flash::kSectorSize - 1) / device::flash::kSectorSize);
}

std::vector<FlashPiece> flashPieces(uint32_t offset, int length)
{
    std::vector<FlashPiece> pieces;
    while (length > 0) {
        const int toPageEnd = static_cast<int>(kFlashPage - offset % kFlashPage);
        const int n = std::min({length, toPageEnd, kFlashCommandMax});
        pieces.push_back({offset, n});
        offset += static_cast<uint32_t>(n);
        length -= n;
    }
    return pieces;
}

} // namespace tovrin::maintenance
