#pragma once
// The record journal's offer: when the frame's calibration or screen records
// read as invalid and the journal holds what an unfinished write replaced,
// the operator is asked whether to put it back (Restore / Keep). The frame
// is in calibration mode; the caller switched it.
//
// A window never waits for the frame: it reads the plan and writes it back
// in a worker (journalRestorePlan, restoreJournal) and asks in between
// (askToRestore).

#include "records/RecordJournal.h"

#include <vector>

class QWidget;

namespace tovrin::calib::ui {

enum class RestoreOutcome {
    Restored,  // every record of the plan was written back and read back
    Failed     // a restore write failed (the record reads as invalid)
};

// What would be written back; empty when there is nothing to offer. Reads
// the frame's records only when the journal has an unfinished write.
std::vector<records::JournalEntry> journalRestorePlan();
// Asks the operator; true: restore.
bool askToRestore(QWidget* parent);
// Writes the plan back and logs how it went.
RestoreOutcome restoreJournal(const std::vector<records::JournalEntry>& plan);

} // namespace tovrin::calib::ui
