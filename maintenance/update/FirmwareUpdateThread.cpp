#include "FirmwareUpdateThread.h"

#include "ByteOrder.h"
#include "UpdateSteps.h"
#include "device/FrameHold.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <array>

namespace tovrin::update {

namespace {
constexpr int kProgressBeforeFirmware = 8;
constexpr int kProgressAtEnd = 99;
constexpr int kPauseBeforeFirmwareMs = 2000;
constexpr uint32_t kErasedWord = 0xFFFFFFFFu;

bool connected() { return device::g_bDevExist.load() != 0; }

records::UnitId recordUnit(device::Unit unit)
{
    return unit == device::Unit::Slave ? records::UnitId::Slave : records::UnitId::Master;
}
} // namespace

CFirmwareUpdateThread::CFirmwareUpdateThread(QObject* parent)
    : Worker(parent)
{
}

CFirmwareUpdateThread::~CFirmwareUpdateThread() { stopAndWait(); }

void CFirmwareUpdateThread::setProgress(int percent)
{
    m_progress.store(percent);
    Q_EMIT sendProgress(percent);
    Q_EMIT sendData(code::Progress);
}

void CFirmwareUpdateThread::work()
{
    // The transfer talks to the frame from its first request to its last.
    const device::FrameHold hold;
    m_progress.store(0);
    if (!m_package)
        return;
    if (!connected()) {
        Q_EMIT sendData(code::FrameLost);
        return;
    }
    setProgress(0);
    bool firmwarePaused = false;
    std::vector<device::Unit> magicPending;
    for (const UpdateJob& job : m_package->jobs()) {
        if (stopRequested())
            return;
        if (!connected()) {
            Q_EMIT sendData(code::FrameLost);
            return;
        }
        if (job.kind == JobKind::Firmware && !firmwarePaused) {
            // The boot loader wants a moment after it came up before the
            // first image; A1 and A2 run as a pair behind this one pause.
            firmwarePaused = true;
            setProgress(kProgressBeforeFirmware);
            if (!sleepMsUnless(kPauseBeforeFirmwareMs, stopFlag()))
                return;
        }
        shell::LogF("update: job %s, %u bytes\n", jobName(job.id), job.length);
        if (const int failed = runJob(job)) {
            shell::LogF("update: job %s failed (code %d)\n", jobName(job.id), failed);
            Q_EMIT sendData(failed);
            return;
        }
        if (stopRequested())
            return;
        if (!connected()) {
            Q_EMIT sendData(code::FrameLost);
            return;
        }
        if (job.kind == JobKind::Firmware)
            magicPending.push_back(job.unit);
        if (job.progressAfter >= 0)
            setProgress(job.progressAfter);
    }
    for (device::Unit unit : magicPending) {
        if (stopRequested())
            return;
        if (!connected()) {
            Q_EMIT sendData(code::FrameLost);
            return;
        }
        if (!writeHInfoMagic(unit)) {
            shell::WriteLog("update: HInfo magic failed\n");
            Q_EMIT sendData(code::RequestFailed);
            return;
        }
    }
    setProgress(kProgressAtEnd);
    shell::WriteLog("update: all jobs done\n");
    Q_EMIT sendData(code::Done);
}

int CFirmwareUpdateThread::runJob(const UpdateJob& job)
{
    // The job's bytes come from the file again, and only as they were checked.
    std::vector<uint8_t> data;
    switch (m_package->reread(job.id, data)) {
    case UpdatePackage::Reread::Same:
        break;
    case UpdatePackage::Reread::Unreadable:
        return code::CannotOpen;
    case UpdatePackage::Reread::Missing:
        shell::WriteLog("update: the package file is gone\n");
        return code::RequestFailed;
    case UpdatePackage::Reread::Changed:
        shell::WriteLog("update: the package file changed\n");
        return code::RequestFailed;
    }
    return job.kind == JobKind::FlashData ? sendFlashDataJob(job, data) : sendImageJob(job, data);
}

int CFirmwareUpdateThread::sendImageJob(const UpdateJob& job, const std::vector<uint8_t>& data)
{
    const device::Unit unit = job.unit;
    // The sector of the record the image belongs to is read and erased
    // before the image goes out: HInfo for the firmware, the image
    // information for the second image. The boot loader version shares the
    // image information sector and is written back with the new image version.
    uint32_t bootLoaderVersion = kErasedWord;
    if (job.kind == JobKind::Firmware) {
        std::array<uint8_t, 60> hinfo{};
        if (!readHInfoArea(unit, hinfo) || !eraseSector(unit, device::flash::kImageInfo))
            return code::RequestFailed;
    } else {
        if (!readImageInformation(unit))
            return code::RequestFailed;
        bootLoaderVersion = records::g_BootloaderVersion[unit == device::Unit::Slave ? 1 : 0].load();
        if (bootLoaderVersion == kErasedWord) {
            // An update cut off between this sector's erase and its write
            // left it erased: the journal's copy still knows the boot loader.
            const std::optional<records::JournalEntry> saved =
                records::unfinishedWrite(records::journalFrameName(), recordUnit(unit), records::RecordKind::Version);
            if (saved && saved->valid())
                bootLoaderVersion = readU32le(saved->bytes.data() + 4);
        }
        if (!records::journalBeforeErase(recordUnit(unit), records::RecordKind::Version)
            || !eraseSector(unit, device::flash::kVersionRecord))
            return code::RequestFailed;
    }
    if (!sendImage(job.kind, unit, data, [this] { Q_EMIT sendData(code::FirstPacket); }))
        return code::RequestFailed;
    // The firmware's HInfo gets its magic after all jobs (run()).
    if (job.kind == JobKind::Firmware)
        return writeHInfoBody(unit, job.version) ? 0 : code::RequestFailed;
    if (!writeImageInformation(unit, job.version, bootLoaderVersion))
        return code::RequestFailed;
    records::journalWritten(recordUnit(unit), records::RecordKind::Version);
    return 0;
}

int CFirmwareUpdateThread::sendFlashDataJob(const UpdateJob& job, const std::vector<uint8_t>& data)
{
    return writeFlashData(job.unit, job.destination, data) ? 0 : code::RequestFailed;
}

} // namespace tovrin::update
