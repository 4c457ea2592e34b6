// The simulated boot loader: images only in the boot loader, the order of
// first, middle and last blocks, the program it keeps, whether the
// application may start, its faults, and its state across a restart of the
// tool.

#include "SimReports.h"
#include "sim/BootLoader.h"
#include "sim/SimEnvironment.h"

#include <QTemporaryDir>

namespace tovrin::sim::test {
namespace {

constexpr uint8_t kReboot = 56;
constexpr uint8_t kFirst = 0x80;
constexpr uint8_t kLast = 0x40;

class SimBootLoader : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        enterBootLoader();
    }
    void enterBootLoader()
    {
        frame->reenumerate(true);
        ASSERT_TRUE(link->open(pid));
        ASSERT_EQ(pid, 0x0042);
    }
    // Restarts the frame into its application; the product ID it comes back with.
    uint16_t rebootToApplication()
    {
        done(command(kReboot, {0x55}));
        EXPECT_TRUE(link->open(pid));
        return pid;
    }
    // Writes the HInfo magic of a unit with flash commands (9 Master, 28 Slave).
    void writeMagic(Unit unit)
    {
        done(command(unit == Unit::Master ? 13 : 32, {0x00, 0x00, 0x01, 1, 0}));
        done(command(unit == Unit::Master ? 9 : 28, {0x00, 0x00, 0x01, 4, 'A', 'G', 'P', 'F'}));
    }
};

TEST_F(SimBootLoader, ServesOnlyWhatAnUpdateNeeds)
{
    const Report status = done(command(48));
    EXPECT_EQ(status[3], 1) << "not ready";
    EXPECT_EQ(status[5] & 0x01, 0x01) << "firmware not ready bit";
    done(command(10, {0x00, 0x30, 0x01, 8}));        // image information
    done(command(13, {0x00, 0x00, 0x01, 1, 0}));     // erase for HInfo
    done(command(28, {0x04, 0x00, 0x01, 2, 1, 0}));  // Slave flash write
    EXPECT_EQ(statusOf(command(14, {0xFF})), 0xFF);
    EXPECT_EQ(statusOf(command(5, {0x30, 0x00, 1, 0})), 0xFF);
    std::array<uint8_t, 3> feature{7, 0, 0};
    EXPECT_FALSE(link->getFeature(feature.data()));
}

TEST_F(SimBootLoader, CollectsImagesPerUnitAndPort)
{
    // Master firmware (47): first, middle, last block.
    done(command(0x80 | 47, {1, 2, 3}));
    EXPECT_EQ(frame->downloadInProgress(Unit::Master, kPortFirmware).blocks, 1);
    done(command(47, {4}));
    done(command(0x40 | 47, {5}));
    // Slave second image (52): one short block, flagged last only.
    done(command(0x40 | 52, {9, 8}));

    const auto firmware = frame->downloadedImages(Unit::Master, kPortFirmware);
    ASSERT_EQ(firmware.size(), 1u);
    EXPECT_EQ(firmware[0].blocks, 3);
    EXPECT_TRUE(firmware[0].startedWithFirstBlock);
    ASSERT_EQ(firmware[0].data.size(), 3u * 62);
    EXPECT_EQ(firmware[0].data[2], 3);
    EXPECT_EQ(firmware[0].data[62], 4);
    EXPECT_EQ(firmware[0].data[124], 5);

    const auto second = frame->downloadedImages(Unit::Slave, kPortSecondImage);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].blocks, 1);
    EXPECT_FALSE(second[0].startedWithFirstBlock);
    EXPECT_EQ(second[0].data[1], 8);
    EXPECT_TRUE(frame->downloadedImages(Unit::Slave, kPortFirmware).empty());
    EXPECT_TRUE(frame->downloadedImages(Unit::Master, kPortSecondImage).empty());
}

TEST_F(SimBootLoader, BlocksOutOfOrderAreRefused)
{
    EXPECT_EQ(statusOf(command(47, {1})), 0xFF) << "a middle block without a first";
    EXPECT_EQ(statusOf(command(kFirst | kLast | 47, {1})), 0xFF) << "first and last at once";
    done(command(kFirst | 47, {1}));
    done(command(kFirst | 47, {2}));  // a new first block starts the image again
    done(command(47, {3}));
    done(command(kLast | 47, {4}));
    const auto program = frame->bootProgram(Unit::Master, kPortFirmware);
    ASSERT_EQ(program.size(), 3u * 62);
    EXPECT_EQ(program[0], 2);
    EXPECT_EQ(program[62], 3);
    EXPECT_EQ(program[124], 4);
    EXPECT_EQ(statusOf(command(47, {5})), 0xFF) << "the image is complete";
}

