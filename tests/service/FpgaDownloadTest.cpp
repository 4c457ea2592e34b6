// FPGA download: the rolling key, the chunk and sector arithmetic, and whole
// downloads on the simulated frame (what reaches each unit's flash, what is
// erased first, what is refused before anything is erased).

#include "ServiceTestSupport.h"
#include "tests/support/Files.h"

#include "device/DeviceOps.h"
#include "maintenance/service/BurnFPGAThread.h"
#include "maintenance/service/FpgaDownload.h"
#include "maintenance/service/ServiceTexts.h"
#include "sim/FpgaConfiguration.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
using namespace tovrin::test;

namespace {

std::vector<uint8_t> keyStream(uint8_t start, size_t n)
{
    std::vector<uint8_t> zeros(n, 0);
    RollingKey key(start);
    key.apply(zeros);
    return zeros;
}

TEST(FpgaKey, RotatesLeftOneBitPerByte)
{
    EXPECT_EQ(keyStream(0xA5, 9), (std::vector<uint8_t>{0xA5, 0x4B, 0x96, 0x2D, 0x5A, 0xB4, 0x69, 0xD2, 0xA5}));
    EXPECT_EQ(keyStream(0x01, 9), (std::vector<uint8_t>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x01}));
}

TEST(FpgaKey, SettingTextIsOneHexadecimalByte)
{
    EXPECT_EQ(parseFpgaKey("0xa5"), uint8_t{0xA5});
    EXPECT_EQ(parseFpgaKey("A5"), uint8_t{0xA5});
    EXPECT_EQ(parseFpgaKey(" 0X07 "), uint8_t{0x07});
    EXPECT_EQ(parseFpgaKey("0x1a5"), std::nullopt);  // does not fit a byte: refused, not wrapped
    EXPECT_EQ(parseFpgaKey("key"), std::nullopt);
    EXPECT_EQ(parseFpgaKey(""), std::nullopt);
}

struct Counts {
    const char* name;
    qint64 size;
    int chunks;
    int sectors;
};
class FpgaCounts : public ::testing::TestWithParam<Counts> {};

