#include "BurnFPGAThread.h"

#include "FpgaDownload.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tovrin::maintenance {

using device::Unit;

namespace {
// Slave first, then Master.
constexpr std::array<Unit, 2> kPassOrder{Unit::Slave, Unit::Master};

const char* nameOf(Unit unit) { return unit == Unit::Slave ? "Slave" : "Master"; }
} // namespace

BurnFPGAThread::BurnFPGAThread(QObject* parent)
    : QThread(parent)
{
    registerServiceReport();
}

BurnFPGAThread::~BurnFPGAThread()
{
    requestStop();
    wait();
}

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

bool BurnFPGAThread::stopped() const
{
    return m_stop.load() || device::g_bDevExist.load() == 0;
}

void BurnFPGAThread::report(int code, const QString& unit, int number, qint64 size, const QString& detail)
{
    ServiceReport r;
    r.code = code;
    r.unit = unit;
    r.number = number;
    r.size = size;
    r.detail = detail;
    Q_EMIT sendReport(r);
    Q_EMIT sendData(code);
}

void BurnFPGAThread::run()
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

    // Every sector the file covers, Slave then Master.
    const int sectors = fpgaSectorCount(size);
    for (Unit unit : kPassOrder) {
        for (int s = 0; s < sectors; ++s) {
            if (stopped())
                return endRun();
            const uint32_t offset = device::flash::kFpgaArea + static_cast<uint32_t>(s) * device::flash::kSectorSize;
            if (!device::EraseBlock(device::flashAddress(unit, offset))) {
                shell::LogF("FPGA download: erasing %s flash 0x%05x failed!\n", nameOf(unit), offset);
                return endRun();
            }
        }
    }

    const int chunks = fpgaChunkCount(size);
    for (Unit unit : kPassOrder) {
        m_phase = 1;
        RollingKey rolling(*key);
        for (int i = 0; i < chunks; ++i) {
            if (stopped())
                return endRun();
            const qint64 remaining = size - static_cast<qint64>(kFpgaChunk) * i;
            if (remaining <= kFpgaChunk)
                m_phase = 3;
            const int n = static_cast<int>(std::min<qint64>(kFpgaChunk, remaining));
            const uint32_t chunkOffset = static_cast<uint32_t>(kFpgaChunk * i);
            std::vector<uint8_t> bytes(file.bytes.begin() + chunkOffset, file.bytes.begin() + chunkOffset + n);
            rolling.apply(bytes);
            if (i == 0)
                report(fpga::Begin, QString::fromLatin1(nameOf(unit)));
            for (const FlashPiece& piece : flashPieces(chunkOffset, n)) {
                const auto data = std::span<const uint8_t>(bytes).subspan(piece.offset - chunkOffset,
                                                                           static_cast<size_t>(piece.length));
                if (!device::WriteFromBuffer(device::flashAddress(unit, device::flash::kFpgaArea + piece.offset), data)) {
                    shell::LogF("FPGA download: writing %s flash 0x%05x failed!\n", nameOf(unit), piece.offset);
                    if (device::g_bDevExist.load() != 0)
                        report(fpga::WriteFail, QString::fromLatin1(nameOf(unit)), i);
                    return endRun();
                }
            }
            m_chunk = i;
            report(fpga::Chunk, QString::fromLatin1(nameOf(unit)), i);
        }
    }
    if (m_phase == 3 && device::g_bDevExist.load() != 0) {
        shell::LogF("FPGA download: %d chunks written to both units\n", chunks);
        report(fpga::Done, {}, m_chunk.load(), size);
    }
    endRun();
}

} // namespace tovrin::maintenance
