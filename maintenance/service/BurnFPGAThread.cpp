#include "BurnFPGAThread.h"

#include "FpgaDownload.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace tovrin::maintenance {

using device::Unit;

namespace {
// Slave first, then Master.
constexpr std::array<Unit, 2> kPassOrder{Unit::Slave, Unit::Master};

const char* nameOf(Unit unit) { return unit == Unit::Slave ? "Slave" : "Master"; }
} // namespace

BurnFPGAThread::BurnFPGAThread(QObject* parent)
    : ServiceWorker(parent)
{
}

BurnFPGAThread::~BurnFPGAThread() { stopAndWait(); }

void BurnFPGAThread::setFile(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_path = path;
}

void BurnFPGAThread::setKey(uint8_t start)
{
    std::lock_guard lock(m_mutex);
    m_key = start;
}

void BurnFPGAThread::report(int code, const QString& unit, int number, qint64 size, const QString& detail)
{
    ServiceReport r;
    r.code = code;
    r.unit = unit;
    r.number = number;
    r.size = size;
    r.detail = detail;
    report(r);
}

void BurnFPGAThread::work()
{
    m_phase = 1;
    m_chunk = 0;
    QString path;
    int keySetting;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
        keySetting = m_key;
    }
    const auto endRun = [this] { m_phase = 0; };

    // Everything about the input is settled before the first erase.
    std::optional<uint8_t> key;
    if (keySetting >= 0)
        key = static_cast<uint8_t>(keySetting);
    else
        key = fpgaKeySetting();
    if (!key) {
        report(fpga::BadKey, {}, 0, 0,
               shell::readText(QString::fromLatin1(kFpgaKeySetting), QString()));
        return endRun();
    }
    const FpgaFile file = loadFpgaFile(path);
    switch (file.status) {
    case FpgaFile::CannotOpen:
        report(fpga::OpenFail, {}, 0, 0, path);
        return endRun();
    case FpgaFile::Empty:
        report(fpga::Empty, {}, 0, 0, path);
        return endRun();
    case FpgaFile::TooLarge:
        report(fpga::TooLarge, {}, 0, file.size, path);
        return endRun();
    case FpgaFile::Ok:
        break;
    }
    const qint64 size = file.size;
    shell::LogF("FPGA download: %lld bytes, key 0x%02x\n", static_cast<long long>(size), *key);

    // The keyed bytes are the same for both units: the key starts again for each.
    std::vector<uint8_t> keyed(file.bytes.begin(), file.bytes.end());
    RollingKey rolling(*key);
    rolling.apply(keyed);

    const int chunks = fpgaChunkCount(size);
    for (Unit unit : kPassOrder) {
        if (!downloadUnit(unit, keyed, chunks))
            return endRun();
    }
    if (m_phase == 3 && !stopped()) {
        shell::LogF("FPGA download: %d chunks written to both units and read back\n", chunks);
        report(fpga::Done, {}, m_chunk.load(), size);
    }
    endRun();
}

bool BurnFPGAThread::downloadUnit(Unit unit, const std::vector<uint8_t>& keyed, int chunks)
{
    // One unit at a time, so that a download cut short leaves the other
    // unit's configuration as it was. The first flash page, where the FPGA
    // looks for the configuration's sync word, is written last, and from its
    // end backwards: until then the area starts erased and the FPGA refuses
    // it instead of loading half a configuration.
    const QString name = QString::fromLatin1(nameOf(unit));
    const qint64 size = static_cast<qint64>(keyed.size());
    for (int s = 0; s < fpgaSectorCount(size); ++s) {
        if (stopped())
            return false;
        const uint32_t offset = device::flash::kFpgaArea + static_cast<uint32_t>(s) * device::flash::kSectorSize;
        if (!device::EraseBlock(device::flashAddress(unit, offset))) {
            shell::LogF("FPGA download: erasing %s flash 0x%05x failed!\n", nameOf(unit), offset);
            return false;
        }
    }
    const auto write = [&](const FlashPiece& piece, int chunk) {
        const auto data = std::span<const uint8_t>(keyed).subspan(piece.offset, static_cast<size_t>(piece.length));
        if (device::WriteFromBuffer(device::flashAddress(unit, device::flash::kFpgaArea + piece.offset), data))
            return true;
        shell::LogF("FPGA download: writing %s flash 0x%05x failed!\n", nameOf(unit), piece.offset);
        if (device::g_bDevExist.load() != 0)
            report(fpga::WriteFail, name, chunk);
        return false;
    };
    m_phase = 1;
    std::vector<FlashPiece> head;
    for (int i = 0; i < chunks; ++i) {
        if (stopped())
            return false;
        const qint64 remaining = size - static_cast<qint64>(kFpgaChunk) * i;
        if (remaining <= kFpgaChunk)
            m_phase = 3;
        const int n = static_cast<int>(std::min<qint64>(kFpgaChunk, remaining));
        if (i == 0)
            report(fpga::Begin, name);
        for (const FlashPiece& piece : flashPieces(static_cast<uint32_t>(kFpgaChunk * i), n)) {
            if (piece.offset < kFpgaHeadPage)
                head.push_back(piece);
            else if (!write(piece, i))
                return false;
        }
        m_chunk = i;
        if (i + 1 < chunks)
            report(fpga::Chunk, name, i, chunks);
    }
    // Backwards: whenever a sync word can be found, everything after it is
    // already in place.
    for (auto piece = head.rbegin(); piece != head.rend(); ++piece) {
        if (stopped() || !write(*piece, 0))
            return false;
    }
    if (stopped())
        return false;
    report(fpga::Chunk, name, chunks - 1, chunks);

    // What the unit holds now must be what was sent.
    std::vector<uint8_t> back(device::flash::kSectorSize);
    for (uint32_t at = 0; at < keyed.size(); at += device::flash::kSectorSize) {
        if (stopped())
            return false;
        const int n = static_cast<int>(std::min<size_t>(device::flash::kSectorSize, keyed.size() - at));
        const auto part = std::span(back).first(static_cast<size_t>(n));
        if (!device::ReadToBuffer(device::flashAddress(unit, device::flash::kFpgaArea + at), n, part)) {
            shell::LogF("FPGA download: reading %s flash 0x%05x back failed!\n", nameOf(unit), at);
            if (device::g_bDevExist.load() != 0)
                report(fpga::VerifyFail, name, static_cast<int>(at), 0, QStringLiteral("read"));
            return false;
        }
        const auto expected = std::span<const uint8_t>(keyed).subspan(at, static_cast<size_t>(n));
        const auto mismatch = std::mismatch(part.begin(), part.end(), expected.begin());
        if (mismatch.first != part.end()) {
            const uint32_t offset = at + static_cast<uint32_t>(mismatch.first - part.begin());
            shell::LogF("FPGA download: %s flash 0x%05x reads back 0x%02x, 0x%02x was written!\n", nameOf(unit),
                        offset, *mismatch.first, *mismatch.second);
            report(fpga::VerifyFail, name, static_cast<int>(offset), 0, QStringLiteral("differs"));
            return false;
        }
    }
    return true;
}

} // namespace tovrin::maintenance
