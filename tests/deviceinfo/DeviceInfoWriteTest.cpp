// Reading and writing both units' device information records on the
// simulated frame: IDs, the write order with the magic last, failures that
// stop the write where it is, and an unplug in the middle.

#include "deviceinfo/core/DeviceInfoOps.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/FrameLink.h"

#include <QEventLoop>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::deviceinfo;
using namespace tovrin::test;

namespace {

DeviceInfo typed(uint32_t id)
{
    QStringList in{QStringLiteral("0x%1").arg(id, 0, 16), "1", "Factory", "Customer", "Producer", "20260307",
                   "B1", "L2", "0", "Model", "0"};
    return *parseInput(in).info;
}

class DeviceInfoWrite : public tovrin::test::SimLinkTest {};

TEST_F(DeviceInfoWrite, DeviceId1001WritesMaster1002AndSlave1003)
{
    const WriteOutcome out = writeBothUnits(typed(0x1001));
    ASSERT_TRUE(out.ok) << out.status.toStdString();
    EXPECT_EQ(out.previousMaster, 0u);  // erased before: no valid record
    const auto m = frame->readFlash(sim::Unit::Master, kRecordOffset, kRecordSize);
    const auto s = frame->readFlash(sim::Unit::Slave, kRecordOffset, kRecordSize);
    EXPECT_EQ(decodeRecord(m)->deviceId, 0x1002u);
    EXPECT_EQ(decodeRecord(s)->deviceId, 0x1003u);
    // The bytes after the record up to the end of the fourth write are zero.
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, kRecordOffset + kRecordSize, 12), std::vector<uint8_t>(12, 0));

    const BothRead read = readBothUnits();
    EXPECT_EQ(read.status, "Read success!\n");
    EXPECT_EQ(displayTexts(*read.slave.info)[DeviceID], "0x00001003");

    // The previous IDs are those of the records replaced.
    const WriteOutcome next = writeBothUnits(typed(0x3000));
    ASSERT_TRUE(next.ok);
    EXPECT_EQ(next.previousMaster, 0x1002u);
    EXPECT_EQ(next.previousSlave, 0x1003u);
}

TEST_F(DeviceInfoWrite, FourPiecesThenTheMagicLast)
{
    WireRecord wire(*frame);
    ASSERT_TRUE(writeBothUnits(typed(0x10)).ok);
    const auto commands = wire.withNumber({wire::EraseFlashM, wire::WriteFlashM});
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0].number(), wire::EraseFlashM);
    EXPECT_EQ(commands[0].flashAddress(), 0x1F000u);
    const uint32_t at[] = {0x1F004, 0x1F024, 0x1F044, 0x1F064};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(commands[1 + i].flashAddress(), at[i]);
        EXPECT_EQ(commands[1 + i].flashLength(), 32);
    }
    EXPECT_EQ(commands[5].flashAddress(), 0x1F000u);
    EXPECT_EQ(commands[5].flashLength(), 4);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(commands[5].payload.data() + 4), 4), QByteArray("IVED"));
}

struct Failure {
    const char* name;
    int command;
    int skip;  // commands of that number that succeed first
    const char* status;
    bool masterWritten;
};
class DeviceInfoWriteFailure : public DeviceInfoWrite, public ::testing::WithParamInterface<Failure> {};

