#include "FlashJob.h"

#include "FpgaDownload.h"

#include "device/UnitOps.h"
#include "shell/Log.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <span>

namespace tovrin::maintenance {

using device::Unit;
using device::flash::kSectorSize;

namespace {
const char* nameOf(Unit unit) { return unit == Unit::Slave ? "Slave" : "Master"; }
} // namespace

FlashImageFile loadFlashImage(const QString& path)
{
    FlashImageFile image;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return image;
    image.bytes = f.read(kFlashImageSize + 1);
    image.size = std::max<qint64>(image.bytes.size(), f.size());
    if (f.error() != QFileDevice::NoError) {
        image.bytes.clear();
        return image;
    }
    if (image.bytes.size() != static_cast<qsizetype>(kFlashImageSize)) {
        image.status = FlashImageFile::WrongSize;
        image.bytes.clear();
        return image;
    }
    image.status = FlashImageFile::Ok;
    return image;
}

FlashJobThread::FlashJobThread(QObject* parent)
    : ServiceWorker(parent)
{
}

FlashJobThread::~FlashJobThread() { stopAndWait(); }

void FlashJobThread::setErase(Unit unit)
{
    std::lock_guard lock(m_mutex);
    m_kind = FlashJobKind::Erase;
    m_unit = unit;
}

void FlashJobThread::setDump(Unit unit, const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_kind = FlashJobKind::Dump;
    m_unit = unit;
    m_path = path;
}

void FlashJobThread::setFill(Unit unit, const QByteArray& image)
{
    std::lock_guard lock(m_mutex);
    m_kind = FlashJobKind::Fill;
    m_unit = unit;
    m_image = image;
}

FlashJobKind FlashJobThread::kind() const
{
    std::lock_guard lock(m_mutex);
    return m_kind;
}

Unit FlashJobThread::unit() const
{
    std::lock_guard lock(m_mutex);
    return m_unit;
}

void FlashJobThread::report(int code, int number, const QString& detail)
{
    ServiceReport r;
    r.code = code;
    r.unit = QString::fromLatin1(nameOf(unit()));
    r.number = number;
    r.detail = detail;
    report(r);
}

void FlashJobThread::work()
{
    FlashJobKind kind;
    Unit unit;
    QString path;
    QByteArray image;
    {
        std::lock_guard lock(m_mutex);
        kind = m_kind;
        unit = m_unit;
        path = m_path;
        image = m_image;
    }
    switch (kind) {
    case FlashJobKind::Erase:
        return runErase(unit);
    case FlashJobKind::Dump:
        return runDump(unit, path);
    case FlashJobKind::Fill:
        return runFill(unit, image);
    }
}

void FlashJobThread::runErase(Unit unit)
{
    for (int s = 0; s < kFlashSectors; ++s) {
        if (stopped())
            return;
        const uint32_t offset = static_cast<uint32_t>(s) * kSectorSize;
        if (!device::EraseBlock(device::flashAddress(unit, offset))) {
            shell::LogF("Erase Flash: %s sector 0x%05x failed!\n", nameOf(unit), offset);
            if (device::g_bDevExist.load() != 0)
                report(flashjob::EraseFail, static_cast<int>(offset));
            return;
        }
        report(flashjob::Progress, s + 1);
    }
    report(flashjob::Done);
}

void FlashJobThread::runDump(Unit unit, const QString& path)
{
    // The target is opened before the frame is read: a folder that cannot
    // be written is found before any work is done.
    QSaveFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly)) {
        report(flashjob::FileFail, 0, path);
        return;
    }
    std::array<uint8_t, kSectorSize> block;
    for (int s = 0; s < kFlashSectors; ++s) {
        if (stopped()) {
            file.cancelWriting();
            return;
        }
        const uint32_t offset = static_cast<uint32_t>(s) * kSectorSize;
        if (!device::ReadToBuffer(device::flashAddress(unit, offset), static_cast<int>(kSectorSize), block)) {
            file.cancelWriting();
            shell::LogF("Read Flash: %s block 0x%05x failed!\n", nameOf(unit), offset);
            if (device::g_bDevExist.load() != 0)
                report(flashjob::ReadFail, static_cast<int>(offset));
            return;
        }
        if (file.write(reinterpret_cast<const char*>(block.data()), kSectorSize) != static_cast<qint64>(kSectorSize)) {
            file.cancelWriting();
            report(flashjob::FileFail, 0, path);
            return;
        }
        report(flashjob::Progress, s + 1);
    }
    if (!file.commit()) {
        report(flashjob::FileFail, 0, path);
        return;
    }
    report(flashjob::Done);
}

