#include "tests/support/HidrawBridge.h"

#include "tests/support/FakeHid.h"
#include "tests/support/HidrawWait.h"

#include <umockdev.h>

#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace tovrin::test {

namespace {

using device::IoResult;
using device::kReportSize;

constexpr int kFeatureSize = 3;  // report ID and two bytes
constexpr auto kMirrorPeriod = std::chrono::milliseconds(2);

} // namespace

struct HidrawBridge::State {
    std::shared_ptr<sim::SimulatedFrame> frame;
    UMockdevTestbed* bed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::string devFile;  // <testbed>/dev/hidraw0

    // What sysfs shows; the testbed is touched under this lock only.
    mutable std::mutex bedMutex;
    bool announced = false;
    uint64_t probe = 0;  // a handle of the enumeration sysfs shows
    uint16_t announcedPid = 0;
    int instance = 0;
    gchar* hidPath = nullptr;
    gchar* rawPath = nullptr;

    // One open node of a client: its frame handle, and the report a poll
    // found for the read that follows it.
    struct Client {
        uint64_t handle = 0;
        bool hasReport = false;
        std::array<uint8_t, kReportSize> report{};
    };
    std::mutex clientMutex;
    std::map<UMockdevIoctlClient*, Client> clients;

    // Waits run on their own thread: umockdev's worker must stay free.
    struct Wait {
        UMockdevIoctlClient* client;  // referenced
        uint64_t handle;
        int ms;
    };
    std::mutex waitMutex;
    std::condition_variable waitWake;
    std::deque<Wait> waits;
    bool stopping = false;
    std::thread waiter;

    std::deque<std::array<uint8_t, kReportSize>> injected;  // under clientMutex
    std::atomic<int> interrupts{0};
    bool interrupted()
    {
        int n = interrupts.load();
        while (n > 0 && !interrupts.compare_exchange_weak(n, n - 1)) {
        }
        return n > 0;
    }

    std::atomic<bool> stopMirror{false};
    std::thread mirror;

    void announce(uint64_t handle, uint16_t pid);
    void withdraw();
    void mirrorOnce();
    void runWaits();
    uint64_t handleOf(UMockdevIoctlClient* client);
};

void HidrawBridge::State::announce(uint64_t handle, uint16_t pid)
{
    // The node's file first: a monitor that reacts to the "add" finds it.
    if (std::FILE* f = std::fopen(devFile.c_str(), "w"))
        std::fclose(f);
    const FakeHidPaths added = addFakeHid(bed, 0, ++instance, device::kFrameVendorId, pid, kFrameDescriptor);
    hidPath = added.hid;
    rawPath = added.raw;
    probe = handle;
    announcedPid = pid;
    announced = true;
}

void HidrawBridge::State::withdraw()
{
    // The node goes first, then the HID device, as the kernel removes them.
    umockdev_testbed_uevent(bed, rawPath, "remove");
    umockdev_testbed_uevent(bed, hidPath, "remove");
    umockdev_testbed_remove_device(bed, rawPath);
    umockdev_testbed_remove_device(bed, hidPath);
    std::remove(devFile.c_str());
    g_free(rawPath);
    g_free(hidPath);
    rawPath = hidPath = nullptr;
    announced = false;
    probe = 0;
}

void HidrawBridge::State::mirrorOnce()
{
    const std::lock_guard lock(bedMutex);
    uint16_t pid = 0;
    if (announced) {
        if (frame->checkHandle(probe, pid) == device::kCheckFrameOk)
            return;
        withdraw();
    }
    // Opening empties the frame's input queue; no host can hold a handle of
    // this enumeration yet, since sysfs does not show it.
    uint64_t handle = 0;
    if (frame->openHandle(handle, pid))
        announce(handle, pid);
}

uint64_t HidrawBridge::State::handleOf(UMockdevIoctlClient* client)
{
    const std::lock_guard lock(clientMutex);
    const auto it = clients.find(client);
    return it == clients.end() ? 0 : it->second.handle;
}

void HidrawBridge::State::runWaits()
{
    for (;;) {
        Wait w{};
        {
            std::unique_lock lock(waitMutex);
            waitWake.wait(lock, [this] { return stopping || !waits.empty(); });
            if (waits.empty())
                return;
            w = waits.front();
            waits.pop_front();
        }
        std::array<uint8_t, kReportSize> report{};
        // A wait "until a report comes" is bounded here by the longest wait of a command.
        const uint32_t ms = w.ms < 0 ? 60000u : static_cast<uint32_t>(w.ms);
        IoResult r = IoResult::TimedOut;
        {
            bool stop = false;
            {
                const std::lock_guard lock(waitMutex);
                stop = stopping;
            }
            if (!stop)
                r = frame->readReport(w.handle, report.data(), ms);
        }
        if (r == IoResult::Ok) {
            const std::lock_guard lock(clientMutex);
            const auto it = clients.find(w.client);
            if (it != clients.end()) {
                it->second.report = report;
                it->second.hasReport = true;
            }
        }
        if (umockdev_ioctl_client_get_connected(w.client)) {
            if (r == IoResult::Ok)
                umockdev_ioctl_client_complete(w.client, 1, 0);
            else if (r == IoResult::NotConnected)
                umockdev_ioctl_client_complete(w.client, -1, ENODEV);
            else
                umockdev_ioctl_client_complete(w.client, 0, 0);
        }
        g_object_unref(w.client);
    }
}

