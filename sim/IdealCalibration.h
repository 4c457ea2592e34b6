#pragma once
// A frame whose stored touch calibration is exactly its optics: both units'
// calibration records carry the solution the camera model of the frame
// gives (camera positions, shifts, angle offsets, scale; no cell
// correction), for a picture of W x H pixels. Set-up for tests and
// --simulate runs that need touches to land where the finger is.

#include "calibration/math/CameraModel.h"

namespace tovrin::sim {

class SimulatedFrame;

// Rewrites both calibration records (other fields kept as the flash holds
// them; an erased record gets START 40, END 600 and the lens table) and
// restarts the frame so that it comes up in work mode.
void writeIdealCalibration(SimulatedFrame& frame, const calib::FrameGeometry& geometry, int width, int height);

} // namespace tovrin::sim
