// HidapiTransport in this process on the faked hidraw node: what hidapi's
// hidraw backend makes of open, reports both ways, time-outs, feature report
// 7 and a frame that leaves the bus or comes back as another device.
#include "device/HidapiTransport.h"
#include "tests/support/FakeHid.h"
#include "tests/support/HidrawBridge.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <array>
#include <chrono>
#include <memory>
#include <vector>
#include <thread>

using namespace tovrin;
using device::IoResult;

namespace {

constexpr uint8_t kGetStatus = 48;

class HidrawBridgeTransport : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        bridge = std::make_unique<test::HidrawBridge>(frame);
        ASSERT_TRUE(bridge->waitUntilMirrored());
    }
    void TearDown() override
    {
        transport.close();
        bridge.reset();
    }
    IoResult send(uint8_t command)
    {
        std::array<uint8_t, device::kReportSize> out{3, command};
        return transport.write(out.data(), 1000);
    }

    std::shared_ptr<sim::SimulatedFrame> frame;
    std::unique_ptr<test::HidrawBridge> bridge;
    device::HidapiTransport transport;
    std::array<uint8_t, device::kReportSize> in{};
    uint16_t pid = 0;
};

TEST_F(HidrawBridgeTransport, CommandAndReplyThroughTheNode)
{
    ASSERT_TRUE(transport.open(pid));
    EXPECT_EQ(pid, 0x0055);
    EXPECT_EQ(transport.path(), "/dev/hidraw0");
    EXPECT_EQ(transport.check(pid), device::kCheckFrameOk);

    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    ASSERT_EQ(transport.read(in.data(), 1000), IoResult::Ok);
    EXPECT_EQ(in[0], 3);
    EXPECT_EQ(in[1], kGetStatus);
    EXPECT_EQ(in[2], 0x22);
    EXPECT_EQ(frame->commandsSeen(kGetStatus), 1u);
    // Nothing more is waiting.
    EXPECT_EQ(transport.read(in.data(), 0), IoResult::TimedOut);
}

TEST_F(HidrawBridgeTransport, ReplyThatNeverComesCostsTheWholeWaitUnlessPulledOut)
{
    frame->setRealTimeouts(true);
    frame->dropNextReplies(1);
    ASSERT_TRUE(transport.open(pid));
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.read(in.data(), 150), IoResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    // The next transfer starts at once, and the link works on.
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    ASSERT_EQ(transport.read(in.data(), 1000), IoResult::Ok);
    EXPECT_EQ(in[1], kGetStatus);
    // Pulled out while waiting for the reply: the wait ends there.
    frame->dropNextReplies(1);
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    std::thread puller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        frame->unplug();
    });
    EXPECT_EQ(transport.read(in.data(), 5000), IoResult::NotConnected);
    puller.join();
}

TEST_F(HidrawBridgeTransport, LateReplyWaitsForTheNextRead)
{
    frame->answerLate(1);
    ASSERT_TRUE(transport.open(pid));
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    EXPECT_EQ(transport.read(in.data(), 100), IoResult::TimedOut);
    ASSERT_EQ(transport.read(in.data(), 100), IoResult::Ok);
    EXPECT_EQ(in[1], kGetStatus);
}

TEST_F(HidrawBridgeTransport, KeyStateIsFeatureReportSeven)
{
    frame->setKeyState(2, 5);
    ASSERT_TRUE(transport.open(pid));
    std::array<uint8_t, device::kFeatureReportSize> feature{7, 0, 0};
    ASSERT_TRUE(transport.getFeature(feature.data()));
    EXPECT_EQ(feature[1], 2);
    EXPECT_EQ(feature[2], 5);
    // A report the frame does not have is refused.
    feature = {6, 0, 0};
    EXPECT_FALSE(transport.getFeature(feature.data()));
}

TEST_F(HidrawBridgeTransport, PulledOutTheOpenNodeIsDead)
{
    ASSERT_TRUE(transport.open(pid));
    frame->unplug();
    ASSERT_TRUE(bridge->waitUntilMirrored());
    EXPECT_EQ(transport.read(in.data(), 100), IoResult::NotConnected);
    EXPECT_EQ(send(kGetStatus), IoResult::NotConnected);
    std::array<uint8_t, device::kFeatureReportSize> feature{7, 0, 0};
    EXPECT_FALSE(transport.getFeature(feature.data()));
    EXPECT_EQ(transport.check(pid), device::kCheckGone);
    EXPECT_FALSE(device::HidapiTransport().open(pid));

    // Plugged back: a new HID device behind the same node name.
    frame->plug();
    ASSERT_TRUE(bridge->waitUntilMirrored());
    EXPECT_EQ(transport.check(pid), device::kCheckGone) << "the old handle stays dead";
    ASSERT_TRUE(transport.open(pid));
    EXPECT_EQ(bridge->enumerations(), 2);
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    ASSERT_EQ(transport.read(in.data(), 1000), IoResult::Ok);
}