namespace {

using State = HidrawBridge::State;

void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    auto* s = static_cast<State*>(data);
    // A node opened while sysfs shows the frame belongs to that enumeration;
    // a freshly opened hidraw node starts without queued reports.
    uint64_t handle = 0;
    {
        const std::lock_guard lock(s->bedMutex);
        uint16_t pid = 0;
        if (s->announced && s->frame->checkHandle(s->probe, pid) == device::kCheckFrameOk) {
            uint64_t opened = 0;
            if (s->frame->openHandle(opened, pid) && opened == s->probe)
                handle = opened;
        }
    }
    const std::lock_guard lock(s->clientMutex);
    s->clients[client] = State::Client{handle, false, {}};
}

void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    auto* s = static_cast<State*>(data);
    {
        const std::lock_guard lock(s->clientMutex);
        s->clients.erase(client);
    }
    s->frame->handleClosed();
}

gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    auto* s = static_cast<State*>(data);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const int len = arg->data_len;
    if (len < 1) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    // The frame takes whole 64-byte reports; what the host wrote is padded
    // or cut to that, as the USB transfer would be.
    if (s->interrupted()) {
        umockdev_ioctl_client_complete(client, -1, EINTR);
        return TRUE;
    }
    std::array<uint8_t, kReportSize> report{};
    std::memcpy(report.data(), arg->data, static_cast<size_t>(std::min(len, kReportSize)));
    switch (s->frame->writeReport(s->handleOf(client), report.data())) {
    case IoResult::Ok:
        umockdev_ioctl_client_complete(client, len, 0);
        break;
    case IoResult::NotConnected:
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        break;
    case IoResult::TimedOut:
        umockdev_ioctl_client_complete(client, -1, ETIMEDOUT);
        break;
    case IoResult::Failed:
        umockdev_ioctl_client_complete(client, -1, EIO);
        break;
    }
    return TRUE;
}

gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    auto* s = static_cast<State*>(data);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::array<uint8_t, kReportSize> report{};
    bool have = false;
    uint64_t handle = 0;
    {
        const std::lock_guard lock(s->clientMutex);
        const auto it = s->clients.find(client);
        if (it != s->clients.end()) {
            handle = it->second.handle;
            if (it->second.hasReport) {
                report = it->second.report;
                it->second.hasReport = false;
                have = true;
            }
        }
    }
    if (!have) {
        // A read without a poll before it: only a report already there.
        const IoResult r = s->frame->readReport(handle, report.data(), 0);
        if (r == IoResult::NotConnected) {
            umockdev_ioctl_client_complete(client, -1, EIO);
            return TRUE;
        }
        if (r != IoResult::Ok) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
    }
    const int n = std::min(arg->data_len, kReportSize);
    std::memcpy(arg->data, report.data(), static_cast<size_t>(n));
    umockdev_ioctl_client_complete(client, n, 0);
    return TRUE;
}

// Copies bytes into the client's memory at the ioctl argument.
bool answer(UMockdevIoctlClient* client, const void* bytes, size_t size)
{
    GError* error = nullptr;
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (!d) {
        g_clear_error(&error);
        return false;
    }
    std::memcpy(d->data, bytes, size);
    return true;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    auto* s = static_cast<State*>(data);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const uint64_t handle = s->handleOf(client);
    uint16_t pid = 0;
    if (request == kHidrawBridgeWait) {
        if (s->interrupted()) {
            umockdev_ioctl_client_complete(client, -1, EINTR);
            return TRUE;
        }
        // The argument is the wait itself (HidrawWait.h).
        long ms = 0;
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        std::memcpy(&ms, arg->data, std::min(sizeof ms, static_cast<size_t>(arg->data_len)));
        {
            const std::lock_guard lock(s->clientMutex);
            const auto it = s->clients.find(client);
            if (it != s->clients.end() && !it->second.hasReport && !s->injected.empty()) {
                it->second.report = s->injected.front();
                it->second.hasReport = true;
                s->injected.pop_front();
            }
            if (it != s->clients.end() && it->second.hasReport) {
                umockdev_ioctl_client_complete(client, 1, 0);
                return TRUE;
            }
        }
        const std::lock_guard lock(s->waitMutex);
        s->waits.push_back({static_cast<UMockdevIoctlClient*>(g_object_ref(client)), handle, static_cast<int>(ms)});
        s->waitWake.notify_one();
        return TRUE;
    }
    // The kernel answers every request of a node whose device is gone with ENODEV.
    if (s->frame->checkHandle(handle, pid) == device::kCheckGone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    if (request == HIDIOCGRDESCSIZE) {
        const int size = static_cast<int>(kFrameDescriptor.size());
        umockdev_ioctl_client_complete(client, answer(client, &size, sizeof size) ? 0 : -1, 0);
        return TRUE;
    }
    if (request == HIDIOCGRDESC) {
        hidraw_report_descriptor d{};
        d.size = static_cast<uint32_t>(kFrameDescriptor.size());
        std::copy(kFrameDescriptor.begin(), kFrameDescriptor.end(), d.value);
        umockdev_ioctl_client_complete(client, answer(client, &d, sizeof d) ? 0 : -1, 0);
        return TRUE;
    }
    if (request == HIDIOCGRAWINFO) {
        hidraw_devinfo info{};
        info.bustype = BUS_USB;
        info.vendor = static_cast<int16_t>(device::kFrameVendorId);
        info.product = static_cast<int16_t>(pid);
        umockdev_ioctl_client_complete(client, answer(client, &info, sizeof info) ? 0 : -1, 0);
        return TRUE;
    }
    if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == _IOC_NR(HIDIOCGFEATURE(0))) {
        const size_t len = _IOC_SIZE(request);
        GError* error = nullptr;
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, len, &error);
        if (!d || len < 1) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        std::array<uint8_t, kFeatureSize> buffer{d->data[0], 0, 0};
        // A report the device does not have stalls the control transfer.
        if (!s->frame->featureReport(handle, buffer.data())) {
            umockdev_ioctl_client_complete(client, -1, EPIPE);
            return TRUE;
        }
        const size_t n = std::min(len, buffer.size());
        std::memcpy(d->data, buffer.data(), n);
        umockdev_ioctl_client_complete(client, static_cast<glong>(n), 0);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

} // namespace

