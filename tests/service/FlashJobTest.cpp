// Flash erase, dump and fill of one unit on the simulated frame: the
// requests on the wire, the files, and the refusals that come before
// anything is erased.

#include "ServiceTestSupport.h"
#include "tests/support/Files.h"

#include "maintenance/service/FlashJob.h"
#include "maintenance/service/ServiceTexts.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
using namespace tovrin::test;

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
    tovrin::test::InTemporaryFolder folder;
};

// The dump replaces an existing file rather than appending to it.
TEST_F(FlashJob, DumpIsThirtyTwoBlocksOfFourKilobytesInOrder)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("slave.bin"), QByteArray(1000, 'x')));
    const auto contents = pattern(kFlashImageSize, 3);
    frame->setFlash(sim::Unit::Slave, 0, contents);
    WireRecord wire(*frame);
    FlashJobThread worker;
    worker.setDump(device::Unit::Slave, QStringLiteral("slave.bin"));
    const Reports r = runJob(worker);
    EXPECT_EQ(r.list.back().code, flashjob::Done);
    EXPECT_EQ(r.count(flashjob::Progress), 32);
    const QByteArray file = tovrin::test::readFile("slave.bin");
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

TEST_F(FlashJob, FillErasesEachSectorThenWritesItsFirstWordLast)
{
    const auto image = pattern(kFlashImageSize, 9);
    frame->setFlash(sim::Unit::Master, 0, std::vector<uint8_t>(kFlashImageSize, 0x00));  // old data everywhere
    WireRecord wire(*frame);
    FlashJobThread worker;
    worker.setFill(device::Unit::Master, QByteArray(reinterpret_cast<const char*>(image.data()), kFlashImageSize));
    const Reports r = runJob(worker);
    ASSERT_EQ(r.list.back().code, flashjob::Done);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0, kFlashImageSize), image);

    // Each sector: erased, its 128 pieces of 32 bytes in address order with
    // the first word sent as FF FF FF FF, then that word (a record's valid
    // mark) on its own. The FPGA area's first page (sector 0's first eight
    // pieces, backwards, and its word) follows the area's last sector.
    struct Write {
        uint32_t address;
        int length;
        bool operator==(const Write&) const = default;
    };
    std::vector<Write> expected;
    std::vector<Write> fpgaHead;
    for (uint32_t s = 0; s < 32; ++s) {
        const uint32_t sector = s * 4096;
        expected.push_back({sector, -1});  // the erase
        for (uint32_t k = 0; k < 128; ++k)
            (s == 0 && k < 8 ? fpgaHead : expected).push_back({sector + k * 32, 32});
        (s == 0 ? fpgaHead : expected).push_back({sector, 4});
        if (s == 15) {  // the page backwards, then its first word
            expected.insert(expected.end(), fpgaHead.rbegin() + 1, fpgaHead.rend());
            expected.push_back(fpgaHead.back());
        }
    }
    std::vector<Write> sent;
    for (const auto& c : wire.withNumber({wire::EraseFlashM, wire::WriteFlashM})) {
        const bool erase = c.number() == wire::EraseFlashM;
        sent.push_back({c.flashAddress(), erase ? -1 : c.flashLength()});
        if (erase)
            continue;
        const uint32_t at = c.flashAddress();
        for (int i = 0; i < c.flashLength(); ++i) {
            const bool headErased = c.flashLength() == 32 && at % 4096 == 0 && i < 4;
            ASSERT_EQ(c.payload[4 + static_cast<size_t>(i)], headErased ? 0xFF : image[at + static_cast<uint32_t>(i)])
                << "write at " << std::hex << at << " byte " << i;
        }
    }
    ASSERT_EQ(sent.size(), expected.size());
    EXPECT_TRUE(sent == expected);
    // Then the whole image is read back.
    uint32_t readBack = 0;
    for (const auto& c : wire.withNumber({wire::ReadFlashM}))
        readBack += static_cast<uint32_t>(c.flashLength());
    EXPECT_EQ(readBack, kFlashImageSize);
}

TEST_F(FlashJob, AFillThatDoesNotReadBackFails)
{
    // The unit loses bit 0 of offset 0x11040 whenever that piece is written.
    frame->addCommandObserver([](uint8_t code, const uint8_t* payload, std::array<sim::UnitMemory, 2> units) {
        if ((code & 0x3F) != wire::WriteFlashM || payload[0] != 0x40 || payload[1] != 0x10 || payload[2] != 0x01)
            return false;
        units[0].flash[0x11040] &= 0xFE;
        return true;
    });
    FlashJobThread worker;
    worker.setFill(device::Unit::Master, QByteArray(kFlashImageSize, '\x43'));
    const Reports r = runJob(worker);
    EXPECT_EQ(r.count(flashjob::Done), 0);
    ASSERT_EQ(r.count(flashjob::VerifyFail), 1);
    EXPECT_EQ(flashJobTexts(FlashJobKind::Fill, r.list.back()),
              QStringList{"Master Flash: 0x11040 does not read back what was written!"});
}

TEST_F(FlashJob, FillFileOfAnyOtherSizeIsRefusedBeforeTheFrameIsTouched)
{
    for (qsizetype size : {qsizetype{0}, qsizetype{4096}, qsizetype{kFlashImageSize - 1}, qsizetype{kFlashImageSize + 1}}) {
        ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("image.bin"), QByteArray(size, '\x11')));
        const FlashImageFile image = loadFlashImage(QStringLiteral("image.bin"));
        EXPECT_EQ(image.status, FlashImageFile::WrongSize) << size;
        EXPECT_TRUE(image.bytes.isEmpty());
        EXPECT_TRUE(flashImageProblem(QStringLiteral("image.bin"), image).contains(QString::number(size)));
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
