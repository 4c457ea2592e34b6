#pragma once
// The Transport of the simulated frame: open, check, report I/O and the key
// feature report, with the contract of device/Transport.h. Each transport
// holds at most one handle; a handle dies when the frame is unplugged,
// vanishes or re-enumerates, and every call on a dead handle then reports
// NotConnected (check: kCheckGone) until open() finds the frame again.

#include "device/Transport.h"
#include "sim/SimulatedFrame.h"

#include <atomic>
#include <memory>

namespace tovrin::sim {

class SimTransport final : public device::Transport {
public:
    explicit SimTransport(std::shared_ptr<SimulatedFrame> frame);
    ~SimTransport() override;

    bool open(uint16_t& productId) override;
    int check(uint16_t& productId) override;
    device::IoResult write(const uint8_t* report, uint32_t waitMs) override;
    device::IoResult read(uint8_t* report, uint32_t waitMs) override;
    bool getFeature(uint8_t* buffer) override;
    void close() override;
    bool isOpen() const override;
    std::string serialNumber() const override;

    const std::shared_ptr<SimulatedFrame>& frame() const { return frame_; }

private:
    std::shared_ptr<SimulatedFrame> frame_;
    std::atomic<uint64_t> handle_{0};  // 0 when closed
};

std::shared_ptr<device::Transport> makeSimTransport(std::shared_ptr<SimulatedFrame> frame);

} // namespace tovrin::sim
