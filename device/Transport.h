#pragma once
// The transport: how 64-byte reports reach the frame. Two implementations sit
// behind this interface, the real frame through hidapi (HidapiTransport) and
// the simulated frame (sim/). Everything above it, the device link of
// HidLink.h and all device operations, talks to the frame only through it.
//
// The frame is a USB HID device, vendor 0x1FC9. Its application firmware
// shows product ID 0x0055, 0x0066, 0x4B55 or 0x4B66, its boot loader 0x0042.
// Of its top-level collections only the vendor collection (usage page 0xFF00,
// usage 1) carries commands; only that one is ever opened.
//
// Reports: every input and output report is exactly 64 bytes, the report ID
// in byte 0 (3 for commands). The feature report is 3 bytes, its ID in byte 0.
//
// Threads: an implementation must accept calls from any thread; the link
// serialises single reads, writes and feature fetches with its own lock, so
// an implementation never sees two calls at once.

#include <array>
#include <cstdint>
#include <string>

namespace tovrin::device {

constexpr int kReportSize = 64;
constexpr int kFeatureReportSize = 3;

constexpr uint16_t kFrameVendorId = 0x1FC9;
constexpr uint16_t kBootLoaderProductId = 0x0042;
constexpr std::array<uint16_t, 4> kApplicationProductIds = {0x0055, 0x0066, 0x4B55, 0x4B66};
constexpr uint16_t kVendorUsagePage = 0xFF00;
constexpr uint16_t kVendorUsage = 0x0001;
constexpr uint16_t kNoProductId = 255;  // what callers see when nothing was opened

constexpr bool isApplicationProductId(uint16_t pid)
{
    for (uint16_t p : kApplicationProductIds)
        if (p == pid)
            return true;
    return false;
}

// One of the five product IDs the frame can show.
constexpr bool isFrameProductId(uint16_t pid)
{
    return pid == kBootLoaderProductId || isApplicationProductId(pid);
}

// Outcome of one report transfer.
enum class IoResult {
    Ok,            // the whole report was transferred
    TimedOut,      // nothing within the wait; the pending transfer was cancelled
    NotConnected,  // the device is gone (unplugged, re-enumerated, closed)
    Failed,        // any other error
};

// Outcome of re-checking an open device (values as the detection thread logs them).
enum CheckResult : int {
    kCheckFrameOk = 0,          // the frame is there, vendor collection, right identity
    kCheckWrongCollection = 1,  // a device is there but it is not the vendor collection
    kCheckGone = 2,             // no frame: handle dead or identity wrong
};

class Transport {
public:
    virtual ~Transport() = default;

    // Enumerates the HID devices, opens the first vendor collection of a frame
    // (vendor ID, one of the five product IDs, usage page 0xFF00 / usage 1) and
    // returns true with its product ID. A device already open is closed first.
    // False when none is found; nothing is left open then.
    virtual bool open(uint16_t& productId) = 0;

    // Re-examines the open device without reopening it, and without looking
    // at other devices (it runs ten times a second). Sets productId when the
    // identity could be read. Returns a CheckResult; kCheckGone when closed.
    virtual int check(uint16_t& productId) = 0;

    // Writes one 64-byte output report (report[0] is the report ID), waiting at
    // most waitMs for it to complete.
    virtual IoResult write(const uint8_t* report, uint32_t waitMs) = 0;

    // Reads one 64-byte input report into report, waiting at most waitMs for
    // one to arrive (0: only a report already waiting; TimedOut at once when
    // there is none). On TimedOut the pending read is cancelled, so the next
    // transfer can start at once; a report that arrives after that waits for
    // the next read.
    virtual IoResult read(uint8_t* report, uint32_t waitMs) = 0;

    // Fetches a 3-byte feature report; buffer[0] holds the report ID on entry.
    virtual bool getFeature(uint8_t* buffer) = 0;

    // Closes the device; closing a closed transport does nothing.
    virtual void close() = 0;

    virtual bool isOpen() const = 0;

    // The USB serial number of the open device (empty when closed or when the
    // device has none).
    virtual std::string serialNumber() const { return {}; }
};

} // namespace tovrin::device
