#include "sim/FlashDrift.h"

#include <charconv>
#include <memory>

namespace tovrin::sim {
namespace {
constexpr int kSwitchModeCommand = 14;
} // namespace

void addFlashDrift(SimulatedFrame& frame, Unit unit, uint32_t offset, int workModeSwitch)
{
    if (offset >= kFlashSize || workModeSwitch < 1)
        return;
    auto seen = std::make_shared<int>(0);
    frame.addCommandObserver([=](uint8_t code, const uint8_t* payload, std::array<UnitMemory, 2> units) {
        if ((code & 0x3F) != kSwitchModeCommand || (payload[0] != kModeWork && payload[0] != kModeWorkAfterLeveling))
            return false;
        if (++*seen != workModeSwitch)
            return false;
        units[static_cast<size_t>(unit)].flash[offset] ^= 0xFF;
        return true;
    });
}

bool applyFlashDriftItem(SimulatedFrame& frame, std::string_view value)
{
    // <unit>:<offset>@<n>
    const size_t colon = value.find(':');
    const size_t at = value.find('@');
    if (colon == std::string_view::npos || at == std::string_view::npos || at < colon)
        return false;
    const std::string_view unitText = value.substr(0, colon);
    std::string_view offsetText = value.substr(colon + 1, at - colon - 1);
    const std::string_view countText = value.substr(at + 1);
    Unit unit;
    if (unitText == "master")
        unit = Unit::Master;
    else if (unitText == "slave")
        unit = Unit::Slave;
    else
        return false;
    if (offsetText.starts_with("0x") || offsetText.starts_with("0X"))
        offsetText.remove_prefix(2);
    uint32_t offset = 0;
    int n = 0;
    const auto o = std::from_chars(offsetText.data(), offsetText.data() + offsetText.size(), offset, 16);
    const auto c = std::from_chars(countText.data(), countText.data() + countText.size(), n);
    if (offsetText.empty() || o.ec != std::errc() || o.ptr != offsetText.data() + offsetText.size() ||
        c.ec != std::errc() || c.ptr != countText.data() + countText.size() || offset >= kFlashSize || n < 1)
        return false;
    addFlashDrift(frame, unit, offset, n);
    return true;
}

} // namespace tovrin::sim
