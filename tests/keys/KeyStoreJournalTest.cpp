// The host-side journal behind the key store: a frame pulled at every
// output report from the first record erase of a key calibration on, plugged
// in again, gets its records back from the journal, and a clean rerun of
// the key calibration then stores its keys. No record ever holds anything
// that was not once written whole.
#include "KeyTestSupport.h"

#include "records/RecordJournal.h"
#include "sim/SimBytes.h"
#include "tests/support/FrameLink.h"

#include <QDir>

#include <algorithm>

using namespace tovrin;
using namespace tovrin::keys;
using namespace tovrin::keys::test;

namespace {

class KeyStoreJournal : public CalibratedFrameTest {
protected:
    bool stored(const std::vector<int>& codes) const
    {
        return std::find(codes.begin(), codes.end(), keycode::kStored) != codes.end();
    }
};

TEST_F(KeyStoreJournal, PulledAtEveryReportOfTheStoreTheJournalGivesBackTheRecords)
{
    const auto oldSlave = record(sim::Unit::Slave), oldMaster = record(sim::Unit::Master);
    const size_t before = wire->written().size();
    ASSERT_TRUE(stored(calibrate()));
    const std::vector<tovrin::test::WireReport> clean = wire->written();
    const size_t total = clean.size() - before;
    const auto newSlave = record(sim::Unit::Slave), newMaster = record(sim::Unit::Master);
    ASSERT_NE(newSlave, oldSlave);
    // From the first erase of a calibration record (Slave 32, Master 13 at 0x11000) on.
    size_t firstErase = before;
    while (firstErase < clean.size()
           && !((clean[firstErase][1] == 32 || clean[firstErase][1] == 13) && clean[firstErase][2] == 0x00
                && clean[firstErase][3] == 0x10 && clean[firstErase][4] == 0x01))
        ++firstErase;
    ASSERT_LT(firstErase, clean.size());
    // The journal's own reads before the erase are part of the store too.
    const size_t from = std::max<size_t>(1, firstErase - before > 60 ? firstErase - before - 60 : 1);

    auto valid = [](const std::vector<uint8_t>& r) { return sim::readU32le(r.data()) == 0x46574946; };
    int restores = 0;
    for (size_t n = from; n <= total; ++n) {
        SCOPED_TRACE(n);
        QDir(records::journalFolder()).removeRecursively();
        install();
        frame->vanishAtOutputReport(n);
        EXPECT_FALSE(stored(calibrate()));
        frame->clearFaults();
        frame->plug();
        ASSERT_TRUE(tovrin::test::openInCalibrationMode());  // found again after it was plugged in

        for (const records::JournalEntry& e : records::restorePlan(records::checkRecords())) {
            EXPECT_TRUE(records::restoreEntry(e));
            ++restores;
        }
        const auto s = record(sim::Unit::Slave), m = record(sim::Unit::Master);
        EXPECT_TRUE(valid(s) && valid(m));
        EXPECT_TRUE(s == oldSlave || s == newSlave);
        EXPECT_TRUE(m == oldMaster || m == newMaster);

        // A clean rerun stores the keys (after every tenth cut and the last:
        // each run is a whole key calibration, and what it starts from is
        // checked above for every cut).
        if (n % 10 == 0 || n == total) {
            EXPECT_TRUE(stored(calibrate()));
            EXPECT_EQ(record(sim::Unit::Slave), newSlave);
            EXPECT_EQ(record(sim::Unit::Master), newMaster);
        }
    }
    EXPECT_GT(restores, 0);
}

} // namespace
