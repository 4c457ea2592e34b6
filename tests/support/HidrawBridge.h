#pragma once
// The simulated frame behind a faked hidraw node, for tests of the real USB
// path: hidapi's hidraw backend, HidapiTransport, the udev monitor and the
// detection thread, in this process or in a tovrin-cli process it starts.
//
// The bridge keeps a umockdev testbed (UMOCKDEV_DIR) holding what the kernel
// shows of the frame while it is on the bus:
//   /sys/devices/0003:1FC9:<PID>.<n>          the HID device: HID_ID, HID_NAME,
//                                             report_descriptor (the vendor
//                                             collection, report 3 both ways,
//                                             feature report 7)
//   .../hidraw/hidraw0                        its node, DEVNAME /dev/hidraw0
// and answers the node's calls through umockdev's ioctl socket:
//   write(64 bytes)      an output report to SimulatedFrame::writeReport
//   poll(POLLIN, t)      waits for the frame's next input report (HidrawWait.h)
//   read()               that report (64 bytes)
//   HIDIOCGFEATURE(n)    feature report 7, the key state
//   HIDIOCGRDESCSIZE, HIDIOCGRDESC, HIDIOCGRAWINFO
// A node of a frame that is no longer there answers as the kernel's hidraw
// does: reads EIO, writes and requests ENODEV, poll POLLERR | POLLHUP.
//
// The frame's life on the bus is mirrored as it happens: pulled out
// (vanish-at, unplug-at-block, unplug()) or restarted (Reboot into the boot
// loader and back), its devices leave sysfs with "remove" events; back on the
// bus, they come again with its current product ID and the next instance
// number, and an "add" event, as udev shows a re-enumeration. The faults of
// the frame's plan act unchanged: the bridge only moves its reports.

#include "sim/SimulatedFrame.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace tovrin::test {

class HidrawBridge {
public:
    // Starts the testbed and puts the frame's node in it when the frame is
    // on the bus. Needs umockdev's preload library in this process
    // (umockdev-wrapper).
    explicit HidrawBridge(std::shared_ptr<sim::SimulatedFrame> frame);
    ~HidrawBridge();
    HidrawBridge(const HidrawBridge&) = delete;
    HidrawBridge& operator=(const HidrawBridge&) = delete;

    // "/dev/hidraw0"
    static std::string nodePath();
    // Runs change on the testbed while the bridge leaves it alone (other
    // devices beside the frame).
    void withTestbed(const std::function<void(UMockdevTestbed*)>& change);
    const std::shared_ptr<sim::SimulatedFrame>& frame() const;

    // Waits until sysfs shows the frame as it is now: on the bus with its
    // current product ID, or gone. False when that did not happen within
    // waitMs.
    bool waitUntilMirrored(int waitMs = 2000) const;
    // A signal arriving in the host: the next `count` writes and waits for a
    // report on the node end at once with EINTR, before anything moved.
    void interruptNextCalls(int count);

    // An input report of another collection of the same USB interface (the
    // frame's touch screen), which hidraw hands to every reader of the
    // node: it is read before the frame's next report.
    void injectInputReport(const std::array<uint8_t, device::kReportSize>& report);

    // How many times the frame's devices were added to sysfs so far.
    int enumerations() const;

    // For tovrin-cli processes: the LD_PRELOAD value that adds the poll
    // wrapper (HidrawPoll.cpp) to umockdev's preload library.
    static std::string childPreload();

    // The bridge's inside, for umockdev's handlers.
    struct State;

private:
    std::unique_ptr<State> m;
};

} // namespace tovrin::test
