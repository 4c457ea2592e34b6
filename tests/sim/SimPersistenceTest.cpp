// Flash kept in a file, and the factory frame of --simulate.

#include "SimReports.h"
#include "sim/FactoryFrame.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

namespace tovrin::sim::test {
namespace {

namespace fs = std::filesystem;

class SimPersistence : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "nested" / "flash.bin";
};

TEST_F(SimPersistence, CommandWrittenFlashSurvivesARestart)
{
    {
        auto frame = std::make_shared<SimulatedFrame>();
        EXPECT_FALSE(frame->attachFlashFile(file));
        auto link = makeSimTransport(frame);
        uint16_t pid = 0;
        ASSERT_TRUE(link->open(pid));
        const Report w = command(28, {0x00, 0x10, 0x01, 4, 0x46, 0x49, 0x57, 0x46});
        ASSERT_EQ(link->write(w.data(), 1000), device::IoResult::Ok);
        Report r{};
        ASSERT_EQ(link->read(r.data(), 1000), device::IoResult::Ok);
        ASSERT_EQ(r[2], 0x22);
        EXPECT_EQ(fs::file_size(file), 2u * 0x20000) << "saved right after the change";
    }
    auto again = std::make_shared<SimulatedFrame>();
    ASSERT_TRUE(again->attachFlashFile(file));
    EXPECT_TRUE(again->calibrationRecordValid(Unit::Slave));
    EXPECT_FALSE(again->calibrationRecordValid(Unit::Master));
    EXPECT_FALSE(fs::exists(fs::path(file) += ".tmp"));
}

TEST_F(SimPersistence, ThrottledChangesReachTheFileOnFlush)
{
    auto frame = std::make_shared<SimulatedFrame>();
    frame->attachFlashFile(file, PersistPolicy::Throttled);
    const std::array<uint8_t, 2> first{1, 2};
    const std::array<uint8_t, 2> second{3, 4};
    frame->setFlash(Unit::Master, 0x100, first);
    frame->setFlash(Unit::Master, 0x102, second);  // within the interval: not yet saved
    ASSERT_TRUE(frame->flush());
    auto again = std::make_shared<SimulatedFrame>();
    ASSERT_TRUE(again->attachFlashFile(file));
    EXPECT_EQ(again->readFlash(Unit::Master, 0x100, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(SimPersistence, FileOfWrongSizeIsNotLoaded)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "short";
    auto frame = std::make_shared<SimulatedFrame>();
    writeFactoryContents(*frame);
    EXPECT_FALSE(frame->attachFlashFile(file));
    EXPECT_TRUE(frame->calibrationRecordValid(Unit::Master));
    ASSERT_TRUE(frame->flush());
    EXPECT_EQ(fs::file_size(file), 2u * 0x20000);
}

TEST_F(SimPersistence, DefaultFrameIsFactoryCalibratedAndKeepsChanges)
{
    ASSERT_EQ(::setenv("TOVRIN_SIM_FLASH", file.c_str(), 1), 0);
    EXPECT_EQ(defaultFlashFilePath(), file);
    {
        auto frame = makeDefaultSimulatedFrame();
        auto link = makeSimTransport(frame);
        uint16_t pid = 0;
        ASSERT_TRUE(link->open(pid));
        EXPECT_EQ(pid, 0x0055);
        const Report status = command(48);
        Report r{};
        ASSERT_EQ(link->write(status.data(), 2000), device::IoResult::Ok);
        ASSERT_EQ(link->read(r.data(), 2000), device::IoResult::Ok);
        EXPECT_EQ(r[3], 3);
        EXPECT_EQ(u32At(r, 5), 0u);
        EXPECT_EQ(u32At(r, 9), 0u);
        EXPECT_EQ(r[4], 0x22) << "a calibrated frame starts in work mode";

        // The window that the acceptance rule wants across the middle, and
        // valid screen and hardware records; the window tests check what the
        // tool shows of the rest.
        for (Unit u : {Unit::Master, Unit::Slave}) {
            const auto record = frame->readFlash(u, 0x11000, 12);
            EXPECT_LT(record[8] | (record[9] << 8), 320);
            EXPECT_GT(record[10] | (record[11] << 8), 320);
            EXPECT_EQ(frame->readFlash(u, 0x18000, 4), (std::vector<uint8_t>{0x46, 0x49, 0x43, 0x41}));
            EXPECT_EQ(frame->readFlash(u, 0x10000, 4), (std::vector<uint8_t>{'A', 'G', 'P', 'F'}));
        }
        // Erase the Slave record through the link and shut down.
        const Report erase = command(32, {0x00, 0x10, 0x01, 1, 0});
        ASSERT_EQ(link->write(erase.data(), 2000), device::IoResult::Ok);
        ASSERT_EQ(link->read(r.data(), 2000), device::IoResult::Ok);
        link->close();
    }
    auto again = makeDefaultSimulatedFrame();
    EXPECT_TRUE(again->calibrationRecordValid(Unit::Master));
    EXPECT_FALSE(again->calibrationRecordValid(Unit::Slave)) << "the erase survived the restart";
    EXPECT_EQ(again->mode(), 0xFF);
    ::unsetenv("TOVRIN_SIM_FLASH");
}

} // namespace
} // namespace tovrin::sim::test
