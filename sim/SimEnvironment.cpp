#include "SimEnvironment.h"

#include "Fingers.h"
#include "FlashDrift.h"
#include "IdealCalibration.h"
#include "KeyPanel.h"
#include "ItemList.h"
#include "SceneItems.h"
#include "SimulatedFrame.h"

#include <charconv>
#include <chrono>
#include <cstdlib>

namespace tovrin::sim {

namespace {

bool parseCount(std::string_view text, long long& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

bool applyItem(SimulatedFrame& frame, std::string_view item)
{
    if (applySceneFault(frame, item))  // optics and leveling firmware (SceneItems.h)
        return true;
    const size_t eq = item.find('=');
    const std::string_view name = item.substr(0, eq);
    long long n = 0;
    const bool hasNumber = eq != std::string_view::npos && parseCount(item.substr(eq + 1), n);
    if (eq == std::string_view::npos) {
        if (name == "unplugged") {
            frame.unplug();
            return true;
        }
        if (name == "bootloader") {
            frame.reenumerate(true);
            return true;
        }
        if (name == "real-timeouts") {
            frame.setRealTimeouts(true);
            return true;
        }
        if (name == "bootloader-gone") {
            frame.setBootLoaderNeverReturns(true);
            return true;
        }
        if (name == "bootloader-mute") {
            frame.setBootLoaderMute(true);
            return true;
        }
        if (name == "refuse-work-mode" || name == "mute-work-mode") {
            frame.setWorkModeFault(name == "refuse-work-mode" ? SimulatedFrame::WorkModeFault::Refuse
                                                              : SimulatedFrame::WorkModeFault::Mute);
            return true;
        }
        if (name == "blind-left" || name == "blind-right" || name == "finger-stuck" || name == "edge-spots") {
            FingerSettings s = frame.fingers().settings();
            s.blindLeft = s.blindLeft || name == "blind-left";
            s.blindRight = s.blindRight || name == "blind-right";
            s.neverLift = s.neverLift || name == "finger-stuck";
            s.edgeSpots = s.edgeSpots || name == "edge-spots";
            frame.fingers().configure(s);
            return true;
        }
        if (name == "key-auto-touch") {
            // The one auto finger follows key targets as well as touch targets.
            FingerSettings s = frame.fingers().settings();
            s.autoTouch = true;
            frame.fingers().configure(s);
            return true;
        }
        if (name == "ideal-calibration") {
            // The cameras stay where the records say, whatever screen the
            // frame is later mounted on.
            frame.fingers().setScreen(1920, 1080);
            frame.fingers().setGeometry(frame.fingers().geometry());
            writeIdealCalibration(frame, frame.fingers().geometry(), 1920, 1080);
            return true;
        }
        return false;
    }
    if (name == "press-key") {
        // <edge letter><number>: L, R, B or T and the key from 1.
        const std::string_view value = item.substr(eq + 1);
        const std::string_view edges = "LRBT";
        long long number = 0;
        if (value.size() < 2 || edges.find(value[0]) == std::string_view::npos || !parseCount(value.substr(1), number) ||
            number < 1)
            return false;
        frame.keyPanel().pressWhenPrinted(static_cast<int>(edges.find(value[0])) + 1, static_cast<int>(number));
        return true;
    }
    if (name == "flash-drift")
        return applyFlashDriftItem(frame, item.substr(eq + 1));
    if (!hasNumber)
        return false;
    if (name == "latency-us") {
        frame.setReportLatency(std::chrono::microseconds(n));
        return true;
    }
    if (name == "drop-replies") {
        frame.dropNextReplies(static_cast<int>(n));
        return true;
    }
    if (name == "refuse") {
        frame.answerNextWithStatus(kStatusRefused, static_cast<int>(n));
        return true;
    }
    if (name == "refuse-block" && n > 0) {
        frame.refuseDownloadBlock(static_cast<uint64_t>(n));
        return true;
    }
    if (name == "unplug-at-block" && n > 0) {
        frame.unplugAtDownloadBlock(static_cast<uint64_t>(n));
        return true;
    }
    if (name == "late-replies") {
        frame.answerLate(static_cast<int>(n));
        return true;
    }
    if (name == "vanish-at" && n > 0) {
        frame.vanishAtOutputReport(static_cast<uint64_t>(n));
        return true;
    }
    return false;
}

} // namespace

std::string applyFaultItems(SimulatedFrame& frame, std::string_view list)
{
    std::string firstUnknown;
    for (std::string_view item : splitItems(list))
        if (!applyItem(frame, item) && firstUnknown.empty())
            firstUnknown = std::string(item);
    return firstUnknown;
}

std::string applySimulationEnvironment(SimulatedFrame& frame)
{
    if (const char* scene = std::getenv("TOVRIN_SIM_SCENE")) {
        if (std::string unknown = applySceneItems(frame, scene); !unknown.empty())
            return "TOVRIN_SIM_SCENE " + unknown;
    }
    std::string unknown;
    if (const char* touch = std::getenv("TOVRIN_SIM_TOUCH"))
        unknown = applyTouchItems(frame.fingers(), touch);
    const char* faults = std::getenv("TOVRIN_SIM_FAULTS");
    const std::string unknownFault = faults ? applyFaultItems(frame, faults) : std::string();
    return unknown.empty() ? unknownFault : unknown;
}

} // namespace tovrin::sim