TEST_F(SimBootLoader, ImagesPastTheProgramAreaAreRefused)
{
    done(command(kFirst | 52, {1}));
    const int blocks = static_cast<int>((BootLoader::kSecondImageArea + 61) / 62);
    for (int i = 1; i < blocks; ++i)
        done(command(52, {2}));
    EXPECT_EQ(statusOf(command(kLast | 52, {3})), 0xFF);
    EXPECT_TRUE(frame->bootProgram(Unit::Slave, kPortSecondImage).empty());
}

TEST_F(SimBootLoader, HalfAnImageKeepsTheFrameInItsBootLoader)
{
    done(command(kFirst | 31, {1}));  // Slave firmware, never finished
    EXPECT_FALSE(frame->applicationBootable());
    EXPECT_EQ(rebootToApplication(), 0x0042);
    // A complete image with its image information lets the application start.
    done(command(kFirst | 31, {1}));
    done(command(kLast | 31, {2}));
    writeMagic(Unit::Slave);
    EXPECT_TRUE(frame->applicationBootable());
    EXPECT_EQ(rebootToApplication(), 0x0055);
}

TEST_F(SimBootLoader, ErasedImageInformationKeepsItThereAcrossAPowerCycle)
{
    done(command(13, {0x00, 0x00, 0x01, 1, 0}));  // Master 0x10000
    frame->unplug();
    frame->plug();
    EXPECT_TRUE(frame->inBootLoader());
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, 0x0042);
    // Only the magic, written last, makes it whole again.
    done(command(9, {0x04, 0x00, 0x01, 2, 1, 0}));
    EXPECT_FALSE(frame->applicationBootable());
    done(command(9, {0x00, 0x00, 0x01, 4, 'A', 'G', 'P', 'F'}));
    EXPECT_TRUE(frame->applicationBootable());
}

TEST_F(SimBootLoader, BlockFaults)
{
    ASSERT_EQ(applyFaultItems(*frame, "refuse-block=2"), "");
    done(command(kFirst | 46, {1}));
    EXPECT_EQ(statusOf(command(46, {2})), 0xFF);
    done(command(46, {3}));
    ASSERT_EQ(applyFaultItems(*frame, "unplug-at-block=1"), "");
    const Answer a = send(command(kLast | 46, {4}));
    EXPECT_EQ(a.write, device::IoResult::Ok);
    EXPECT_EQ(a.read, device::IoResult::NotConnected);
    EXPECT_FALSE(frame->isPlugged());
    frame->plug();
    EXPECT_TRUE(frame->inBootLoader()) << "the second image was never finished";
}

TEST_F(SimBootLoader, MuteAndGoneBootLoaders)
{
    ASSERT_EQ(applyFaultItems(*frame, "bootloader-mute"), "");
    const Answer a = send(command(48));
    EXPECT_EQ(a.read, device::IoResult::TimedOut);
    frame->clearFaults();
    done(command(48));

    ASSERT_EQ(applyFaultItems(*frame, "bootloader-gone"), "");
    done(command(kReboot, {0x42}));
    EXPECT_FALSE(link->open(pid)) << "the boot loader never shows up again";
    frame->unplug();
    frame->plug();  // a power cycle brings the application back
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, 0x0055);
}

TEST(SimBootLoaderState, SurvivesARestartOfTheTool)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path file = dir.filePath(QStringLiteral("frame.bin")).toStdString();
    {
        SimulatedFrame frame;
        frame.attachFlashFile(file);
        frame.reenumerate(true);
        auto link = makeSimTransport(std::shared_ptr<SimulatedFrame>(&frame, [](SimulatedFrame*) {}));
        uint16_t pid = 0;
        ASSERT_TRUE(link->open(pid));
        const Report first = command(kFirst | 47, {1});
        ASSERT_EQ(link->write(first.data(), 1000), device::IoResult::Ok);
        Report reply{};
        ASSERT_EQ(link->read(reply.data(), 1000), device::IoResult::Ok);
        link->close();
        frame.flush();
    }
    SimulatedFrame again;
    ASSERT_TRUE(again.attachFlashFile(file));
    again.unplug();
    again.plug();
    EXPECT_TRUE(again.inBootLoader());
    EXPECT_EQ(again.productId(), 0x0042);
}

} // namespace
} // namespace tovrin::sim::test
