// Flash erase, dump and fill of one unit on the simulated frame: the
// requests on the wire, the files, and the refusals that come before
// anything is erased.

#include "ServiceTestSupport.h"

#include "maintenance/service/FlashJob.h"
#include "maintenance/service/ServiceTexts.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
using tovrin::test::Reports;
using tovrin::test::WireRecord;
namespace wire = tovrin::test::wire;

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 8));
    return v;
}

class FlashJob : public tovrin::test::SimLinkTest {
protected:
    Reports runJob(FlashJobThread& worker) { return tovrin::test::runWorker(worker); }
    QByteArray fileBytes(const QString& name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(FlashJob, DumpIsThirtyTwoBlocksOfFourKilobytesInOrder)
{
    const auto contents = pattern(kFlashImageSize, 3);
    frame->setFlash(sim::Unit::Slave, 0, contents);
    WireRecord wire(*frame);
    FlashJobThread worker;
    worker.setDump(device::Unit::Slave, QStringLiteral("slave.bin"));
    const Reports r = runJob(worker);
    EXPECT_EQ(r.list.back().code, flashjob::Done);
    EXPECT_EQ(r.count(flashjob::Progress), 32);
    const QByteArray file = fileBytes("slave.bin");
    ASSERT_EQ(file.size(), static_cast<qsizetype>(kFlashImageSize));
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), reinterpret_cast<const uint8_t*>(file.constData())));

    // Every block starts a fresh run of reads at a 4096-byte boundary.
    const auto reads = wire.withNumber({wire::ReadFlashS});
    std::vector<uint32_t> blockStarts;
    uint32_t next = 0;
    for (const auto& c : reads) {
        if (c.flashAddress() % 4096 == 0 && c.flashAddress() == next)
            blockStarts.push_back(c.flashAddress());
        if (c.flashAddress() == next)
            next = c.flashAddress() + static_cast<uint32_t>(c.flashLength());
    }
    EXPECT_EQ(next, kFlashImageSize);
    ASSERT_EQ(blockStarts.size(), 32u);
    EXPECT_EQ(blockStarts.back(), 0x1F000u);
    EXPECT_TRUE(wire.withNumber({wire::ReadFlashM}).empty());
}

TEST_F(FlashJob, DumpReplacesAnExistingFileRatherThanAppending)
{
    QFile old(QStringLiteral("old.bin"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1000, 'x'));
    old.close();
    FlashJobThread worker;
    worker.setDump(device::Unit::Master, old.fileName());
    EXPECT_EQ(runJob(worker).list.back().code, flashjob::Done);
    EXPECT_EQ(QFile(old.fileName()).size(), static_cast<qint64>(kFlashImageSize));
}

TEST_F(FlashJob, DumpTargetThatCannotBeWrittenIsSaidSoAndLeavesNothing)
{
    WireRecord wire(*frame);
    for (const char* target : {"/proc/dump.bin", "no-such-folder/dump.bin"}) {
        FlashJobThread worker;
        worker.setDump(device::Unit::Master, QString::fromLatin1(target));
        const Reports r = runJob(worker);
        EXPECT_EQ(r.codes(), std::vector<int>{flashjob::FileFail}) << target;
        EXPECT_FALSE(QFile::exists(QString::fromLatin1(target)));
    }
    // Found before the frame was read.
    EXPECT_TRUE(wire.commands().empty());
}

TEST_F(FlashJob, FillErasesEachSectorThenWritesItIn128PiecesOf32)
{
    const auto image = pattern(kFlashImageSize, 9);
    frame->setFlash(sim::Unit::Master, 0, std::vector<uint8_t>(kFlashImageSize, 0x00));  // old data everywhere
    WireRecord wire(*frame);
    FlashJobThread worker;
    worker.setFill(device::Unit::Master, QByteArray(reinterpret_cast<const char*>(image.data()), kFlashImageSize));
    const Reports r = runJob(worker);
    ASSERT_EQ(r.list.back().code, flashjob::Done);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0, kFlashImageSize), image);

    const auto commands = wire.withNumber({wire::EraseFlashM, wire::WriteFlashM});
    ASSERT_EQ(commands.size(), 32u * (1 + 128));
    for (uint32_t s = 0; s < 32; ++s) {
        const auto& erase = commands[s * 129];
        EXPECT_EQ(erase.number(), wire::EraseFlashM);
        EXPECT_EQ(erase.flashAddress(), s * 4096);
        for (uint32_t k = 0; k < 128; ++k) {
            const auto& write = commands[s * 129 + 1 + k];
            ASSERT_EQ(write.number(), wire::WriteFlashM);
            EXPECT_EQ(write.flashAddress(), s * 4096 + k * 32);
            EXPECT_EQ(write.flashLength(), 32);
            EXPECT_TRUE(std::equal(write.payload.begin() + 4, write.payload.begin() + 36, image.begin() + s * 4096 + k * 32));
        }
    }
}

TEST_F(FlashJob, FillFileOfAnyOtherSizeIsRefusedBeforeTheFrameIsTouched)
{
    for (qsizetype size : {qsizetype{0}, qsizetype{4096}, qsizetype{kFlashImageSize - 1}, qsizetype{kFlashImageSize + 1}}) {
        QFile f(QStringLiteral("image.bin"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(size, '\x11'));
        f.close();
        const FlashImageFile image = loadFlashImage(f.fileName());
        EXPECT_EQ(image.status, FlashImageFile::WrongSize) << size;
        EXPECT_TRUE(image.bytes.isEmpty());
        EXPECT_TRUE(flashImageProblem(f.fileName(), image).contains(QString::number(size)));
    }
    EXPECT_EQ(loadFlashImage(QStringLiteral("missing.bin")).status, FlashImageFile::CannotOpen);
}

TEST_F(FlashJob, EraseStopsAtTheFirstFailedSector)
{
    WireRecord wire(*frame);
    frame->answerNextWithStatus(0xFF, 1, wire::EraseFlashS);
    FlashJobThread worker;
    worker.setErase(device::Unit::Slave);
    const Reports r = runJob(worker);
    EXPECT_EQ(r.codes(), std::vector<int>{flashjob::EraseFail});
    EXPECT_EQ(flashJobTexts(FlashJobKind::Erase, r.list.back()), QStringList{"Slave Flash: erasing the sector at 0x00000 failed!"});

    const std::vector<uint8_t> data(16, 0x12);
    frame->setFlash(sim::Unit::Slave, 0x1F000, data);
    FlashJobThread again;
    again.setErase(device::Unit::Slave);
    EXPECT_EQ(runJob(again).list.back().code, flashjob::Done);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, 0x1F000, 16), std::vector<uint8_t>(16, 0xFF));
}

TEST_F(FlashJob, AFrameUnpluggedDuringAFillEndsWithoutAReport)
{
    frame->vanishAtOutputReport(300);
    FlashJobThread worker;
    worker.setFill(device::Unit::Master, QByteArray(kFlashImageSize, '\x42'));
    const Reports r = runJob(worker);
    EXPECT_EQ(r.count(flashjob::Done), 0);
    EXPECT_EQ(r.count(flashjob::WriteFail) + r.count(flashjob::EraseFail), 0);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
}

} // namespace
