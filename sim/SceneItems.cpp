#include "sim/SceneItems.h"

#include "sim/FaultPlan.h"
#include "sim/Fingers.h"
#include "sim/ItemList.h"
#include "sim/OpticalScene.h"
#include "sim/SimulatedFrame.h"

#include <optional>
#include <vector>

namespace tovrin::sim {

namespace {

// The units an item names: "master", "slave", or none for both.
std::optional<std::vector<size_t>> unitsOf(std::string_view name)
{
    if (name.empty())
        return std::vector<size_t>{0, 1};
    if (name == "master")
        return std::vector<size_t>{0};
    if (name == "slave")
        return std::vector<size_t>{1};
    return std::nullopt;
}

bool applyViewItem(SceneConfig& config, std::string_view key, std::string_view value)
{
    if (key == "noise") {
        const auto n = itemInteger(value);
        if (!n || *n < 0 || *n > 255)
            return false;
        config.noise = static_cast<int>(*n);
        return true;
    }
    const size_t dot = key.find('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    const auto units = unitsOf(key.substr(0, dot));
    const std::string_view field = key.substr(dot + 1);
    if (!units)
        return false;
    for (size_t u : *units) {
        CameraView& view = config.units[u];
        if (field == "columns") {
            const size_t dash = value.find('-');
            const auto first = itemInteger(value.substr(0, dash));
            const auto last = dash == std::string_view::npos ? std::nullopt : itemInteger(value.substr(dash + 1));
            if (!first || !last || *first < 0 || *last > 639 || *first > *last)
                return false;
            view.startColumn = static_cast<int>(*first);
            view.endColumn = static_cast<int>(*last);
            continue;
        }
        const auto n = itemInteger(value);
        if (!n)
            return false;
        if (field == "row" && *n >= -1000 && *n <= 2000)
            view.surfaceRow = static_cast<double>(*n);
        else if (field == "roll" && *n >= -64 && *n <= 64)
            view.roll = static_cast<double>(*n);
        else if (field == "reflect" && *n >= 0 && *n <= 200)
            view.reflectance = static_cast<int>(*n);
        else
            return false;
    }
    return true;
}

} // namespace

std::string applySceneItems(SimulatedFrame& frame, std::string_view list)
{
    SceneConfig config = frame.scene();
    std::optional<bool> extended;
    std::string firstUnknown;
    for (std::string_view text : splitItems(list)) {
        const Item item = splitItem(text);
        bool ok = false;
        if (!item.hasValue && (item.name == "extended" || item.name == "ordinary")) {
            extended = item.name == "extended";
            ok = true;
        } else if (item.hasValue) {
            ok = applyViewItem(config, item.name, item.value);
        }
        if (!ok && firstUnknown.empty())
            firstUnknown = std::string(text);
    }
    if (!(config == frame.scene()))
        frame.setScene(config);
    if (extended)
        frame.setExtendedFrame(*extended);
    return firstUnknown;
}

std::string applyOpticsEnvironment(SimulatedFrame& frame, std::string_view list)
{
    OpticsConfig config = frame.fingers().opticsConfig();
    const std::string unknown = applyOpticsItems(config, list);
    frame.fingers().setOptics(config);
    return unknown;
}

bool applyNoLineItem(SimulatedFrame& frame, std::string_view text)
{
    const Item item = splitItem(text);
    if (item.name != "no-line")
        return false;
    const auto units = unitsOf(item.value);
    if (!units)
        return false;
    // Tilted far beyond every search window the tool asks for.
    SceneConfig config = frame.scene();
    for (size_t u : *units)
        config.units[u].surfaceRow = 420;
    frame.setScene(config);
    return true;
}

bool applySceneFault(SimulatedFrame& frame, std::string_view text)
{
    if (applyNoLineItem(frame, text))
        return true;
    const Item item = splitItem(text);
    const bool scene = item.name.starts_with("fail-") || item.name == "broken-bit" || item.name == "long-stream" ||
                       item.name == "vanish-in-frame";
    bool taken = false;
    if (scene)
        frame.changeFaults([&](FaultPlan& plan) { taken = parseFaultItem(plan, text); });
    return taken;
}

} // namespace tovrin::sim
