// Plugging, unplugging and re-enumeration as a machine shows them: udev
// events of the faked sysfs, seen by UdevMonitor, and the engineering
// window's detection thread on HidapiTransport following the frame through
// an update's 0x0055 -> 0x0042 -> 0x0055 round trip.
#include "device/Detection.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/HidapiTransport.h"
#include "device/UdevMonitor.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "tests/support/HidrawBridge.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tovrin;
using namespace tovrin::device;

namespace {

class HidrawPlug : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The frame's fixed waits (the status test's 3 s) shortened tenfold.
        setSleeper([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms / 10 + 1)); });
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        setTransport(std::make_shared<HidapiTransport>());
    }
    void TearDown() override
    {
        if (thread) {
            thread->requestStop();
            thread->wait();
        }
        thread.reset();
        setTransport(nullptr);
        bridge.reset();
        setSleeper({});
    }

    void startDetection()
    {
        DeviceCheckState = kStateOpen;
        UpdateExpected = 0;
        thread = std::make_unique<GetDeviceConfigThread>();
        QObject::connect(
            thread.get(), &DetectionThread::sendShowData, thread.get(),
            [this](int code) {
                const std::lock_guard lock(m_mutex);
                m_codes.push_back(code);
            },
            Qt::DirectConnection);
        thread->startWork();
    }
    // Waits (running the event loop, for the monitor) until the detection
    // reported code; the codes reported so far are dropped.
    bool waitForCode(int code, int waitMs = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                const std::lock_guard lock(m_mutex);
                for (size_t i = 0; i < m_codes.size(); ++i)
                    if (m_codes[i] == code) {
                        m_codes.erase(m_codes.begin(), m_codes.begin() + static_cast<long>(i) + 1);
                        return true;
                    }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    static bool waitForSignal(QSignalSpy& spy, int count)
    {
        for (int i = 0; i < 100 && spy.count() < count; ++i)
            spy.wait(100);
        return spy.count() >= count;
    }

    std::shared_ptr<sim::SimulatedFrame> frame;
    std::unique_ptr<test::HidrawBridge> bridge;
    std::unique_ptr<GetDeviceConfigThread> thread;

private:
    std::mutex m_mutex;
    std::vector<int> m_codes;
};

TEST_F(HidrawPlug, UnpluggedAndPluggedBackWhileWatching)
{
    // The testbed first: umockdev's udev stands in for the machine's only
    // for monitors made while it exists.
    bridge = std::make_unique<test::HidrawBridge>(frame);
    UdevMonitor monitor;
    ASSERT_TRUE(monitor.isActive());
    QSignalSpy added(&monitor, &UdevMonitor::deviceAdded);
    QSignalSpy removed(&monitor, &UdevMonitor::deviceRemoved);

    startDetection();
    ASSERT_TRUE(waitForCode(detection::kApplicationOpened));
    EXPECT_EQ(g_getStatusError.load(), kStatusReady);

    frame->unplug();
    ASSERT_TRUE(waitForSignal(removed, 1));
    EXPECT_EQ(removed.last().at(0).toString(), QStringLiteral("/dev/hidraw0"));
    ASSERT_TRUE(waitForCode(detection::kNoFrame));

    frame->plug();
    ASSERT_TRUE(waitForSignal(added, 1));
    EXPECT_EQ(added.last().at(0).toString(), QStringLiteral("/dev/hidraw0"));
    ASSERT_TRUE(waitForCode(detection::kAppeared));
    ASSERT_TRUE(waitForCode(detection::kApplicationOpened));
    EXPECT_EQ(bridge->enumerations(), 2);
}

TEST_F(HidrawPlug, UpdateRoundTripThroughTheBootLoader)
{
    bridge = std::make_unique<test::HidrawBridge>(frame);
    UdevMonitor monitor;
    ASSERT_TRUE(monitor.isActive());
    QSignalSpy added(&monitor, &UdevMonitor::deviceAdded);
    QSignalSpy removed(&monitor, &UdevMonitor::deviceRemoved);
    startDetection();
    ASSERT_TRUE(waitForCode(detection::kApplicationOpened));
    const int addedBefore = static_cast<int>(added.count());

    // As the engineering window starts an update: restart into the boot
    // loader, then have the thread wait for it.
    UpdateExpected = 1;
    ASSERT_TRUE(Reboot(0x42));
    CheckCount = 0;
    DeviceCheckState = kStateWaitBootLoader;
    ASSERT_TRUE(waitForCode(detection::kBootLoaderOpened));
    EXPECT_EQ(frame->productId(), kBootLoaderProductId);
    ASSERT_TRUE(waitForSignal(removed, 1));
    ASSERT_TRUE(waitForSignal(added, addedBefore + 1));

    // The download done, back into the application.
    ASSERT_TRUE(Reboot(0x55));
    CheckCount = 0;
    DeviceCheckState = kStateWaitApplication;
    ASSERT_TRUE(waitForCode(detection::kApplicationOpened));
    UpdateExpected = 0;
    ASSERT_TRUE(waitForSignal(removed, 2));
    ASSERT_TRUE(waitForSignal(added, addedBefore + 2));
    EXPECT_EQ(bridge->enumerations(), 3);
    uint16_t pid = 0;
    EXPECT_EQ(CheckHidDevice(pid), kCheckFrameOk);
    EXPECT_EQ(pid, 0x0055);
}

} // namespace
