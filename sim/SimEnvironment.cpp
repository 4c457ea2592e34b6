#include "sim/SimEnvironment.h"

#include "sim/Fingers.h"
#include "sim/FlashDrift.h"
#include "sim/IdealCalibration.h"
#include "sim/ItemList.h"
#include "sim/KeyPanel.h"
#include "sim/SceneItems.h"
#include "sim/SimulatedFrame.h"

#include <cstdlib>

namespace tovrin::sim {

namespace {

constexpr int kIdealWidth = 1920;
constexpr int kIdealHeight = 1080;

bool applySetUpItem(SimulatedFrame& frame, std::string_view text)
{
    const Item item = splitItem(text);
    if (applyNoLineItem(frame, text))
        return true;
    if (!item.hasValue) {
        if (item.name == "unplugged") {
            frame.unplug();
            return true;
        }
        if (item.name == "bootloader") {
            frame.reenumerate(true);
            return true;
        }
        if (item.name == "key-auto-touch") {
            // The one auto finger follows key targets as well as touch targets.
            FingerSettings s = frame.fingers().settings();
            s.autoTouch = true;
            frame.fingers().configure(s);
            return true;
        }
        if (item.name == "ideal-calibration") {
            frame.fingers().setScreen(kIdealWidth, kIdealHeight);
            writeIdealCalibration(frame, frame.fingers().optics(frame.extendedFrame() ? 1 : 0));
            return true;
        }
        return false;
    }
    if (item.name == "press-key") {
        // <edge letter><number>: L, R, B or T and the key from 1.
        const std::string_view edges = "LRBT";
        const auto number = item.value.size() >= 2 ? itemInteger(item.value.substr(1)) : std::nullopt;
        if (!number || edges.find(item.value[0]) == std::string_view::npos || *number < 1)
            return false;
        frame.keyPanel().pressWhenPrinted(static_cast<int>(edges.find(item.value[0])) + 1, static_cast<int>(*number));
        return true;
    }
    if (item.name == "flash-drift")
        return applyFlashDriftItem(frame, item.value);
    return false;
}

} // namespace

std::string applyFaultItems(SimulatedFrame& frame, std::string_view list)
{
    std::string firstUnknown;
    for (std::string_view item : splitItems(list)) {
        bool fault = false;
        frame.changeFaults([&](FaultPlan& plan) { fault = parseFaultItem(plan, item); });
        if (!fault && !applySetUpItem(frame, item) && firstUnknown.empty())
            firstUnknown = std::string(item);
    }
    return firstUnknown;
}

std::string applyFrameEnvironment(SimulatedFrame& frame)
{
    if (const char* scene = std::getenv("TOVRIN_SIM_SCENE")) {
        if (std::string unknown = applySceneItems(frame, scene); !unknown.empty())
            return "TOVRIN_SIM_SCENE " + unknown;
    }
    if (const char* optics = std::getenv("TOVRIN_SIM_OPTICS")) {
        if (std::string unknown = applyOpticsEnvironment(frame, optics); !unknown.empty())
            return "TOVRIN_SIM_OPTICS " + unknown;
    }
    return {};
}

std::string applySimulationEnvironment(SimulatedFrame& frame)
{
    if (std::string unknown = applyFrameEnvironment(frame); !unknown.empty())
        return unknown;
    std::string unknown;
    if (const char* touch = std::getenv("TOVRIN_SIM_TOUCH"))
        if (const std::string item = applyTouchItems(frame.fingers(), touch); !item.empty())
            unknown = "TOVRIN_SIM_TOUCH " + item;
    if (const char* faults = std::getenv("TOVRIN_SIM_FAULTS"))
        if (const std::string item = applyFaultItems(frame, faults); !item.empty() && unknown.empty())
            unknown = "TOVRIN_SIM_FAULTS " + item;
    return unknown;
}

} // namespace tovrin::sim
