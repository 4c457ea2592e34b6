#pragma once
// The simulated frame's finger as the product's windows and tovrin-cli see
// it (device/Finger.h): the mouse's finger and the one that touches the
// targets by itself, and the keys printed on the frame's border.

#include "device/Finger.h"

#include <memory>

namespace tovrin::sim {

class SimulatedFrame;

std::shared_ptr<device::Finger> makeSimFinger(std::shared_ptr<SimulatedFrame> frame);

} // namespace tovrin::sim
