#pragma once
// The device information dialog: both units' records side by side, an input
// column filled from DeviceInfo.ini, and Write, which stores the typed
// record in both units (the Slave with the next device ID), keeps the typed
// texts in DeviceInfo.ini, reads both units back and appends the two rows
// to Tovrin_DeviceInfo.xls in the current folder.
//
// Opened modally by the leveling window's save (with both units' last line
// images and exposure readings for the spreadsheet rows) and by the debug
// page (without them):
//
//     deviceinfo::ReadWriteDeviceInfo dialog(this, {frameM, exposureM}, {frameS, exposureS});
//     dialog.exec();
//
// A frame buffer is the 7040-byte last-frame copy of its unit (empty when
// there is none); an exposure reading is the unit's exposure word.

#include "deviceinfo/core/DeviceInfoRecord.h"
#include "deviceinfo/core/SpreadsheetRow.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tovrin::deviceinfo {

class DeviceInfoThread;
struct DeviceInfoJobResult;

class ReadWriteDeviceInfo : public QDialog {
    Q_OBJECT
public:
    explicit ReadWriteDeviceInfo(QWidget* parent = nullptr, const UnitImage& master = {}, const UnitImage& slave = {});
    ~ReadWriteDeviceInfo() override;

    QString statusText() const;
    QLineEdit* inputEdit(int field) const { return m_input.at(static_cast<size_t>(field)); }
    QLineEdit* masterEdit(int field) const { return m_master.at(static_cast<size_t>(field)); }
    QLineEdit* slaveEdit(int field) const { return m_slave.at(static_cast<size_t>(field)); }
    bool isBusy() const;

public Q_SLOTS:
    void ReadSlot();
    void WriteSlot();

Q_SIGNALS:
    // A read or write has ended (its result is shown).
    void jobFinished();

protected:
    // While a read or write runs the dialog stays open (Escape, close,
    // reject): the job runs to its end, and nothing waits for it.
    void done(int result) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setBusy(bool busy);
    void showStatus(const QString& text);
    void onResult(const DeviceInfoJobResult& result);
    void fillColumn(std::array<QLineEdit*, kFieldCount>& column, const std::optional<DeviceInfo>& info);

    QLabel* m_statusLabel = nullptr;
    QPushButton* m_readButton = nullptr;
    QPushButton* m_writeButton = nullptr;
    std::array<QLineEdit*, kFieldCount> m_input{};
    std::array<QLineEdit*, kFieldCount> m_master{};
    std::array<QLineEdit*, kFieldCount> m_slave{};
    UnitImage m_masterImage;
    UnitImage m_slaveImage;
    DeviceInfoThread* m_thread = nullptr;
};

} // namespace tovrin::deviceinfo
