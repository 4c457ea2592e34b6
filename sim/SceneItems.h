#pragma once
// The optical scene of --simulate from the environment (README: "The
// simulated frame"):
//
//   TOVRIN_SIM_SCENE="<item>,..."  how the cameras are mounted and what they see
//     master.row=R        sensor row that grazes the surface (tilt), e.g. 236
//     master.roll=N       rows the band climbs across the sensor, e.g. 3 or -4
//     master.columns=A-B  columns that see the bright border, e.g. 40-600
//     master.reflect=P    brightness of the border in percent, e.g. 62
//     slave.<same>        the same for the Slave (right) camera
//     noise=N             sensor noise in grey levels
//
// and the scene's faults, items of TOVRIN_SIM_FAULTS:
//     no-line[=master|slave]         camera tilted so far that no line is found
//     fail-setline[=master|slave]    SetLine refused (also fail-linerange,
//                                    fail-zones, fail-exposure)
//     broken-bit=<master|slave>:<B>  sensor data line B (0-7) stuck at 0
//     long-stream                    packed line streams claim 700 bytes
//     vanish-in-frame=N              the frame is pulled at its N-th line request
// A unit left out means both.

#include <string>
#include <string_view>

namespace tovrin::sim {

class SimulatedFrame;

// Applies the scene items of the list; returns the first item not understood
// (empty when all were).
std::string applySceneItems(SimulatedFrame& frame, std::string_view list);

// Applies one fault item of the scene; false when the item is not one of them.
bool applySceneFault(SimulatedFrame& frame, std::string_view item);

} // namespace tovrin::sim
