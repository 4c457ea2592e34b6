// The evaluation and storage step under faults: a frame pulled at every one
// of its transactions, a record that reads back garbled, a result without an
// image window or with a value that is not a number, and a stop request
// once the records are erased.

#include "RunFixture.h"

namespace tovrin::calib::test {
namespace {

class StoreTest : public StoreFixture {};

TEST_F(StoreTest, PulledAtEveryTransactionEachRecordIsOldOrInvalidNeverMixed)
{
    const Solved solved = solveFactoryFrame(frame->fingers());
    // Without a fault: how many reports the step sends, and what it stores.
    const uint64_t before = frame->outputReports();
    ASSERT_EQ(store(solved).outcome, StoreOutcome::Stored);
    const uint64_t reports = frame->outputReports() - before;
    const auto newMaster = recordBytes(*frame, sim::Unit::Master);
    const auto newSlave = recordBytes(*frame, sim::Unit::Slave);
    ASSERT_GT(reports, 150u);  // last lines, two reads, two erases, 88 writes, two read-backs

    for (uint64_t k = 1; k <= reports; ++k) {
        plugFactoryFrame();
        frame->vanishAtOutputReport(k);
        const StoreResult r = store(solved);
        ASSERT_NE(r.outcome, StoreOutcome::Stored) << "pulled at report " << k;
        const auto m = recordBytes(*frame, sim::Unit::Master);
        const auto s = recordBytes(*frame, sim::Unit::Slave);
        const bool mOld = m == oldMaster, sOld = s == oldSlave;
        const bool mNew = m == newMaster, sNew = s == newSlave;
        // Each record is as it was, invalid, or the new one complete...
        EXPECT_TRUE(mOld || mNew || !validRecord(m)) << "Master at report " << k;
        EXPECT_TRUE(sOld || sNew || !validRecord(s)) << "Slave at report " << k;
        // ...and never one unit valid with the new calibration while the
        // other is still valid with the old one.
        EXPECT_FALSE(validRecord(m) && validRecord(s) && mOld != sOld) << "mixed at report " << k;
        EXPECT_EQ(device::g_bDevExist.load(), 0) << k;
    }
}

// Flash reads of the Slave come back with one bit flipped once the new
// record has been written: the frame garbles what it returns.
class GarblingTransport final : public device::Transport {
public:
    GarblingTransport(std::shared_ptr<device::Transport> inner, std::shared_ptr<sim::SimulatedFrame> frame)
        : m_inner(std::move(inner)), m_frame(std::move(frame))
    {
    }
    bool open(uint16_t& pid) override { return m_inner->open(pid); }
    int check(uint16_t& pid) override { return m_inner->check(pid); }
    device::IoResult write(const uint8_t* report, uint32_t waitMs) override { return m_inner->write(report, waitMs); }
    device::IoResult read(uint8_t* report, uint32_t waitMs) override
    {
        const device::IoResult r = m_inner->read(report, waitMs);
        constexpr int kReadFlashSlave = 29, kWriteFlashSlave = 28;
        if (r == device::IoResult::Ok && report[1] == kReadFlashSlave && m_frame->commandsSeen(kWriteFlashSlave) > 0)
            report[3 + 40] ^= 0x04;
        return r;
    }
    bool getFeature(uint8_t* buffer) override { return m_inner->getFeature(buffer); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }

private:
    std::shared_ptr<device::Transport> m_inner;
    std::shared_ptr<sim::SimulatedFrame> m_frame;
};

TEST_F(StoreTest, ARecordThatReadsBackGarbledIsLeftInvalid)
{
    const Solved solved = solveFactoryFrame(frame->fingers());
    device::setTransport(std::make_shared<GarblingTransport>(sim::makeSimTransport(frame), frame));
    uint16_t pid = 0;
    ASSERT_TRUE(device::OpenHidDevice(pid));
    const StoreResult r = store(solved);
    EXPECT_EQ(r.outcome, StoreOutcome::Failed);
    // The record write reads its pieces back before the validity word goes
    // out: the garbled Slave record never becomes valid.
    EXPECT_NE(r.reason.find("Slave record"), std::string::npos) << r.reason;
    EXPECT_FALSE(validRecord(recordBytes(*frame, sim::Unit::Slave)));
    EXPECT_FALSE(validRecord(recordBytes(*frame, sim::Unit::Master)));
}

TEST_F(StoreTest, NoPairInsideTheScreenIsRejectedNotStored)
{
    // Cameras that look away from the screen: every ray pair crosses above it.
    Solved away = solveFactoryFrame(frame->fingers());
    away.mapper.left.Po_l4.y = static_cast<int16_t>(away.mapper.left.Po_l4.y + 16 * 3000);
    away.mapper.right.Po_l4.y = static_cast<int16_t>(away.mapper.right.Po_l4.y + 16 * 3000);
    away.mapper.leftOffset += 90.0;
    away.mapper.rightOffset += 90.0;
    const StoreResult r = store(away);
    EXPECT_EQ(r.outcome, StoreOutcome::Rejected);
    EXPECT_EQ(r.reason, "no pair of sensor columns maps inside the screen");
    EXPECT_TRUE(recordsUnchanged());
    EXPECT_EQ(frame->commandsSeen(13) + frame->commandsSeen(32) + frame->commandsSeen(9) + frame->commandsSeen(28), 0u);
}

TEST_F(StoreTest, AValueThatIsNotANumberIsRejectedNotStored)
{
    for (double bad : {std::nan(""), HUGE_VAL}) {
        Solved s = solveFactoryFrame(frame->fingers());
        s.mapper.leftOffset = bad;
        EXPECT_EQ(store(s).outcome, StoreOutcome::Rejected);
        EXPECT_TRUE(recordsUnchanged());
    }
}

TEST_F(StoreTest, AStopAfterTheEraseStillFinishesTheSave)
{
    const Solved solved = solveFactoryFrame(frame->fingers());
    StoreSteps steps;
    steps.interrupted = [this] { return frame->commandsSeen(32) > 0; };  // once the Slave sector is erased
    const StoreResult r = store(solved, steps);
    EXPECT_EQ(r.outcome, StoreOutcome::Stored) << r.reason;
    EXPECT_TRUE(validRecord(recordBytes(*frame, sim::Unit::Master)));
    EXPECT_TRUE(validRecord(recordBytes(*frame, sim::Unit::Slave)));
}

TEST_F(StoreTest, AStopBeforeTheEraseTouchesNothing)
{
    const Solved solved = solveFactoryFrame(frame->fingers());
    StoreSteps steps;
    steps.interrupted = [this] { return frame->commandsSeen(29) > 0; };  // once the records are being read
    EXPECT_EQ(store(solved, steps).outcome, StoreOutcome::Failed);
    EXPECT_TRUE(recordsUnchanged());
}

} // namespace
} // namespace tovrin::calib::test
