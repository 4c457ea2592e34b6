#pragma once
// The record journal's offer: when the frame's calibration or screen records
// read as invalid and the journal holds what an unfinished write replaced,
// the operator is asked whether to put it back (Restore / Keep). The frame
// is in calibration mode; the caller switched it.

class QWidget;

namespace tovrin::calib::ui {

enum class RestoreOutcome {
    NothingToOffer,  // no record invalid with an unfinished write behind it
    Kept,            // the operator kept the frame as it is
    Restored,        // every record of the plan was written back and read back
    Failed           // a restore write failed (the record reads as invalid)
};

RestoreOutcome offerJournalRestore(QWidget* parent);

} // namespace tovrin::calib::ui
