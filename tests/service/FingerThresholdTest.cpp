// The finger-into threshold in both units' leveling settings records.

#include "ServiceTestSupport.h"

#include "maintenance/service/FingerThreshold.h"

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
namespace wire = tovrin::test::wire;

namespace {

const std::vector<uint8_t> kRecord{'T', 'E', 'S', 'T', 0xC0, 0x0A, 0x1E, 0x02, 1, 2, 3, 4, 1, 1, 1};

class FingerThreshold : public tovrin::test::SimLinkTest {
protected:
    void prepare(sim::SimulatedFrame& f) override
    {
        f.setFlash(sim::Unit::Master, kLevelingRecordOffset, kRecord);
        std::vector<uint8_t> slave = kRecord;
        slave[8] = 9;  // the Slave's own copy differs: the Master's is taken
        f.setFlash(sim::Unit::Slave, kLevelingRecordOffset, slave);
    }
};

TEST_F(FingerThreshold, ReadsTheMasterChoice)
{
    const ThresholdReading r = readFingerThreshold();
    EXPECT_EQ(r.status, ThresholdReading::Ok);
    EXPECT_EQ(r.choice, 1);  // 0x0a
    EXPECT_TRUE(r.label().isEmpty());
}

TEST_F(FingerThreshold, WritesOnlyByteFiveIntoBothUnits)
{
    const ThresholdWrite w = writeFingerThreshold(0x10);
    EXPECT_EQ(w.label, "Flash Write Success!");
    std::vector<uint8_t> expected = kRecord;
    expected[5] = 0x10;
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, kLevelingRecordOffset, 15), expected);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, kLevelingRecordOffset, 15), expected);
}

TEST_F(FingerThreshold, ASlaveEraseFailureLeavesTheMasterWritten)
{
    frame->answerNextWithStatus(0xFF, 1, wire::EraseFlashS);
    const ThresholdWrite w = writeFingerThreshold(0x0D);
    EXPECT_EQ(w.label, "Slave Flash Erase Error!");
    EXPECT_TRUE(w.masterWritten);
    EXPECT_FALSE(w.slaveWritten);
    EXPECT_EQ(frame->flashByte(sim::Unit::Master, kLevelingRecordOffset + 5), 0x0D);
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, kLevelingRecordOffset + 5), 0x0A);
}

TEST_F(FingerThreshold, ARecordWithoutItsMagicIsNotRewrittenWithGuesses)
{
    frame->eraseSector(sim::Unit::Master, kLevelingRecordOffset);
    tovrin::test::WireRecord wire(*frame);
    EXPECT_EQ(readFingerThreshold().label(), "No Valid Test Para!");
    const ThresholdWrite w = writeFingerThreshold(0x08);
    EXPECT_EQ(w.label, "No Valid Test Para!");
    EXPECT_TRUE(wire.withNumber({wire::EraseFlashM, wire::EraseFlashS, wire::WriteFlashM, wire::WriteFlashS}).empty());
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, kLevelingRecordOffset + 5), 0x0A);
}

TEST_F(FingerThreshold, AnUnreadableRecordIsNotRewrittenWithZeros)
{
    frame->answerNextWithStatus(0xFF, 1, wire::ReadFlashM);
    const ThresholdWrite w = writeFingerThreshold(0x08);
    EXPECT_EQ(w.label, "Flash Read Error!");
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, kLevelingRecordOffset, 15), kRecord);
}

} // namespace
