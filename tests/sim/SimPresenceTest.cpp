// Presence, identity, reboot re-enumeration and the boot loader.

#include "SimReports.h"

namespace tovrin::sim::test {
namespace {

using device::IoResult;

constexpr uint8_t kReboot = 56;
constexpr uint8_t kGetStatus = 48;

class SimPresence : public SimFixture {};

// Application product ID the frame is given (0: left at its default), and
// the one it then shows.
class SimReboot : public SimFixture, public ::testing::WithParamInterface<std::pair<uint16_t, uint16_t>> {};

TEST_P(SimReboot, IntoBootLoaderAndBack)
{
    const auto [given, application] = GetParam();
    if (given)
        frame->setApplicationProductId(given);
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, application);

    done(command(kReboot, {0x42}));
    // The answer came; then the frame left the bus and the handle with it.
    expectHandleDead();
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, 0x0042);
    EXPECT_EQ(link->check(pid), device::kCheckFrameOk);
    EXPECT_EQ(pid, 0x0042);

    done(command(kReboot, {0x55}));
    EXPECT_EQ(link->check(pid), device::kCheckGone);
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, application);
}

INSTANTIATE_TEST_SUITE_P(ProductIds, SimReboot,
                         ::testing::Values(std::pair<uint16_t, uint16_t>{0, 0x0055},
                                           std::pair<uint16_t, uint16_t>{0x4B66, 0x4B66}));

TEST_F(SimPresence, FrameStaysAwayDuringReenumerationDelay)
{
    frame->setReenumerationDelay(std::chrono::hours(1));
    done(command(kReboot, {0x42}));
    expectHandleDead();
    expectNoFrame();
}

TEST_F(SimPresence, BootLoaderServesOnlyWhatAnUpdateNeeds)
{
    frame->reenumerate(true);
    ASSERT_TRUE(link->open(pid));
    const Report status = done(command(kGetStatus));
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

TEST_F(SimPresence, BootLoaderCollectsImagesPerUnitAndPort)
{
    frame->reenumerate(true);
    ASSERT_TRUE(link->open(pid));
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

TEST_F(SimPresence, UnplugKillsTheHandleUntilReplugged)
{
    frame->unplug();
    expectHandleDead();
    std::array<uint8_t, 3> feature{7, 0, 0};
    EXPECT_FALSE(link->getFeature(feature.data()));
    expectNoFrame();

    frame->plug();
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(pid, 0x0055);
    done(command(kGetStatus));
}

TEST_F(SimPresence, MissingVendorCollectionLeavesNothingOpen)
{
    frame->setVendorCollectionPresent(false);
    expectNoFrame();
    EXPECT_EQ(link->check(pid), device::kCheckGone);
}

TEST_F(SimPresence, CloseTwiceAndIoWhenClosed)
{
    link->close();
    link->close();
    EXPECT_FALSE(link->isOpen());
    expectHandleDead();
}

} // namespace
} // namespace tovrin::sim::test
