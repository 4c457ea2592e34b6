#pragma once
// After a solve: which sensor columns of each camera see the screen (the
// corner search, widened by each unit's last image line), the acceptance
// test, and the new calibration records of both units.
//
// Storage order: both records are read (to keep what the calibration does
// not change), both are erased, then the Slave record is written and read
// back, then the Master record. With the validity word written last, an
// interruption at any transaction leaves each record either as it was or
// invalid, and never one unit valid with the new calibration while the
// other is still valid with the old one. A record that reads back other
// than written is erased: invalid, never valid-looking and wrong. A stop
// request is honoured up to the erase; after it the save runs to its end,
// so that closing the window never leaves the frame without calibration.

#include "calibration/math/Evaluation.h"
#include "calibration/math/Solver.h"
#include "calibration/run/FrameImages.h"
#include "records/CalibrationRecord.h"

#include <functional>
#include <string>

namespace tovrin::calib {

struct ImageWindows {
    int leftStart = 0;   // Master
    int leftEnd = 0;
    int rightStart = 0;  // Slave
    int rightEnd = 0;
};

enum class StoreOutcome {
    Stored,    // both records written and read back as written
    Rejected,  // the result failed a check: nothing was erased or written
    Failed,    // a transaction failed, or the run was interrupted
};

struct StoreSteps {
    // Asked before every step: device lost, stop request, mode switched.
    std::function<bool()> interrupted;
    std::function<void(int percent)> progress;
};

struct StoreResult {
    StoreOutcome outcome = StoreOutcome::Failed;
    ImageWindows windows;
    std::string reason;           // why it was rejected or failed (log text)
    records::CalInfo slave;       // the records as read back (when stored)
    records::CalInfo master;
    double cornerMs = 0.0;        // the corner search
    double storeMs = 0.0;         // from reading the records to the last read-back
};

// The new record of one unit: the record read from it with the solution
// block, screen size, lens table and image window of this calibration and
// the shortcut-key layout cleared.
records::CalInfo buildCalibrationRecord(const records::CalInfo& read, const records::StClbInfo& block, int width,
                                        int height, int variantFlag, int start, int end);

StoreResult evaluateAndStore(const TouchMapper& mapper, const records::StClbInfo& block, int width, int height,
                             int variantFlag, FrameImages& images, const StoreSteps& steps);

} // namespace tovrin::calib