TEST_P(FpgaCounts, ChunksOfSixtyTwoAndSectorsCovered)
{
    EXPECT_EQ(fpgaChunkCount(GetParam().size), GetParam().chunks);
    EXPECT_EQ(fpgaSectorCount(GetParam().size), GetParam().sectors);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FpgaCounts,
                         ::testing::Values(Counts{"OneByte", 1, 1, 1}, Counts{"OneChunk", 62, 1, 1},
                                           Counts{"OneMore", 63, 2, 1}, Counts{"OneSector", 4096, 67, 1},
                                           Counts{"SectorAndOne", 4097, 67, 2},
                                           Counts{"FullFile", 519 * 62, 519, 8},
                                           Counts{"WholeArea", 65536, 1058, 16}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FpgaPieces, NeverCrossAPageNorExceedOneCommand)
{
    for (uint32_t offset = 0; offset < 519 * 62; offset += 62) {
        uint32_t next = offset;
        for (const FlashPiece& p : flashPieces(offset, 62)) {
            EXPECT_EQ(p.offset, next);
            EXPECT_LE(p.length, 58);
            EXPECT_EQ(p.offset / 256, (p.offset + p.length - 1) / 256) << "offset " << offset;
            next += static_cast<uint32_t>(p.length);
        }
        EXPECT_EQ(next, offset + 62);
    }
    EXPECT_EQ(flashPieces(248, 62), (std::vector<FlashPiece>{{248, 8}, {256, 54}}));
}

// A configuration file as the FPGA vendor's tools leave it, scrambled with
// the key so that the download un-scrambles it.
QByteArray fpgaFile(int size, uint8_t key)
{
    QByteArray plain(size, '\0');
    for (int i = 0; i < size; ++i)
        plain[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    plain[0] = char(0xFF);
    plain[1] = char(0xFF);
    for (int i = 0; i < 4; ++i)
        plain[16 + i] = static_cast<char>(sim::kFpgaSyncWord[i]);
    RollingKey k(key);
    k.apply(std::span(reinterpret_cast<uint8_t*>(plain.data()), static_cast<size_t>(plain.size())));
    return plain;
}

std::vector<uint8_t> plainOf(const QByteArray& file, uint8_t key)
{
    std::vector<uint8_t> bytes(file.begin(), file.end());
    RollingKey k(key);
    k.apply(bytes);
    return bytes;
}

class FpgaDownload : public tovrin::test::SimLinkTest {
protected:
    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("fpga.bin"))
    {
        const QString path = folder.path() + '/' + name;
        EXPECT_TRUE(tovrin::test::writeFile(path, bytes));
        return path;
    }
    Reports download(const QString& path, uint8_t key = kDefaultFpgaKey)
    {
        BurnFPGAThread worker;
        worker.setFile(path);
        worker.setKey(key);
        Reports r = tovrin::test::runWorker(worker);
        EXPECT_EQ(worker.phase(), 0);
        return r;
    }
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(FpgaDownload, BothUnitsHoldTheUnscrambledFileSlaveFirst)
{
    // A previous, different configuration: every sector the new file covers
    // must be erased, or NOR flash keeps the AND of old and new.
    const std::vector<uint8_t> old(0x8000, 0x00);
    frame->setFlash(sim::Unit::Master, 0, old);
    frame->setFlash(sim::Unit::Slave, 0, old);
    const std::vector<uint8_t> beyond(16, 0x5A);
    frame->setFlash(sim::Unit::Master, 0x8000, beyond);  // the sector after the file stays
    const QByteArray file = fpgaFile(519 * 62, kDefaultFpgaKey);
    WireRecord wire(*frame);
    const Reports r = download(write(file));

    // 17, then a 33 per chunk, for the Slave and then the Master, then 19.
    ASSERT_EQ(r.list.size(), 2u * (1 + 519) + 1);
    EXPECT_EQ(r.list.front().code, fpga::Begin);
    EXPECT_EQ(r.list.front().unit, "Slave");
    EXPECT_EQ(r.list[520].code, fpga::Begin);
    EXPECT_EQ(r.list[520].unit, "Master");
    EXPECT_EQ(r.list.back().code, fpga::Done);
    EXPECT_EQ(fpgaTexts(r.list.back()),
              (QStringList{"Success!", "Write FPGA Code 31KB Success!"}));
    EXPECT_EQ(fpgaTexts(*r.last(fpga::Chunk)), QStringList{"Write Master Fapga process : 100"});

    const auto plain = plainOf(file, kDefaultFpgaKey);
    for (sim::Unit u : {sim::Unit::Slave, sim::Unit::Master})
        EXPECT_EQ(frame->readFlash(u, 0, static_cast<uint32_t>(plain.size())), plain);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x8000, 16), beyond);

    // One unit after the other: the Slave's eight sectors erased, written
    // and read back before the Master's first erase; in each unit the first
    // page (where the FPGA looks for its sync word) written last, backwards.
    const auto commands = wire.withNumber({wire::EraseFlashM, wire::EraseFlashS, wire::WriteFlashM, wire::WriteFlashS,
                                           wire::ReadFlashM, wire::ReadFlashS});
    for (const bool slave : {true, false}) {
        SCOPED_TRACE(slave ? "Slave" : "Master");
        const int erase = slave ? wire::EraseFlashS : wire::EraseFlashM;
        const int write = slave ? wire::WriteFlashS : wire::WriteFlashM;
        const int read = slave ? wire::ReadFlashS : wire::ReadFlashM;
        std::vector<uint32_t> erases;
        std::vector<uint32_t> writes;
        uint32_t readBytes = 0;
        for (const auto& c : commands) {
            if (c.number() == erase) {
                EXPECT_TRUE(writes.empty() && readBytes == 0) << "an erase after the writes began";
                erases.push_back(c.flashAddress());
            } else if (c.number() == write) {
                EXPECT_EQ(readBytes, 0u) << "a write after the read-back began";
                writes.push_back(c.flashAddress());
            } else if (c.number() == read) {
                readBytes += static_cast<uint32_t>(c.flashLength());
            }
        }
        EXPECT_EQ(erases, (std::vector<uint32_t>{0, 4096, 8192, 12288, 16384, 20480, 24576, 28672}));
        const auto firstHead = std::find_if(writes.begin(), writes.end(), [](uint32_t a) { return a < 256; });
        EXPECT_TRUE(std::all_of(firstHead, writes.end(), [](uint32_t a) { return a < 256; }));
        // The pieces of chunks 0-4 below offset 256, from the end of the page backwards.
        EXPECT_EQ(std::vector<uint32_t>(firstHead, writes.end()),
                  (std::vector<uint32_t>{248, 244, 186, 182, 124, 120, 62, 58, 0}));
        EXPECT_EQ(readBytes, static_cast<uint32_t>(plain.size()));
    }
    const auto lastSlave = std::find_if(commands.rbegin(), commands.rend(), [](const auto& c) {
        return c.number() == wire::EraseFlashS || c.number() == wire::WriteFlashS || c.number() == wire::ReadFlashS;
    });
    const auto firstMaster = std::find_if(commands.begin(), commands.end(), [](const auto& c) {
        return c.number() == wire::EraseFlashM || c.number() == wire::WriteFlashM || c.number() == wire::ReadFlashM;
    });
    EXPECT_LT(commands.rend() - lastSlave, firstMaster - commands.begin() + 1);
}

