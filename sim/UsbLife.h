#pragma once
// The simulated frame's life on the USB bus: whether it is plugged in and
// visible, which product ID it shows (its application's, or 0x0042 while
// the boot loader runs), the handles the host opened (a handle is the
// enumeration epoch it was opened in: a restart or an unplug kills it), the
// queue of input reports waiting for the host, and the timing of reports on
// a USB frame clock.
//
// The report-level interface (the port functions below) is what the
// transports reach the frame through: open a handle, check it, write an
// output report, take the next input report, fetch feature report 7. They
// run with the frame's lock held (the lock is passed where a call waits for
// its slot on the bus or for a reply, and is let go while it waits).
// Before each report goes out the link faults of the plan are consulted:
// the frame vanishes at a counted report, replies are late, the bus is slow.

#include "device/Transport.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace tovrin::sim {

struct FrameCore;

class UsbLife {
public:
    using Clock = std::chrono::steady_clock;
    struct Report {
        std::array<uint8_t, device::kReportSize> bytes{};
    };
    static constexpr size_t kQueueCapacity = 256;

    bool plugged = true;
    bool vendorCollection = true;
    uint16_t applicationPid = 0x0055;
    std::string serial;  // the USB serial number string; none by default
    uint64_t epoch = 1;  // handles opened in an older epoch are dead
    std::chrono::milliseconds reenumerationDelay{0};
    Clock::time_point visibleFrom{};
    int pendingReboot = 0;  // 0 none, 1 boot loader, 2 application: after the reply is read
    std::optional<Report> late;  // a reply held back until the host gives up
    Clock::time_point lastSlot{};

    bool visible() const { return plugged && Clock::now() >= visibleFrom; }
    bool alive(uint64_t handle) const { return handle != 0 && handle == epoch && plugged; }
    uint16_t productId(bool bootLoader) const;
    // Open handles die; what waited for the host is gone.
    void killHandles();

    // The input queue. A full queue loses its oldest report, as a full HID
    // input buffer does. push() returns a zeroed report with its ID set.
    uint8_t* push();
    bool pop(uint8_t* out);
    size_t queued() const { return m_size; }
    void clearQueue();
    // The newest report leaves the queue (a reply to hold back).
    Report takeNewest();

    // The next free slot on the bus for a report.
    Clock::time_point takeSlot(std::chrono::microseconds latency);

private:
    std::array<Report, kQueueCapacity> m_queue{};
    size_t m_head = 0;
    size_t m_size = 0;
};

// ---- The report-level interface -------------------------------------------------
namespace port {

using Lock = std::unique_lock<std::mutex>;

bool open(FrameCore& core, uint64_t& handle, uint16_t& productId);
int check(FrameCore& core, uint64_t handle, uint16_t& productId);
device::IoResult write(FrameCore& core, Lock& lock, uint64_t handle, const uint8_t* report);
device::IoResult read(FrameCore& core, Lock& lock, uint64_t handle, uint8_t* report, uint32_t waitMs);
bool feature(FrameCore& core, Lock& lock, uint64_t handle, uint8_t* buffer);
void closed(FrameCore& core);

} // namespace port

} // namespace tovrin::sim
