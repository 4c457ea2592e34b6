#include "calibration/ui/RestoreOffer.h"

#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/MyMessageBox.h"

namespace tovrin::calib::ui {

namespace {
constexpr int kWarning = 117, kRestore = 153, kKeep = 154, kRestoreQuestion = 155;
}

std::vector<records::JournalEntry> journalRestorePlan()
{
    // Only an unfinished write in the journal is worth asking the frame about.
    if (!records::journalHasOpenEntries())
        return {};
    return records::restorePlan(records::checkRecords());
}

bool askToRestore(QWidget* parent)
{
    const shell::AppContext& c = shell::context();
    widgets::MyMessageBox::setAnswer(widgets::MyMessageBox::AnswerCancel);
    widgets::MyMessageBox ask(parent, c.text(kWarning), c.text(kRestoreQuestion), 1, 2, c.text(kRestore), c.text(kKeep));
    return widgets::MyMessageBox::answer() == widgets::MyMessageBox::AnswerOk;
}

RestoreOutcome restoreJournal(const std::vector<records::JournalEntry>& plan)
{
    bool restored = true;
    for (const records::JournalEntry& e : plan)
        restored = records::restoreEntry(e) && restored;
    shell::LogF("journal: %s\n", restored ? "the replaced records were restored" : "a restore failed");
    return restored ? RestoreOutcome::Restored : RestoreOutcome::Failed;
}

} // namespace tovrin::calib::ui
