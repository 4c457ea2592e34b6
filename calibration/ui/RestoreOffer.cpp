#include "calibration/ui/RestoreOffer.h"

#include "records/RecordJournal.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/MyMessageBox.h"

namespace tovrin::calib::ui {

namespace {
constexpr int kWarning = 117, kRestore = 153, kKeep = 154, kRestoreQuestion = 155;
}

RestoreOutcome offerJournalRestore(QWidget* parent)
{
    // Only an unfinished write in the journal is worth asking the frame about.
    if (!records::journalHasOpenEntries())
        return RestoreOutcome::NothingToOffer;
    const std::vector<records::JournalEntry> plan = records::restorePlan(records::checkRecords());
    if (plan.empty())
        return RestoreOutcome::NothingToOffer;
    const shell::AppContext& c = shell::context();
    widgets::MyMessageBox::setAnswer(widgets::MyMessageBox::AnswerCancel);
    widgets::MyMessageBox ask(parent, c.text(kWarning), c.text(kRestoreQuestion), 1, 2, c.text(kRestore), c.text(kKeep));
    if (widgets::MyMessageBox::answer() != widgets::MyMessageBox::AnswerOk)
        return RestoreOutcome::Kept;
    bool restored = true;
    for (const records::JournalEntry& e : plan)
        restored = records::restoreEntry(e) && restored;
    shell::LogF("journal: %s\n", restored ? "the replaced records were restored" : "a restore failed");
    return restored ? RestoreOutcome::Restored : RestoreOutcome::Failed;
}

} // namespace tovrin::calib::ui
