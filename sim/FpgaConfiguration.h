#pragma once
// The FPGA of each simulated unit configures itself from the start of its
// unit's flash, as the real one does at power-up and at an FPGA reset
// (mode 0xBB): it looks for the configuration sync word AA 99 55 66 in the
// first 256 bytes of flash offset 0 (what precedes it is padding). Register
// kFpgaDoneRegister then reads 1 when a configuration was found, else 0.
//
// So a download whose rolling key does not match the file leaves flash that
// the FPGA refuses, and a test (or an engineer with a script) can see it.

#include <cstdint>
#include <span>

namespace tovrin::sim {

class SimulatedFrame;

constexpr uint16_t kFpgaDoneRegister = 0x00F0;
constexpr uint8_t kFpgaSyncWord[4] = {0xAA, 0x99, 0x55, 0x66};
constexpr uint32_t kFpgaSyncSearch = 256;

// True when the flash of one unit holds a configuration the FPGA loads.
bool holdsFpgaConfiguration(std::span<const uint8_t> flash);

// Installs the configuration behaviour (the frame does this itself when built).
void installFpgaConfiguration(SimulatedFrame& frame);

} // namespace tovrin::sim
