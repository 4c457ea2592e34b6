#include "sim/SimTransport.h"

#include <utility>

namespace tovrin::sim {

using device::IoResult;

SimTransport::SimTransport(std::shared_ptr<SimulatedFrame> frame)
    : frame_(std::move(frame))
{
}

SimTransport::~SimTransport()
{
    close();
}

bool SimTransport::open(uint16_t& productId)
{
    close();
    uint64_t handle = 0;
    const bool found = frame_->openHandle(handle, productId);
    handle_.store(found ? handle : 0);
    return found;
}

int SimTransport::check(uint16_t& productId)
{
    const uint64_t handle = handle_.load();
    if (handle == 0)
        return device::kCheckGone;
    return frame_->checkHandle(handle, productId);
}

IoResult SimTransport::write(const uint8_t* report, uint32_t /*waitMs: the frame always takes a report*/)
{
    const uint64_t handle = handle_.load();
    if (handle == 0)
        return IoResult::NotConnected;
    return frame_->writeReport(handle, report);
}

IoResult SimTransport::read(uint8_t* report, uint32_t waitMs)
{
    const uint64_t handle = handle_.load();
    if (handle == 0)
        return IoResult::NotConnected;
    return frame_->readReport(handle, report, waitMs);
}

bool SimTransport::getFeature(uint8_t* buffer)
{
    const uint64_t handle = handle_.load();
    if (handle == 0)
        return false;
    return frame_->featureReport(handle, buffer);
}

void SimTransport::close()
{
    if (handle_.exchange(0) != 0)
        frame_->handleClosed();
}

bool SimTransport::isOpen() const
{
    return handle_.load() != 0;
}

std::shared_ptr<device::Transport> makeSimTransport(std::shared_ptr<SimulatedFrame> frame)
{
    return std::make_shared<SimTransport>(std::move(frame));
}

std::string SimTransport::serialNumber() const
{
    return isOpen() ? frame_->serialNumber() : std::string{};
}

} // namespace tovrin::sim
