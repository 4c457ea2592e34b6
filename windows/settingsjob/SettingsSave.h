#pragma once
// Saving the screen information record to both units, as the settings
// window's OK does it:
//   1. calibration mode (one retry after 100 ms);
//   2. read the Slave copy; when it (and the Master copy) already hold the
//      new records, nothing is written: work mode, reset, done;
//   3. Slave: erase, nine 32-byte writes with the magic held back as FF,
//      the magic last; read back and compare;
//   4. Master: the same with its own exposure bytes; read back and compare;
//   5. work mode, then the reset that makes the firmware take the settings.
// The Master copy is never touched when the Slave copy failed. A failure
// leaves the frame in calibration mode for the opener to switch back.
//
// The job runs in SettingsSaveThread (the window) and in tovrin-cli.

#include "records/CalibrationRecord.h"

#include "jobs/Worker.h"

namespace tovrin::settingsjob {

enum class SaveOutcome : int {
    Saved = 0,                // both copies written and read back equal
    Unchanged = 1,            // both units already held the records: nothing written
    CalibrationModeFailed = 2,
    ReadFailed = 3,           // the Slave copy could not be read
    SlaveWriteFailed = 4,
    SlaveMismatch = 5,        // read back different from what was written (or unreadable)
    MasterWriteFailed = 6,
    MasterMismatch = 7,
};

// "Reset failed, please try again!"
constexpr int kResetFailedMessage = 32;

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::CalibrationModeFailed;
    int modeMessageId = -1;   // what the failed mode switch wants shown (142), if anything
    bool frameLost = false;   // the frame stopped answering or is gone
    bool workModeOk = true;   // after a save: work mode and reset succeeded
    bool resetOk = true;
    // Both units hold the records (written now, or already).
    bool succeeded() const { return outcome == SaveOutcome::Saved || outcome == SaveOutcome::Unchanged; }
    // Held, and the frame went back to work mode and took them with the
    // reset: only then is the save done.
    bool complete() const { return succeeded() && workModeOk && resetOk; }
};

// The message a save that is not complete shows: 14 when the frame is gone,
// 142 for a refused mode switch, 18 for a failed read, 118 "Write failure,
// please write again!" for a failed or wrong write, 32 "Reset failed, please
// try again!" when the records are held but the frame did not take work mode
// or the reset. -1 for a complete save.
int saveMessageId(const SaveResult& result);

// Erases the unit's screen record sector and writes the record (magic last).
bool writeScreenRecordChecked(records::UnitId unit, const records::ScreenRecord& record);

// Reads a unit's screen record (the Master copy too, for the read-back).
bool readScreenRecordOf(records::UnitId unit, records::ScreenRecord& out);

SaveResult saveScreenRecords(const records::ScreenRecord& slave, const records::ScreenRecord& master);

// The save runs to its end once started: stop requests are not looked at.
class SettingsSaveThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit SettingsSaveThread(QObject* parent = nullptr);
    ~SettingsSaveThread() override;

    void prepare(const records::ScreenRecord& slave, const records::ScreenRecord& master);
    // After the run has ended (sendData: the SaveOutcome as an int).
    SaveResult result() const;

protected:
    void work() override;

private:
    records::ScreenRecord m_slave;
    records::ScreenRecord m_master;
    SaveResult m_result;
};

} // namespace tovrin::settingsjob
