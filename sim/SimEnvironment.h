#pragma once
// Setting up the frame of --simulate from the environment, so that a
// technician or a script can try the tool against a misbehaving frame:
//
//   TOVRIN_SIM_FAULTS="<item>,<item>,..." with the items
//     unplugged          no frame on the bus
//     bootloader         the frame sits in its boot loader (product 0x0042)
//     latency-us=N       N microseconds per report, out and in
//     drop-replies=N     the next N commands get no reply
//     refuse=N           the next N commands are refused (status 0xFF)
//     vanish-at=N        the frame is pulled at output report N from now
//     real-timeouts      a missing reply costs the whole wait, as on USB
//     refuse-block=N     the boot loader refuses the N-th download block from now
//     unplug-at-block=N  the frame is pulled at the N-th download block from now
//     bootloader-gone    after a restart into its boot loader the frame never returns
//     bootloader-mute    the boot loader enumerates but never answers
//     blind-left         the left camera never sees a finger (blind-right: the right one)
//     finger-stuck       a finger once down never lifts
//     edge-spots         a touch comes with spots at positions 0 and 0xFFFF on both cameras
//     key-auto-touch     a finger follows the key calibration's targets
//     press-key=<E><n>   a finger rests on printed key n of edge E (L, R,
//                        B or T) once the keys are printed
//     ideal-calibration  both calibration records hold the frame's exact
//                        optics for a 1920 x 1080 picture
//     flash-drift=<unit>:<offset>@<n>   at the n-th switch into a work mode
//                        one flash byte changes (FlashDrift.h)
//
//   TOVRIN_SIM_TOUCH="<item>,..." moves the finger (Fingers.h): "auto"
//   touches every calibration target by itself, "jitter=N" half pixels of
//   noise per frame (1), "aim=N" pixels off the target (0), "reaction=N"
//   frames before touching (8), "second-finger", "reflection", "seed=N".
//
// Other parts of the simulation add their own items here; the optical
// scene's items (and TOVRIN_SIM_SCENE) are listed in SceneItems.h.

#include <string>
#include <string_view>

namespace tovrin::sim {

class SimulatedFrame;

// Applies the items of the list. Returns an empty text when every item was
// understood, else the first item that was not (the others still apply).
std::string applyFaultItems(SimulatedFrame& frame, std::string_view list);

// $TOVRIN_SIM_SCENE (SceneItems.h), $TOVRIN_SIM_TOUCH (Fingers.h), then
// applyFaultItems with $TOVRIN_SIM_FAULTS (nothing for a variable that is not
// set); the first item not understood, if any.
std::string applySimulationEnvironment(SimulatedFrame& frame);

} // namespace tovrin::sim