// Any size up to the whole area is taken, and its progress ends at 100 %.
TEST_F(FpgaDownload, ProgressEndsAtOneHundredPercentForAnyFileSize)
{
    for (const int size : {100, 519 * 62, 65536}) {
        const QByteArray file = fpgaFile(size, kDefaultFpgaKey);
        const Reports r = download(write(file));
        ASSERT_EQ(r.list.back().code, fpga::Done) << size;
        EXPECT_EQ(frame->readFlash(sim::Unit::Slave, 0, static_cast<uint32_t>(size)), plainOf(file, kDefaultFpgaKey));
        int last = -1;
        for (const auto& report : r.list) {
            if (report.code != fpga::Chunk)
                continue;
            const QString text = fpgaTexts(report).first();
            const int percent = text.section(QLatin1Char(':'), 1).trimmed().toInt();
            EXPECT_LE(percent, 100) << text.toStdString();
            last = percent;
        }
        EXPECT_EQ(last, 100) << size;
    }
}

TEST_F(FpgaDownload, AFramePulledDuringTheSlavePassLeavesTheMasterCodeAsItWas)
{
    const QString oldFile = write(fpgaFile(3000, kDefaultFpgaKey), QStringLiteral("old.bin"));
    ASSERT_EQ(download(oldFile).list.back().code, fpga::Done);
    const auto old = frame->readFlash(sim::Unit::Master, 0, 0x10000);

    QByteArray next = fpgaFile(5000, kDefaultFpgaKey);
    next[100] = static_cast<char>(next[100] ^ 0x11);
    frame->vanishAtOutputReport(60);  // writing the Slave
    const Reports r = download(write(next, QStringLiteral("new.bin")));
    EXPECT_EQ(r.count(fpga::Done), 0);
    EXPECT_EQ(r.count(fpga::WriteFail), 0) << "a frame that is gone is no failed write";
    EXPECT_EQ(device::g_bDevExist.load(), 0);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0, 0x10000), old);
    // The Slave's area is erased at its start: its FPGA refuses it rather
    // than loading half a configuration.
    EXPECT_FALSE(sim::holdsFpgaConfiguration(frame->readFlash(sim::Unit::Slave, 0, 0x10000)));
}

