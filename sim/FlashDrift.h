#pragma once
// A frame whose firmware changes flash on its own: at the n-th switch into a
// work mode (0x22 or 0xEE) after the fault is set, one flash byte of one
// unit has all its bits inverted. It is what the production endurance test
// is there to catch, between two of its cycles.
//
// From the environment: TOVRIN_SIM_FAULTS="flash-drift=<unit>:<offset>@<n>",
// for example "flash-drift=master:0x11003@2" (offset hexadecimal with or
// without 0x, n counted from 1).

#include "sim/SimulatedFrame.h"

#include <cstdint>
#include <string_view>

namespace tovrin::sim {

void addFlashDrift(SimulatedFrame& frame, Unit unit, uint32_t offset, int workModeSwitch);

// Parses the value of a "flash-drift" item and installs it; false when the
// value is not understood (nothing is installed then).
bool applyFlashDriftItem(SimulatedFrame& frame, std::string_view value);

} // namespace tovrin::sim
