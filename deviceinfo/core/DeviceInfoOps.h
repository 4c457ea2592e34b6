#pragma once
// Reading and writing the device information record of both units, and the
// worker that runs a read, or a whole write away from the window:
//
//   1. checks, before anything is written, that DeviceInfo.ini can hold
//      every typed text and where the workbook rows will go (XlsExport.h);
//      a refusal there writes nothing;
//   2. writes both units (below) and reads both back: done only when they
//      hold exactly the records written;
//   3. then saves DeviceInfo.ini and appends the two rows.
// A frame lost on the way leaves DeviceInfo.ini and the workbook as they were.
//
// Write order per unit (Master, then Slave with the next device ID): read
// the current record (its device ID becomes the unit's previous ID), erase
// the sector at 0x1F000, write the fields and padding as four 32-byte writes
// at 0x1F004, 0x1F024, 0x1F044, 0x1F064, then the magic at 0x1F000. The
// magic comes last, so an interrupted write leaves the record invalid,
// never valid and wrong. A failure stops the write where it is (a failed
// Slave write leaves the new Master record in place) and is said so.

#include "DeviceInfoRecord.h"
#include "SpreadsheetRow.h"
#include "XlsExport.h"

#include "device/UnitAddress.h"
#include "jobs/Worker.h"

#include <QLoggingCategory>
#include <QMetaType>

#include <atomic>
#include <mutex>
#include <optional>

namespace tovrin::deviceinfo {

// The debug lines of the spreadsheet export (start and end times, text lengths).
Q_DECLARE_LOGGING_CATEGORY(exportLog)

struct UnitInfoRead {
    enum Status { ReadFailed, NoMagic, Ok };
    Status status = ReadFailed;
    std::optional<DeviceInfo> info;
};
UnitInfoRead readUnitInfo(device::Unit unit);

struct BothRead {
    UnitInfoRead master;
    UnitInfoRead slave;
    QString status;  // "Read success!\n", or the failure texts of the units
};
BothRead readBothUnits();

struct WriteOutcome {
    bool ok = false;
    QString status;  // the failure text ("Write Slave failed (Erase Slave)!\n") when not ok
    DeviceInfo master;
    DeviceInfo slave;
    uint32_t previousMaster = 0;
    uint32_t previousSlave = 0;
    bool masterWritten = false;
};
// master.deviceId must be even (parseInput makes it so).
WriteOutcome writeBothUnits(const DeviceInfo& master);

struct DeviceInfoJobResult {
    bool isWrite = false;
    WriteOutcome write;       // write jobs; ok only once both units read back what was written
    bool verified = false;    // the read-back holds exactly the records written
    bool frameLost = false;   // the frame stopped answering during the job
    bool iniSaved = false;
    BothRead read;            // the read, or the read-back after a write
    bool exported = false;
    ExportOutcome exportOutcome;
    QString status;           // the dialog's status text
};

// A read or a write runs to its end once started (a write cut short would
// leave the frame and DeviceInfo.ini apart); stop requests are not looked at.
class DeviceInfoThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit DeviceInfoThread(QObject* parent = nullptr);
    ~DeviceInfoThread() override;

    void setRead();
    // typed: the eleven texts as typed (they go to the INI file whole).
    void setWrite(const DeviceInfo& master, const QStringList& typed, const UnitImage& masterImage,
                  const UnitImage& slaveImage, const QString& iniFile, const QString& workbookPath);

Q_SIGNALS:
    // In the worker object's thread (the window's), once the run has ended:
    // the result is handed over by the end of the run, not copied across
    // threads under Qt's own lock, which a race checker cannot see.
    void sendResult(const tovrin::deviceinfo::DeviceInfoJobResult& result);

protected:
    void work() override;

private:
    DeviceInfoJobResult runWrite();

    std::mutex m_mutex;
    bool m_write = false;
    DeviceInfo m_master;
    QStringList m_typed;
    UnitImage m_masterImage;
    UnitImage m_slaveImage;
    QString m_iniFile;
    QString m_workbookPath;
    // Written by the run as its last act; read once it has ended.
    DeviceInfoJobResult m_result;
};

} // namespace tovrin::deviceinfo

Q_DECLARE_METATYPE(tovrin::deviceinfo::DeviceInfoJobResult)
