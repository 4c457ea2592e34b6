#pragma once
// The frame of --simulate from the environment, what it is rather than what
// goes wrong with it (README: "The simulated frame"):
//
//   TOVRIN_SIM_SCENE="<item>,..."  the kind of unit, how the cameras are
//   mounted along the screen and what they see
//     extended            extended-frame units (lens table B, 11-line images,
//                         the settings record at 0x1A000); "ordinary" undoes it
//     master.row=R        sensor row that grazes the surface (tilt), e.g. 236
//     master.roll=N       rows the band climbs across the sensor, e.g. 3 or -4
//     master.columns=A-B  columns that see the bright border, e.g. 40-600
//     master.reflect=P    brightness of the border in percent, e.g. 62
//     slave.<same>        the same for the Slave (right) camera
//     noise=N             sensor noise in grey levels
//   A unit left out means both.
//
//   TOVRIN_SIM_OPTICS="<item>,..."  how the cameras see a finger (Optics.h):
//   "nominal", "typical" (the default) or "worst", then changes such as
//   "master.turn=1.2" (applyOpticsItems).
//
// The scene's faults are TOVRIN_SIM_FAULTS items (FaultPlan.h); "no-line"
// tilts a camera so far that no line is found.

#include <string>
#include <string_view>

namespace tovrin::sim {

class SimulatedFrame;

// Applies the scene items of the list; returns the first item not understood
// (empty when all were).
std::string applySceneItems(SimulatedFrame& frame, std::string_view list);

// Applies TOVRIN_SIM_OPTICS items to the frame's fingers.
std::string applyOpticsEnvironment(SimulatedFrame& frame, std::string_view list);

// "no-line[=master|slave]": false when the item is not that.
bool applyNoLineItem(SimulatedFrame& frame, std::string_view item);

// One TOVRIN_SIM_FAULTS item of the optics and the leveling firmware
// ("no-line", "fail-...", "broken-bit", "long-stream", "vanish-in-frame")
// into the frame's plan; false when the item is not one of them.
bool applySceneFault(SimulatedFrame& frame, std::string_view item);

} // namespace tovrin::sim
