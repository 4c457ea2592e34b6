#pragma once
// Evaluating and storing a key calibration. The image windows of both
// cameras must cover the keys as well as the picture: the corner search runs
// over the area the keys span, the last image line widens the windows over
// columns that are still bright, the windows are checked, and the records
// are stored Slave first (key layout, solution copy, widened window), then
// Master (widened window).
//
// Every record is written so that an interruption leaves it invalid rather
// than valid and wrong; a write that fails part-way puts the previous record
// of every unit already touched back (the one that failed too) while the
// frame still answers.

#include "calibration/math/Evaluation.h"
#include "keys/core/KeyRectangles.h"
#include "records/CalibrationRecord.h"

#include <array>
#include <cstdint>
#include <functional>

namespace tovrin::keys {

enum class StoreResult {
    Stored,
    Rejected,       // the windows failed the check: nothing was written
    DeviceFailure,  // a transaction failed (or the frame was lost)
    Stopped,        // the run was told to stop: nothing more was written
};

struct StoreHooks {
    std::function<void(int percent)> progress;
    std::function<bool()> stopRequested;  // also true when the frame is gone
};

// The window check of a key calibration: per unit END > START, and START <
// 320 < END. (The scale is not checked: the solution is the stored one.)
bool acceptKeyWindows(const calib::CornerWindow& w);

// Corner search over the key area, image read and widening, check, and the
// storage of both records. `slave` is the Slave record as read before the
// run, with the key layout already applied (applyKeyLayout);
// `previousSlave` and `previousMaster` are both units' records as they are
// in flash, read and checked (both hold a touch calibration) before
// anything was written.
StoreResult evaluateAndStore(records::CalInfo& slave, const records::CalInfo& previousSlave,
                             const records::CalInfo& previousMaster, const KeyArea& area,
                             const calib::TouchMapper& mapper, const StoreHooks& hooks);

} // namespace tovrin::keys
