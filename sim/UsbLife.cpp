#include "sim/UsbLife.h"

#include "sim/CommandProtocol.h"
#include "sim/FrameCore.h"

#include <cstring>
#include <thread>

namespace tovrin::sim {

using device::IoResult;

namespace {
constexpr uint8_t kCommandReportId = 3;
constexpr uint8_t kKeyReportId = 7;
} // namespace

uint16_t UsbLife::productId(bool bootLoader) const
{
    return bootLoader ? device::kBootLoaderProductId : applicationPid;
}

void UsbLife::killHandles()
{
    ++epoch;
    clearQueue();
    pendingReboot = 0;
    late.reset();
}

uint8_t* UsbLife::push()
{
    if (m_size == kQueueCapacity) {
        m_head = (m_head + 1) % kQueueCapacity;
        --m_size;
    }
    uint8_t* slot = m_queue[(m_head + m_size) % kQueueCapacity].bytes.data();
    ++m_size;
    std::memset(slot, 0, device::kReportSize);
    slot[0] = kCommandReportId;
    return slot;
}

bool UsbLife::pop(uint8_t* out)
{
    if (m_size == 0)
        return false;
    std::memcpy(out, m_queue[m_head].bytes.data(), device::kReportSize);
    m_head = (m_head + 1) % kQueueCapacity;
    --m_size;
    return true;
}

void UsbLife::clearQueue()
{
    m_head = 0;
    m_size = 0;
}

UsbLife::Report UsbLife::takeNewest()
{
    --m_size;
    return m_queue[(m_head + m_size) % kQueueCapacity];
}

UsbLife::Clock::time_point UsbLife::takeSlot(std::chrono::microseconds latency)
{
    // The host controller polls the endpoint once per USB frame: a report
    // goes out in the first frame after the previous report's frame, or the
    // first frame after now when the bus has been idle. Deadlines lie on the
    // frame grid, so a late wake-up never shifts later reports.
    const auto now = Clock::now();
    auto next = lastSlot + latency;
    if (next < now) {
        const auto behind = now - lastSlot;
        const auto frames = (behind + latency - Clock::duration(1)) / latency;
        next = lastSlot + frames * latency;
    }
    lastSlot = next;
    return next;
}

namespace port {

namespace {

// The wait for the slot leaves the model to other callers; the frame may
// be gone when it ends.
bool awaitSlot(FrameCore& core, Lock& lock, uint64_t handle)
{
    const auto deadline = core.usb.takeSlot(core.faults.link.latency);
    lock.unlock();
    std::this_thread::sleep_until(deadline);
    lock.lock();
    return core.usb.alive(handle);
}

void vanish(FrameCore& core)
{
    core.usb.plugged = false;
    core.usb.killHandles();
    core.inputArrived.notify_all();
}

} // namespace

bool open(FrameCore& core, uint64_t& handle, uint16_t& productId)
{
    UsbLife& usb = core.usb;
    if (!usb.visible() || !usb.vendorCollection) {
        handle = 0;
        productId = device::kNoProductId;
        return false;
    }
    // A new handle starts with an empty input queue, as a freshly opened HID node does.
    usb.clearQueue();
    handle = usb.epoch;
    productId = usb.productId(core.firmware.bootLoader);
    return true;
}

int check(FrameCore& core, uint64_t handle, uint16_t& productId)
{
    core.file.saveIfDue(core.memory, core.loader);
    if (!core.usb.alive(handle))
        return device::kCheckGone;
    productId = core.usb.productId(core.firmware.bootLoader);
    return core.usb.vendorCollection ? device::kCheckFrameOk : device::kCheckWrongCollection;
}

void closed(FrameCore& core)
{
    if (core.file.unsaved())
        core.file.save(core.memory, core.loader);
}

IoResult write(FrameCore& core, Lock& lock, uint64_t handle, const uint8_t* report)
{
    UsbLife& usb = core.usb;
    LinkFaults& link = core.faults.link;
    if (usb.pendingReboot != 0 && usb.alive(handle))
        core.reenumerate(usb.pendingReboot == 1);
    if (!usb.alive(handle))
        return IoResult::NotConnected;
    if (report[0] != kCommandReportId)
        return IoResult::Failed;
    ++core.counters.outputReports;
    const int number = report[1] & 0x3F;
    const bool lineData = number == 0 || number == 1;
    const bool vanishNow = strikes(link.vanishAtReportIn);
    const bool vanishInFrame = lineData && strikes(link.vanishAtLineRequestIn);
    if (vanishNow || vanishInFrame) {
        vanish(core);
        return IoResult::NotConnected;
    }
    if (strikes(link.lateAtReportIn))
        ++link.late;
    if (link.latency.count() > 0 && !awaitSlot(core, lock, handle))
        return IoResult::NotConnected;
    const size_t queuedBefore = usb.queued();
    serveCommand(core, report);
    if (link.late > 0 && usb.queued() > queuedBefore) {
        // The reply is the newest report: hold it back.
        --link.late;
        usb.late = usb.takeNewest();
    }
    if (usb.queued() > 0)
        core.inputArrived.notify_all();
    return IoResult::Ok;
}

IoResult read(FrameCore& core, Lock& lock, uint64_t handle, uint8_t* report, uint32_t waitMs)
{
    UsbLife& usb = core.usb;
    if (!usb.alive(handle))
        return IoResult::NotConnected;
    if (usb.queued() == 0) {
        if (core.faults.link.realTimeouts)
            core.inputArrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                                       [&] { return usb.queued() > 0 || !usb.alive(handle); });
        if (!usb.alive(handle))
            return IoResult::NotConnected;
        if (usb.queued() == 0) {
            // The host gave up: a late reply arrives now, for its next read.
            if (usb.late) {
                std::memcpy(usb.push(), usb.late->bytes.data(), device::kReportSize);
                usb.late.reset();
            }
            return IoResult::TimedOut;
        }
    }
    if (core.faults.link.latency.count() > 0) {
        if (!awaitSlot(core, lock, handle))
            return IoResult::NotConnected;
        if (usb.queued() == 0)
            return IoResult::TimedOut;
    }
    usb.pop(report);
    ++core.counters.inputReports;
    // The frame restarts once the host has its answer to Reboot.
    if (usb.pendingReboot != 0 && usb.queued() == 0)
        core.reenumerate(usb.pendingReboot == 1);
    return IoResult::Ok;
}

bool feature(FrameCore& core, Lock& lock, uint64_t handle, uint8_t* buffer)
{
    if (!core.usb.alive(handle))
        return false;
    if (strikes(core.faults.link.vanishAtFeatureIn)) {
        vanish(core);
        return false;
    }
    // A feature report is a transfer on the same bus as the others.
    if (core.faults.link.latency.count() > 0 && !awaitSlot(core, lock, handle))
        return false;
    if (core.firmware.bootLoader || buffer[0] != kKeyReportId)
        return false;
    buffer[1] = core.firmware.keyEdge;
    buffer[2] = core.firmware.keyNumber;
    KeyFirmwareView view;
    view.mode = core.firmware.mode;
    view.lensFamily = core.lensFamily();
    view.slaveRecord = core.bank(Unit::Slave).record(kCalibrationRecordOffset, kCalibrationRecordSize);
    for (Unit u : {Unit::Master, Unit::Slave}) {
        const auto r = core.bank(u).record(kCalibrationRecordOffset, 12);
        view.windows[unitIndex(u)] = {static_cast<uint16_t>(r[8] | (r[9] << 8)),
                                      static_cast<uint16_t>(r[10] | (r[11] << 8))};
    }
    core.keys->featureReport(view, buffer);
    return true;
}

} // namespace port

} // namespace tovrin::sim
