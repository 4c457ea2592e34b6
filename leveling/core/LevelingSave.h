#pragma once
// Storing an accepted leveling (Save&Exit).
//
// 1. Extended-frame device: the leveling settings record (TEST_PARA of the
//    INI, bytes 8..11 kept from the Master's record) goes to both units,
//    Master then Slave, and is read back. With the image-debug panel on and
//    a Master record that already starts with "TEST", both stay as they are.
// 2. The screen information record, Slave then Master: a valid Slave record
//    gets the touch type and right-click settings of the INI, an invalid one
//    is rebuilt from defaults; the Master copy carries the Master's exposure
//    time and gain.
//
// Every INI value is checked before the frame is touched: one that does not
// fit its byte refuses the save. A save that fails after it has erased a
// record puts every record it changed back as it was (erase, then the old
// bytes with the first word last); only a frame that stops answering can
// leave a record erased, and then it reads as invalid, never as wrong.

#include "records/CalibrationRecord.h"

#include <optional>

namespace tovrin::leveling {

struct SaveResult {
    enum class Step {
        None,
        BadSettings,        // an INI value does not fit its field
        ReadSettings,       // reading a leveling settings record
        WriteSettings,      // erasing, writing or reading back a leveling settings record
        ReadScreen,         // reading a screen record
        WriteScreenSlave,
        WriteScreenMaster,
    };
    bool ok = false;
    Step failedAt = Step::None;
    bool restored = false;  // the changed records were put back (after a failure)
};

SaveResult saveLeveling(bool extended, bool adjustDebug);

// The screen record the save writes for the Slave, from the record read and
// the INI; nothing when an INI value does not fit its byte.
std::optional<records::ScreenRecord> slaveScreenRecord(const records::ScreenRecord& read);
// The Master copy made from the Slave copy; nothing when an INI value does not fit.
std::optional<records::ScreenRecord> masterScreenRecord(const records::ScreenRecord& slave);

} // namespace tovrin::leveling
