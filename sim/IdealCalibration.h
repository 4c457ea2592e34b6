#pragma once
// A frame whose stored touch calibration fits its optics as well as the
// firmware's mapping can: for each camera its true place, and the sensor
// shift and lens turn that bring the record's lens table closest to the
// lens over the screen (least squares of the angle, weighted by distance,
// so that it is the error on the glass that is small). No cell corrections.
// Set-up for tests and --simulate runs that need touches to land where the
// finger is; the simulator computes it from its own optics, not with the
// tool's solver.

#include "sim/TouchMapping.h"

namespace tovrin::sim {

class SimulatedFrame;

// The solution that fits the optics (the lens table of its lens family), on
// a plane of 1/plane of the screen: its cameras alone then place a touch at
// its screen point divided by `plane`.
StoredSolution fitSolution(const Optics& optics, int plane = 1);

// Rewrites both calibration records (other fields kept as the flash holds
// them; an erased record gets start line 236, START 40, END 600) with the
// fitted solution for the optics' screen, and restarts the frame so that it
// comes up in work mode. With a plane above 1 the cameras place touches on
// a plane of 1/plane of the screen, and one correction scales it back up.
void writeIdealCalibration(SimulatedFrame& frame, const Optics& optics, int plane = 1);

} // namespace tovrin::sim