void FlashJobThread::runFill(Unit unit, const QByteArray& image)
{
    if (image.size() != static_cast<qsizetype>(kFlashImageSize))
        return;  // the caller checks the file; a wrong image never reaches the frame
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(image.constData()), kFlashImageSize);
    const auto write = [&](uint32_t at, std::span<const uint8_t> data) {
        if (device::WriteFromBuffer(device::flashAddress(unit, at), data))
            return true;
        shell::LogF("Write Flash: %s 0x%05x failed!\n", nameOf(unit), at);
        if (device::g_bDevExist.load() != 0)
            report(flashjob::WriteFail, static_cast<int>(at));
        return false;
    };
    const auto writeAll = [&](const std::vector<FillWrite>& writes) {
        for (const FillWrite& w : writes) {
            if (stopped())
                return false;
            std::array<uint8_t, kFillPiece> piece;
            std::copy_n(bytes.begin() + w.offset, w.length, piece.begin());
            if (w.headErased)
                std::fill_n(piece.begin(), kFillHead, uint8_t{0xFF});
            if (!write(w.offset, std::span<const uint8_t>(piece).first(static_cast<size_t>(w.length))))
                return false;
        }
        return true;
    };
    for (const FillStep& step : fillPlan()) {
        if (stopped())
            return;
        if (step.eraseSector) {
            const uint32_t sector = *step.eraseSector;
            if (!device::EraseBlock(device::flashAddress(unit, sector))) {
                shell::LogF("Write Flash: erasing %s sector 0x%05x failed!\n", nameOf(unit), sector);
                if (device::g_bDevExist.load() != 0)
                    report(flashjob::EraseFail, static_cast<int>(sector));
                return;
            }
        }
        if (!writeAll(step.writes))
            return;
        if (step.sectorsDone > 0)
            report(flashjob::Progress, step.sectorsDone);
    }
    // The fill is done only when the unit reads back the whole image.
    std::array<uint8_t, kSectorSize> block;
    for (uint32_t at = 0; at < kFlashImageSize; at += kSectorSize) {
        if (stopped())
            return;
        if (!device::ReadToBuffer(device::flashAddress(unit, at), static_cast<int>(kSectorSize), block)) {
            shell::LogF("Write Flash: reading %s 0x%05x back failed!\n", nameOf(unit), at);
            if (device::g_bDevExist.load() != 0)
                report(flashjob::ReadFail, static_cast<int>(at));
            return;
        }
        const auto expected = bytes.subspan(at, kSectorSize);
        const auto mismatch = std::mismatch(block.begin(), block.end(), expected.begin());
        if (mismatch.first != block.end()) {
            const uint32_t offset = at + static_cast<uint32_t>(mismatch.first - block.begin());
            shell::LogF("Write Flash: %s 0x%05x reads back 0x%02x, 0x%02x was written!\n", nameOf(unit), offset,
                        *mismatch.first, *mismatch.second);
            report(flashjob::VerifyFail, static_cast<int>(offset));
            return;
        }
    }
    report(flashjob::Done);
}

std::vector<FillStep> fillPlan()
{
    // Sector by sector: erased, then its 32-byte pieces in address order,
    // except that each sector's first word (where every record keeps its
    // valid mark) is written as FF FF FF FF with the first piece and for
    // real after the last one, so that a fill cut short never leaves a
    // valid-looking record over a half-written sector. The first page of the
    // FPGA area (where the FPGA looks for the sync word of its
    // configuration) waits until the whole area is written, for the same reason.
    std::vector<FillStep> plan;
    std::vector<FillWrite> fpgaHead;
    for (int s = 0; s < kFlashSectors; ++s) {
        const uint32_t sector = static_cast<uint32_t>(s) * kSectorSize;
        FillStep step;
        step.eraseSector = sector;
        step.sectorsDone = s + 1;
        const bool fpgaStart = sector == device::flash::kFpgaArea;
        std::vector<FillWrite>& head = fpgaStart ? fpgaHead : step.writes;
        head.push_back({sector, kFillPiece, true});
        for (uint32_t at = sector + kFillPiece; at < sector + kSectorSize; at += kFillPiece)
            (fpgaStart && at < sector + kFpgaHeadPage ? fpgaHead : step.writes).push_back({at, kFillPiece, false});
        head.push_back({sector, kFillHead, false});
        plan.push_back(std::move(step));
        if (sector + kSectorSize == kFpgaAreaSize) {
            // The page's pieces from its end backwards (whenever a sync word
            // can be found, what follows it is in place), its first word last.
            FillStep last;
            last.writes.assign(fpgaHead.rbegin() + 1, fpgaHead.rend());
            last.writes.push_back(fpgaHead.back());
            plan.push_back(std::move(last));
        }
    }
    return plan;
}

} // namespace tovrin::maintenance