HidrawBridge::HidrawBridge(std::shared_ptr<sim::SimulatedFrame> frame)
    : m(std::make_unique<State>())
{
    m->frame = std::move(frame);
    m->bed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(m->bed);
    const std::string devDir = std::string(root) + "/dev";
    g_free(root);
    g_mkdir_with_parents(devDir.c_str(), 0755);
    m->devFile = devDir + "/hidraw0";

    m->handler = umockdev_ioctl_base_new();
    g_signal_connect(m->handler, "client-connected", G_CALLBACK(onConnected), m.get());
    g_signal_connect(m->handler, "client-vanished", G_CALLBACK(onVanished), m.get());
    g_signal_connect(m->handler, "handle-ioctl", G_CALLBACK(onIoctl), m.get());
    g_signal_connect(m->handler, "handle-read", G_CALLBACK(onRead), m.get());
    g_signal_connect(m->handler, "handle-write", G_CALLBACK(onWrite), m.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m->bed, nodePath().c_str(), m->handler, &error)) {
        std::fprintf(stderr, "hidraw bridge: %s\n", error ? error->message : "cannot attach");
        g_clear_error(&error);
    }
    m->waiter = std::thread([s = m.get()] { s->runWaits(); });
    m->mirrorOnce();
    m->mirror = std::thread([s = m.get()] {
        while (!s->stopMirror.load()) {
            std::this_thread::sleep_for(kMirrorPeriod);
            s->mirrorOnce();
        }
    });
}

HidrawBridge::~HidrawBridge()
{
    m->stopMirror = true;
    m->mirror.join();
    {
        const std::lock_guard lock(m->waitMutex);
        m->stopping = true;
    }
    m->waitWake.notify_all();
    m->waiter.join();
    {
        const std::lock_guard lock(m->bedMutex);
        if (m->announced)
            m->withdraw();
    }
    GError* error = nullptr;
    if (!umockdev_testbed_detach_ioctl(m->bed, nodePath().c_str(), &error))
        g_clear_error(&error);
    g_object_unref(m->handler);
    g_object_unref(m->bed);
    m->frame->flush();
}

std::string HidrawBridge::nodePath()
{
    return "/dev/hidraw0";
}

void HidrawBridge::withTestbed(const std::function<void(UMockdevTestbed*)>& change)
{
    const std::lock_guard lock(m->bedMutex);
    change(m->bed);
}

const std::shared_ptr<sim::SimulatedFrame>& HidrawBridge::frame() const
{
    return m->frame;
}

bool HidrawBridge::waitUntilMirrored(int waitMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    do {
        {
            const std::lock_guard lock(m->bedMutex);
            uint16_t pid = 0;
            if (m->announced) {
                if (m->frame->checkHandle(m->probe, pid) == device::kCheckFrameOk && pid == m->announcedPid)
                    return true;
            } else if (!m->frame->isPlugged()) {
                return true;
            }
        }
        std::this_thread::sleep_for(kMirrorPeriod);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

void HidrawBridge::interruptNextCalls(int count)
{
    m->interrupts = count;
}

void HidrawBridge::injectInputReport(const std::array<uint8_t, device::kReportSize>& report)
{
    const std::lock_guard lock(m->clientMutex);
    m->injected.push_back(report);
}

int HidrawBridge::enumerations() const
{
    const std::lock_guard lock(m->bedMutex);
    return m->instance;
}

std::string HidrawBridge::childPreload()
{
    std::string preload;
    if (const char* p = std::getenv("LD_PRELOAD"))
        preload = p;
    if (!preload.empty())
        preload += ':';
    return preload + TOVRIN_HIDRAW_POLL_LIBRARY;
}

} // namespace tovrin::test
