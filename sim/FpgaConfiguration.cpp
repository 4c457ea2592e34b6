#include "sim/FpgaConfiguration.h"

#include "sim/SimulatedFrame.h"

#include <algorithm>

namespace tovrin::sim {
namespace {
constexpr int kSwitchModeCommand = 14;
constexpr int kRebootCommand = 56;
} // namespace

bool holdsFpgaConfiguration(std::span<const uint8_t> flash)
{
    const auto area = flash.first(std::min<size_t>(flash.size(), kFpgaSyncSearch));
    return std::search(area.begin(), area.end(), std::begin(kFpgaSyncWord), std::end(kFpgaSyncWord)) != area.end();
}

void installFpgaConfiguration(SimulatedFrame& frame)
{
    frame.addCommandObserver([](uint8_t code, const uint8_t* payload, std::array<UnitMemory, 2> units) {
        const int number = code & 0x3F;
        const bool fpgaReset = number == kSwitchModeCommand && payload[0] == kModeFpgaReset;
        // A reboot restarts the whole unit, its FPGA with it.
        if (fpgaReset || number == kRebootCommand) {
            for (UnitMemory& unit : units)
                unit.registers[kFpgaDoneRegister] = holdsFpgaConfiguration(unit.flash) ? 1 : 0;
        }
        return false;
    });
}

} // namespace tovrin::sim