TEST_F(FpgaDownload, AUnitThatDoesNotReadBackWhatWasWrittenFails)
{
    // The Slave's flash loses a bit at 0x400 whenever that page is written.
    frame->addCommandObserver([](uint8_t code, const uint8_t* payload, std::array<sim::UnitMemory, 2> units) {
        if ((code & 0x3F) != wire::WriteFlashS || payload[1] != 0x04 || payload[0] != 0x00)
            return false;
        units[1].flash[0x400] &= 0xFE;
        return true;
    });
    QByteArray file = fpgaFile(3000, kDefaultFpgaKey);
    if ((plainOf(file, kDefaultFpgaKey)[0x400] & 1) == 0)  // the bit that is lost must be written as 1
        file[0x400] = static_cast<char>(file[0x400] ^ 0x01);
    const Reports r = download(write(file));
    EXPECT_EQ(r.count(fpga::Done), 0);
    ASSERT_EQ(r.count(fpga::VerifyFail), 1);
    EXPECT_EQ(r.last(fpga::VerifyFail)->unit, "Slave");
    EXPECT_EQ(fpgaTexts(*r.last(fpga::VerifyFail)).first(),
              "Slave flash at 0x00400 does not hold what was written!\n Download FPGA failed!");
}

TEST_F(FpgaDownload, TheFpgaLoadsOnlyWhatTheRightKeyUnscrambled)
{
    const QString path = write(fpgaFile(3000, 0x3C));
    ASSERT_EQ(download(path, 0x3C).list.back().code, fpga::Done);
    ASSERT_TRUE(device::SwitchMode(0xBB));  // FPGA reset: the units load their configuration
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, sim::kFpgaDoneRegister), 1);
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, sim::kFpgaDoneRegister), 1);

    ASSERT_EQ(download(path, 0xA5).list.back().code, fpga::Done);
    ASSERT_TRUE(device::SwitchMode(0xBB));
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, sim::kFpgaDoneRegister), 0);
}

struct Refusal {
    const char* name;
    int size;  // -1: no file
    int code;
    const char* text;  // nullptr: any text
};
class FpgaRefusal : public FpgaDownload, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FpgaRefusal, NothingIsErasedBeforeTheFileIsFoundGood)
{
    WireRecord wire(*frame);
    const QString path = GetParam().size < 0 ? folder.path() + "/missing.bin" : write(QByteArray(GetParam().size, 'x'));
    const Reports r = download(path);
    EXPECT_EQ(r.codes(), std::vector<int>{GetParam().code});
    EXPECT_TRUE(wire.commands().empty());
    ASSERT_FALSE(fpgaTexts(r.list.front()).isEmpty());
    if (GetParam().text) {
        EXPECT_EQ(fpgaTexts(r.list.front()).first(), GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FpgaRefusal,
                         ::testing::Values(Refusal{"Missing", -1, fpga::OpenFail, nullptr}, Refusal{"Empty", 0, fpga::Empty, nullptr},
                                           Refusal{"LargerThanTheArea", 65537, fpga::TooLarge,
                                                   "FPGA File is 65537 bytes, larger than the FPGA area (65536 bytes): "
                                                   "nothing was written!"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(FpgaDownload, AFailedEraseEndsWithoutATextAFailedWriteReportsEighteen)
{
    const QString path = write(fpgaFile(1000, kDefaultFpgaKey));
    frame->answerNextWithStatus(0xFF, 1, wire::EraseFlashS);
    EXPECT_TRUE(download(path).list.empty());
    frame->answerNextWithStatus(0xFF, 1, wire::WriteFlashM);
    const Reports r = download(path);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list.back().code, fpga::WriteFail);
    EXPECT_EQ(r.list.back().unit, "Master");
    EXPECT_EQ(r.count(fpga::Done), 0);
}

} // namespace
