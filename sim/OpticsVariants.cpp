// The mounting variants of the simulated frame and TOVRIN_SIM_OPTICS.
#include "sim/ItemList.h"
#include "sim/Optics.h"

#include <cmath>

namespace tovrin::sim {

namespace {

// A unit off the design by ordinary production tolerances: a millimetre or
// so of place, half a degree of turn, a couple of pixels of decentring, half
// a percent of focal length. The two units differ, as two built units do.
constexpr Mount kTypicalMaster{1.2, -0.8, 0.45, 2.3, 0.3, 0.006};
constexpr Mount kTypicalSlave{-0.9, 1.1, -0.62, -1.7, -0.25, -0.008};
// A unit at the edge of the tolerances the production line lets through.
constexpr Mount kWorstMaster{3.5, -2.8, 1.6, 6.4, 1.0, 0.02};
constexpr Mount kWorstSlave{-3.1, 3.3, -1.9, -5.8, -0.9, -0.018};

// The units an item names: "master", "slave", or none for both.
bool unitsOf(std::string_view name, bool& master, bool& slave)
{
    master = name.empty() || name == "master";
    slave = name.empty() || name == "slave";
    return master || slave;
}

bool setField(Mount& m, std::string_view field, double value)
{
    if (field == "out" && std::abs(value) <= 50.0)
        m.outMm = value;
    else if (field == "up" && std::abs(value) <= 50.0)
        m.upMm = value;
    else if (field == "turn" && std::abs(value) <= 20.0)
        m.turnDeg = value;
    else if (field == "centre" && std::abs(value) <= 100.0)
        m.centrePx = value;
    else if (field == "focal" && std::abs(value) <= 20.0)
        m.focalPct = value;
    else if (field == "distortion" && std::abs(value) <= 0.5)
        m.distortion = value;
    else
        return false;
    return true;
}

bool applyItem(OpticsConfig& config, std::string_view text)
{
    const Item item = splitItem(text);
    if (!item.hasValue) {
        const auto variant = opticsVariant(item.name);
        if (!variant)
            return false;
        const double diagonal = config.diagonalInch;
        const double aspect = config.pixelAspect;
        config = *variant;
        config.diagonalInch = diagonal;
        config.pixelAspect = aspect;
        return true;
    }
    const auto value = itemNumber(item.value);
    if (!value)
        return false;
    if (item.name == "diagonal") {
        if (*value < 10.0 || *value > 300.0)
            return false;
        config.diagonalInch = *value;
        return true;
    }
    if (item.name == "aspect") {
        if (*value < 0.5 || *value > 2.0)
            return false;
        config.pixelAspect = *value;
        return true;
    }
    const size_t dot = item.name.find('.');
    const std::string_view unit = dot == std::string_view::npos ? std::string_view() : item.name.substr(0, dot);
    const std::string_view field = dot == std::string_view::npos ? item.name : item.name.substr(dot + 1);
    bool master = false, slave = false;
    if ((dot != std::string_view::npos && dot == 0) || !unitsOf(unit, master, slave))
        return false;
    Mount m0 = config.mounts[0], m1 = config.mounts[1];
    if ((master && !setField(m0, field, *value)) || (slave && !setField(m1, field, *value)))
        return false;
    config.mounts = {m0, m1};
    config.variant = "custom";
    return true;
}

} // namespace

std::optional<OpticsConfig> opticsVariant(std::string_view name)
{
    OpticsConfig c;
    c.variant = std::string(name);
    if (name == "nominal")
        c.mounts = {Mount{}, Mount{}};
    else if (name == "typical")
        c.mounts = {kTypicalMaster, kTypicalSlave};
    else if (name == "worst")
        c.mounts = {kWorstMaster, kWorstSlave};
    else
        return std::nullopt;
    return c;
}

std::string applyOpticsItems(OpticsConfig& config, std::string_view list)
{
    std::string firstUnknown;
    for (std::string_view item : splitItems(list))
        if (!applyItem(config, item) && firstUnknown.empty())
            firstUnknown = std::string(item);
    return firstUnknown;
}

} // namespace tovrin::sim
