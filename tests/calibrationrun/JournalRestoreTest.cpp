// The host-side journal behind the calibration store: a frame pulled at
// every output report of the store, plugged in again, is given back what it
// held by a restore from the journal, and a clean rerun of the store then
// succeeds. No record ever holds anything that was not once written whole,
// and the two units never end up with different calibrations.

#include "RunFixture.h"

#include "records/RecordJournal.h"
#include "tests/support/FrameLink.h"

#include <QDir>

namespace tovrin::calib::test {
namespace {

class JournalRestore : public StoreFixture {
protected:
    // What `tovrin-cli records restore` does.
    int restore()
    {
        int restored = 0;
        for (const records::JournalEntry& e : records::restorePlan(records::checkRecords())) {
            EXPECT_TRUE(records::restoreEntry(e));
            ++restored;
        }
        return restored;
    }
};

TEST_F(JournalRestore, PulledAtEveryReportOfTheStoreTheJournalGivesBackTheRecords)
{
    const Solved solved = solveFactoryFrame(frame->fingers());
    const uint64_t before = frame->outputReports();
    ASSERT_EQ(store(solved).outcome, StoreOutcome::Stored);
    const uint64_t reports = frame->outputReports() - before;
    const auto newMaster = recordBytes(*frame, sim::Unit::Master);
    const auto newSlave = recordBytes(*frame, sim::Unit::Slave);
    ASSERT_NE(newSlave, oldSlave);

    int restores = 0;
    for (uint64_t k = 1; k <= reports; ++k) {
        SCOPED_TRACE(k);
        QDir(records::journalFolder()).removeRecursively();
        plugFactoryFrame();
        frame->vanishAtOutputReport(k);
        ASSERT_NE(store(solved).outcome, StoreOutcome::Stored);
        frame->clearFaults();
        frame->plug();
        ASSERT_TRUE(tovrin::test::openInCalibrationMode());  // found again after it was plugged in

        restores += restore() > 0;
        const auto m = recordBytes(*frame, sim::Unit::Master);
        const auto s = recordBytes(*frame, sim::Unit::Slave);
        // Both records valid and whole, and of one calibration.
        EXPECT_TRUE(m == oldMaster || m == newMaster);
        EXPECT_TRUE(s == oldSlave || s == newSlave);
        EXPECT_EQ(m == newMaster, s == newSlave);
        for (const records::RecordState& r : records::checkRecords())
            EXPECT_TRUE(r.valid) << records::unitText(r.unit) << ' ' << records::placeOf(r.kind).name;

        // A clean rerun stores the new calibration.
        const StoreResult again = store(solved);
        EXPECT_EQ(again.outcome, StoreOutcome::Stored) << again.reason;
        EXPECT_EQ(recordBytes(*frame, sim::Unit::Master), newMaster);
        EXPECT_EQ(recordBytes(*frame, sim::Unit::Slave), newSlave);
    }
    EXPECT_GT(restores, 0);
}

TEST_F(JournalRestore, EntriesOfACleanStoreAreDoneAndTenAreKept)
{
    QDir(records::journalFolder()).removeRecursively();
    const Solved solved = solveFactoryFrame(frame->fingers());
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(store(solved).outcome, StoreOutcome::Stored);
    const std::vector<records::JournalEntry> entries = records::journalEntries();
    ASSERT_EQ(entries.size(), 20u);  // ten per unit
    for (const records::JournalEntry& e : entries) {
        EXPECT_FALSE(e.open);
        EXPECT_TRUE(e.valid());
        EXPECT_EQ(e.kind, records::RecordKind::Calibration);
    }
    // The first two stores' entries went out: every kept one holds what a
    // later store replaced, the calibration the frame holds now.
    for (const records::JournalEntry& e : entries) {
        const sim::Unit unit = e.unit == records::UnitId::Slave ? sim::Unit::Slave : sim::Unit::Master;
        EXPECT_EQ(e.bytes, recordBytes(*frame, unit));
    }
    EXPECT_TRUE(records::restorePlan(records::checkRecords()).empty());
}

} // namespace
} // namespace tovrin::calib::test
