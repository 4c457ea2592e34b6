#include "sim/SceneItems.h"

#include "sim/ItemList.h"
#include "sim/OpticalScene.h"
#include "sim/SimulatedFrame.h"

#include <charconv>
#include <optional>
#include <vector>

namespace tovrin::sim {

namespace {

std::optional<long> number(std::string_view text)
{
    long value = 0;
    if (text.empty())
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

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
        const auto n = number(value);
        if (!n || *n < 0 || *n > 255)
            return false;
        config.noise = static_cast<int>(*n);
        return true;
    }
    const size_t dot = key.find('.');
    if (dot == std::string_view::npos)
        return false;
    const auto units = unitsOf(key.substr(0, dot));
    const std::string_view field = key.substr(dot + 1);
    if (!units || dot == 0)
        return false;
    for (size_t u : *units) {
        CameraView& view = config.units[u];
        if (field == "columns") {
            const size_t dash = value.find('-');
            const auto first = number(value.substr(0, dash));
            const auto last = dash == std::string_view::npos ? std::nullopt : number(value.substr(dash + 1));
            if (!first || !last || *first < 0 || *last > 639 || *first > *last)
                return false;
            view.startColumn = static_cast<int>(*first);
            view.endColumn = static_cast<int>(*last);
            continue;
        }
        const auto n = number(value);
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
    std::string firstUnknown;
    for (std::string_view item : splitItems(list)) {
        const size_t eq = item.find('=');
        const bool ok = eq != std::string_view::npos && applyViewItem(config, item.substr(0, eq), item.substr(eq + 1));
        if (!ok && firstUnknown.empty())
            firstUnknown = std::string(item);
    }
    frame.setScene(config);
    return firstUnknown;
}

bool applySceneFault(SimulatedFrame& frame, std::string_view item)
{
    const size_t eq = item.find('=');
    const std::string_view name = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
    SceneConfig config = frame.scene();
    SceneFaults& f = config.faults;

    if (name == "long-stream" && eq == std::string_view::npos) {
        f.longStream = true;
    } else if (name == "vanish-in-frame") {
        const auto n = number(value);
        if (!n || *n <= 0)
            return false;
        frame.vanishAtLineDataRequest(static_cast<uint64_t>(*n));
        return true;
    } else if (name == "broken-bit") {
        const size_t colon = value.find(':');
        const auto units = unitsOf(value.substr(0, colon));
        const auto bit = colon == std::string_view::npos ? std::nullopt : number(value.substr(colon + 1));
        if (!units || !bit || *bit < 0 || *bit > 7)
            return false;
        for (size_t u : *units)
            f.brokenDataBits[u] = static_cast<uint8_t>(f.brokenDataBits[u] | (1u << *bit));
    } else {
        const auto units = unitsOf(value);
        if (!units)
            return false;
        std::array<bool, 2>* flags = name == "fail-setline"     ? &f.failSetLine
                                     : name == "fail-linerange" ? &f.failLineRange
                                     : name == "fail-zones"     ? &f.failZones
                                     : name == "fail-exposure"  ? &f.failExposure
                                                                : nullptr;
        if (flags) {
            for (size_t u : *units)
                (*flags)[u] = true;
        } else if (name == "no-line") {
            // Tilted far beyond every search window the tool asks for.
            for (size_t u : *units)
                config.units[u].surfaceRow = 420;
        } else {
            return false;
        }
    }
    frame.setScene(config);
    return true;
}

} // namespace tovrin::sim
