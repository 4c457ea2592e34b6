#pragma once
// The one place that picks the frame behind the device link: the frame on
// the USB (hidapi, the first one found or a given hidraw node) or the
// simulated frame of --simulate. Start-up of the windows (app/) and of
// tovrin-cli (app/cli/) both come here; no other part of the product knows
// that a simulated frame exists. The simulated frame comes with its finger
// (device/Finger.h), which the windows' mouse and tovrin-cli's auto touch
// move.

#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace tovrin::device {
class Finger;
class Transport;
} // namespace tovrin::device

namespace tovrin::app {

struct FrameChoice {
    bool simulate = false;  // --simulate, or TOVRIN_SIMULATE=1
    std::string node;       // a real frame's hidraw node; empty: the first frame found
};

// TOVRIN_SIMULATE=1 asks for the simulated frame as --simulate does.
bool simulateFromEnvironment();

struct ChosenFrame {
    std::shared_ptr<device::Transport> transport;
    std::shared_ptr<device::Finger> finger;  // the simulated frame's; null on a real frame
    // The simulated frame: writes its flash file now; true when nothing was
    // left unsaved. Null on a real frame.
    std::function<bool()> flush;
    // The first item of the TOVRIN_SIM_* variables the simulated frame did
    // not understand, after its variable's name; empty when all were.
    QString unknownItem;
};

// Builds the frame of the choice (the simulated one from the environment:
// sim/SimEnvironment.h); installs nothing yet.
ChosenFrame makeFrame(const FrameChoice& choice);

// Installs transport and finger behind the device link; removeFrame() takes
// both away again.
void installFrame(const ChosenFrame& frame);
void removeFrame();

} // namespace tovrin::app
