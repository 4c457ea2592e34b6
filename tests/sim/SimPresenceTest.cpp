// Presence, identity and reboot re-enumeration.

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
