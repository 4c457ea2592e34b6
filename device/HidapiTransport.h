#pragma once
// The real frame through hidapi (hidraw backend): finds the node that carries
// the frame's vendor collection and moves 64-byte reports through it.
//
// hidraw habits this code relies on: every report carries its report ID in
// byte 0 (our commands use ID 3); the feature report length counts that ID
// byte; a read that times out leaves nothing pending, a report that arrives
// late stays queued for the next read; a write blocks until the USB transfer
// is done or the kernel gives up on it, so waitMs does not bound a write;
// a node gets every input report of its USB interface, also those of the
// frame's other collections (other report IDs), which a read passes over;
// a signal interrupts a wait or a write (EINTR) without ending the transfer.

#include "device/HidIdentity.h"
#include "device/Transport.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

struct hid_device_;  // hidapi's handle, kept out of this header

namespace tovrin::device {

class HidapiTransport final : public Transport {
public:
    HidapiTransport();
    // Opens only the node given ("/dev/hidraw3", or a link to it) instead of
    // the first frame enumeration finds: for machines with several frames or
    // with nodes udev does not list. The node must still be a frame's vendor
    // collection by what sysfs says of it.
    explicit HidapiTransport(std::string nodePath);
    ~HidapiTransport() override;

    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    bool open(uint16_t& productId) override;
    int check(uint16_t& productId) override;
    IoResult write(const uint8_t* report, uint32_t waitMs) override;
    IoResult read(uint8_t* report, uint32_t waitMs) override;
    bool getFeature(uint8_t* buffer) override;
    void close() override;
    bool isOpen() const override;

    // Node path of the open device ("/dev/hidraw3"); empty when closed.
    std::string path() const;

    std::string serialNumber() const override;

    // Every collection hidapi lists for the frame's vendor ID, as entries for
    // the decisions of HidIdentity.h. Empty when hidapi cannot start.
    static std::vector<HidEntry> enumerateFrameEntries();

    // What sysfs says of one hidraw node ("/dev/hidraw3") now; the re-check
    // compares it with what it said when the node was opened.
    static HidNodeIdentity readNode(const std::string& nodePath);

private:
    void closeLocked();
    bool openNodeLocked(const std::string& path, uint16_t& productId);
    IoResult errorResult(int err) const;

    const std::string m_fixedPath;  // the node to open; empty: the first frame found

    mutable std::mutex m_mutex;     // guards the handle and what belongs to it
    hid_device_* m_device = nullptr;
    std::string m_path;
    HidNodeIdentity m_opened;       // the node as it was when opened
    std::string m_serial;           // read once when opened
    std::atomic<bool> m_open{false};
};

} // namespace tovrin::device
