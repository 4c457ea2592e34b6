#pragma once
// Erase, dump and fill of the first 128 KB of one unit's flash (offsets
// 0x00000-0x1FFFF, 32 sectors of 4096 bytes), run by FlashJobThread. The
// caller switches the frame to calibration mode before and back to work mode
// after, as for every job that touches flash.
//
//   erase: the 32 sectors, one request each, stopping at the first failure;
//   dump:  32 reads of 4096 bytes into a file, written beside the target
//          and renamed over it only when complete (a full disk or a folder
//          that cannot be written leaves no half dump, and is said so);
//   fill:  for each sector: erase it, then write its 4096 bytes as 128
//          writes of 32 bytes in address order (16 pages of 256 bytes), the
//          sector's first word written last (fillPlan); then the whole image
//          is read back. The file must be a whole flash image of exactly
//          131072 bytes; it is read and checked before anything is erased.

#include "ServiceWorker.h"

#include "device/UnitAddress.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace tovrin::maintenance {

constexpr uint32_t kFlashImageSize = device::flash::kSize;  // 131072
constexpr int kFlashSectors = static_cast<int>(device::flash::kSize / device::flash::kSectorSize);
constexpr int kFillPiece = 32;
constexpr int kFillHead = 4;  // the first word of a sector: a record's valid mark

// The writes of a fill, in the order they go out.
struct FillWrite {
    uint32_t offset = 0;
    int length = 0;
    bool headErased = false;  // the piece's first word goes as FF FF FF FF
};
struct FillStep {
    std::optional<uint32_t> eraseSector;  // erased before the writes
    std::vector<FillWrite> writes;
    int sectorsDone = 0;                  // > 0: progress to report after the step
};
// Sector by sector, each sector's first word after its other bytes, and the
// first page of the FPGA area after the rest of that area.
std::vector<FillStep> fillPlan();

// A flash image file for a fill.
struct FlashImageFile {
    enum Status { Ok, CannotOpen, WrongSize };
    Status status = CannotOpen;
    QByteArray bytes;  // kFlashImageSize bytes when Ok
    qint64 size = 0;
};
FlashImageFile loadFlashImage(const QString& path);

enum class FlashJobKind { Erase, Dump, Fill };

namespace flashjob {
constexpr int Done = 70;         // the job completed
constexpr int EraseFail = 71;    // number: sector offset
constexpr int ReadFail = 72;     // number: block offset
constexpr int WriteFail = 73;    // number: flash offset
constexpr int FileFail = 74;     // the dump file cannot be written (detail: path)
constexpr int Progress = 75;     // number: sectors done (0-32)
constexpr int VerifyFail = 76;   // the flash does not read back the image (number: flash offset)
} // namespace flashjob

class FlashJobThread : public ServiceWorker {
    Q_OBJECT
public:
    explicit FlashJobThread(QObject* parent = nullptr);
    ~FlashJobThread() override;  // stops and waits

    // Set before start(). For a fill, image holds the checked file.
    void setErase(device::Unit unit);
    void setDump(device::Unit unit, const QString& path);
    void setFill(device::Unit unit, const QByteArray& image);

    FlashJobKind kind() const;
    device::Unit unit() const;

protected:
    void work() override;

private:
    using ServiceWorker::report;
    void report(int code, int number = 0, const QString& detail = {});
    void runErase(device::Unit unit);
    void runDump(device::Unit unit, const QString& path);
    void runFill(device::Unit unit, const QByteArray& image);

    mutable std::mutex m_mutex;
    FlashJobKind m_kind = FlashJobKind::Erase;
    device::Unit m_unit = device::Unit::Master;
    QString m_path;
    QByteArray m_image;
};

} // namespace tovrin::maintenance
