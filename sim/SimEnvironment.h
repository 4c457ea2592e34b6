#pragma once
// Setting up the frame of --simulate from the environment, so that a
// technician or a script can try the tool against a misbehaving frame
// (README: "The simulated frame" has the whole table):
//
//   TOVRIN_SIM_SCENE    the kind of unit and what its cameras see (SceneItems.h)
//   TOVRIN_SIM_OPTICS   how its cameras are built and mounted (Optics.h)
//   TOVRIN_SIM_TOUCH    how the finger moves and how noisy it is (Fingers.h)
//   TOVRIN_SIM_FAULTS   what goes wrong: the items of the fault plan
//                       (FaultPlan.h) and these set-up items:
//     unplugged          no frame on the bus
//     bootloader         the frame sits in its boot loader (product 0x0042)
//     no-line[=unit]     a camera tilted so far that no line is found
//     key-auto-touch     a finger follows the key calibration's targets
//     press-key=<E><n>   a finger rests on printed key n of edge E (L, R,
//                        B or T) once the keys are printed
//     ideal-calibration  both calibration records hold the solution that
//                        fits the frame's optics for a 1920 x 1080 picture
//     flash-drift=<unit>:<offset>@<n>   at the n-th switch into a work mode
//                        one flash byte changes (FlashDrift.h)

#include <string>
#include <string_view>

namespace tovrin::sim {

class SimulatedFrame;

// Applies the items of the list. Returns an empty text when every item was
// understood, else the first item that was not (the others still apply).
std::string applyFaultItems(SimulatedFrame& frame, std::string_view list);

// What the frame is: $TOVRIN_SIM_SCENE and $TOVRIN_SIM_OPTICS (nothing for a
// variable that is not set); the first item not understood, with the
// variable's name, if any.
std::string applyFrameEnvironment(SimulatedFrame& frame);

// applyFrameEnvironment, then $TOVRIN_SIM_TOUCH, then $TOVRIN_SIM_FAULTS;
// the first item not understood, after its variable's name, if any.
std::string applySimulationEnvironment(SimulatedFrame& frame);

} // namespace tovrin::sim
