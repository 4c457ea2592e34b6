#include "FrameHold.h"

namespace tovrin::device {

namespace {
std::atomic<int> g_holders{0};
} // namespace

FrameHold::FrameHold() { g_holders.fetch_add(1); }

FrameHold::~FrameHold() { g_holders.fetch_sub(1); }

bool frameHeld() { return g_holders.load() > 0; }

} // namespace tovrin::device