TEST_F(HidrawBridgeTransport, RestartIntoTheBootLoaderIsAnotherDevice)
{
    ASSERT_TRUE(transport.open(pid));
    frame->reenumerate(true);
    ASSERT_TRUE(bridge->waitUntilMirrored());
    EXPECT_EQ(transport.check(pid), device::kCheckGone);
    ASSERT_TRUE(transport.open(pid));
    EXPECT_EQ(pid, device::kBootLoaderProductId);
    frame->reenumerate(false);
    ASSERT_TRUE(bridge->waitUntilMirrored());
    ASSERT_TRUE(transport.open(pid));
    EXPECT_EQ(pid, 0x0055);
    EXPECT_EQ(bridge->enumerations(), 3);
}

TEST_F(HidrawBridgeTransport, NamedNodeIsOpenedOnlyWhenItIsTheFrame)
{
    // A keyboard beside the frame, at hidraw1.
    test::FakeHidPaths keyboard;
    bridge->withTestbed([&](UMockdevTestbed* bed) {
        keyboard = test::addFakeHid(bed, 1, 9, 0x046D, 0xC31C, test::kKeyboardDescriptor, "Keyboard");
    });

    device::HidapiTransport keyboardNode("/dev/hidraw1");
    EXPECT_FALSE(keyboardNode.open(pid));
    EXPECT_EQ(pid, device::kNoProductId);
    EXPECT_FALSE(device::HidapiTransport("/dev/hidraw4").open(pid));

    device::HidapiTransport frameNode("/dev/hidraw0");
    ASSERT_TRUE(frameNode.open(pid));
    EXPECT_EQ(pid, 0x0055);
    EXPECT_EQ(frameNode.check(pid), device::kCheckFrameOk);
    std::array<uint8_t, device::kReportSize> out{3, kGetStatus};
    ASSERT_EQ(frameNode.write(out.data(), 1000), IoResult::Ok);
    ASSERT_EQ(frameNode.read(in.data(), 1000), IoResult::Ok);
    // Pulled out and back, the named node is opened again.
    frame->unplug();
    ASSERT_TRUE(bridge->waitUntilMirrored());
    EXPECT_FALSE(frameNode.open(pid));
    frame->plug();
    ASSERT_TRUE(bridge->waitUntilMirrored());
    EXPECT_TRUE(frameNode.open(pid));
    frameNode.close();

    bridge->withTestbed([&](UMockdevTestbed* bed) {
        umockdev_testbed_remove_device(bed, keyboard.raw);
        umockdev_testbed_remove_device(bed, keyboard.hid);
    });
    g_free(keyboard.raw);
    g_free(keyboard.hid);
}

// A signal that reaches the tool while it writes a report or waits for one
// (a child process ending, a timer) interrupts the call before anything
// moved; the transfer goes on, within the wait it had.
TEST_F(HidrawBridgeTransport, SignalDuringATransferIsNotAFailure)
{
    ASSERT_TRUE(transport.open(pid));
    bridge->interruptNextCalls(1);
    EXPECT_EQ(send(kGetStatus), IoResult::Ok);
    bridge->interruptNextCalls(2);
    ASSERT_EQ(transport.read(in.data(), 1000), IoResult::Ok);
    EXPECT_EQ(in[1], kGetStatus);
    EXPECT_EQ(frame->commandsSeen(kGetStatus), 1u);

    // Nothing coming: interrupted or not, the wait ends as a time-out.
    bridge->interruptNextCalls(3);
    EXPECT_EQ(transport.read(in.data(), 200), IoResult::TimedOut);
}

// hidraw gives a node every input report of its USB interface. Where the
// frame's touch-screen collections share the interface with the command
// collection, their reports (other report IDs) are not replies: a touch
// report whose bytes happen to read as "GetStatus done" must not be taken
// for the frame's answer.
TEST_F(HidrawBridgeTransport, ReportOfAnotherCollectionIsNotAReply)
{
    ASSERT_TRUE(transport.open(pid));
    std::array<uint8_t, device::kReportSize> touch{};
    touch[0] = 1;  // the touch screen's report
    touch[1] = kGetStatus;
    touch[2] = 0x22;
    bridge->injectInputReport(touch);
    bridge->injectInputReport(touch);
    ASSERT_EQ(send(kGetStatus), IoResult::Ok);
    ASSERT_EQ(transport.read(in.data(), 1000), IoResult::Ok);
    EXPECT_EQ(in[0], 3);
    EXPECT_EQ(in[1], kGetStatus);
    // Only touch reports: nothing for the command collection within the wait.
    bridge->injectInputReport(touch);
    EXPECT_EQ(transport.read(in.data(), 100), IoResult::TimedOut);
}

} // namespace