TEST_P(DeviceInfoWriteFailure, StopsWhereItFailsWithItsText)
{
    // Let `skip` commands of the number through, then refuse the next one.
    // (Before the Slave's own read the journal names the frame by the
    // Slave's device information, the Master's being about to go.)
    frame->answerNextWithStatus(0xFF, 1, GetParam().command, GetParam().skip);
    const WriteOutcome out = writeBothUnits(typed(0x1001));
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.status, GetParam().status);
    EXPECT_EQ(out.masterWritten, GetParam().masterWritten);
    EXPECT_EQ(decodeRecord(frame->readFlash(sim::Unit::Master, kRecordOffset, kRecordSize)).has_value(),
              GetParam().masterWritten);
    EXPECT_FALSE(decodeRecord(frame->readFlash(sim::Unit::Slave, kRecordOffset, kRecordSize)).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DeviceInfoWriteFailure,
    ::testing::Values(Failure{"ReadMaster", wire::ReadFlashM, 0, "Write Master failed (Read Master)!\n", false},
                      Failure{"EraseMaster", wire::EraseFlashM, 0, "Write Master failed (Erase Master)!\n", false},
                      Failure{"WriteMaster", wire::WriteFlashM, 2, "Write Master failed (Write Master)!\n", false},
                      Failure{"WriteMasterHead", wire::WriteFlashM, 4, "Write Master failed (Write Master head)!\n", false},
                      Failure{"ReadSlave", wire::ReadFlashS, 1, "Write Slave failed (Read Slave)!\n", true},
                      Failure{"EraseSlave", wire::EraseFlashS, 0, "Write Slave failed (Erase Slave)!\n", true},
                      Failure{"WriteSlave", wire::WriteFlashS, 0, "Write Slave failed (Write Slave)!\n", true},
                      Failure{"WriteSlaveHead", wire::WriteFlashS, 4, "Write Slave failed (Write Slave head)!\n", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DeviceInfoWrite, AnUnplugAtAnyStepNeverLeavesAValidLookingWrongRecord)
{
    // The old records say 0x0100 / 0x0101; an interrupted write leaves each
    // unit with the old record, the new one, or none: never a mix.
    for (uint64_t at = 1; at <= 14; ++at) {
        frame->plug();
        ASSERT_TRUE(tovrin::test::openFrameLink());
        ASSERT_TRUE(writeBothUnits(typed(0x0100)).ok);
        frame->vanishAtOutputReport(at);
        const WriteOutcome out = writeBothUnits(typed(0x0200));
        EXPECT_FALSE(out.ok) << at;
        EXPECT_EQ(device::g_bDevExist.load(), 0) << at;
        for (sim::Unit u : {sim::Unit::Master, sim::Unit::Slave}) {
            const auto record = decodeRecord(frame->readFlash(u, kRecordOffset, kRecordSize));
            if (!record)
                continue;
            const uint32_t base = record->deviceId & ~1u;
            EXPECT_TRUE(base == 0x0100 || base == 0x0200) << at;
            EXPECT_EQ(*record, [&] {
                DeviceInfo expected = typed(base);
                expected.deviceId = record->deviceId;
                return expected;
            }()) << at;
        }
    }
}

// The whole job as the dialog and tovrin-cli run it: the result comes in
// the worker object's thread (the window's), once the run has ended, so
// that the texts in it are read there without a race.
DeviceInfoJobResult runJob(DeviceInfoThread& worker)
{
    DeviceInfoJobResult result;
    int results = 0;
    QObject::connect(
        &worker, &DeviceInfoThread::sendResult, &worker,
        [&](const DeviceInfoJobResult& r) {
            EXPECT_EQ(QThread::currentThread(), worker.thread());
            EXPECT_TRUE(worker.hasEnded());
            result = r;
            ++results;
        },
        Qt::DirectConnection);
    QEventLoop loop;
    QObject::connect(&worker, &jobs::Worker::ended, &loop, &QEventLoop::quit);
    if (worker.startWork())
        loop.exec();
    EXPECT_EQ(results, 1);
    return result;
}

DeviceInfoJobResult runWriteJob(const DeviceInfo& master, const QString& iniFile, const QString& workbook)
{
    DeviceInfoThread worker;
    worker.setWrite(master, displayTexts(master), {}, {}, iniFile, workbook);
    return runJob(worker);
}

// When no workbook can take the rows, nothing is written: not the frame,
// not DeviceInfo.ini.
TEST_F(DeviceInfoWrite, AWorkbookThatCannotBeWrittenIsFoundBeforeTheFrame)
{
    tovrin::test::InTemporaryFolder folder;
    ASSERT_TRUE(writeBothUnits(typed(0x0100)).ok);
    WireRecord wire(*frame);
    const DeviceInfoJobResult r = runWriteJob(typed(0x0200), "DeviceInfo.ini", "/proc/" + kWorkbookFileName);
    EXPECT_FALSE(r.write.ok);
    EXPECT_FALSE(r.status.isEmpty());
    EXPECT_TRUE(r.status.contains(kWorkbookFileName)) << r.status.toStdString();
    EXPECT_TRUE(wire.withNumber({wire::EraseFlashM, wire::WriteFlashM, wire::EraseFlashS, wire::WriteFlashS}).empty());
    EXPECT_EQ(decodeRecord(frame->readFlash(sim::Unit::Master, kRecordOffset, kRecordSize))->deviceId, 0x0100u);
    EXPECT_FALSE(QFile::exists("DeviceInfo.ini"));
}

TEST_F(DeviceInfoWrite, ReadReportsEachUnitsFailure)
{
    const BothRead blank = readBothUnits();
    EXPECT_EQ(blank.status, "Read Master failed 1!\nRead Slave failed 1!\n");
    DeviceInfoThread reader;
    reader.setRead();
    EXPECT_EQ(runJob(reader).status, blank.status);
    ASSERT_TRUE(writeBothUnits(typed(0x44)).ok);
    frame->answerNextWithStatus(0xFF, 1, wire::ReadFlashS);
    const BothRead r = readBothUnits();
    EXPECT_EQ(r.status, "Read Slave failed 2!\n");
    EXPECT_TRUE(r.master.info);
    EXPECT_FALSE(r.slave.info);
}

} // namespace
