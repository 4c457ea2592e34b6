#include "sim/FaultPlan.h"

#include "sim/ItemList.h"

namespace tovrin::sim {

namespace {

// The units an item value names: "master", "slave", or nothing for both.
bool unitsOf(std::string_view value, std::array<bool, 2>& units)
{
    units = {value.empty() || value == "master", value.empty() || value == "slave"};
    return units[0] || units[1];
}

bool setFlags(std::array<bool, 2>& flags, std::string_view value)
{
    std::array<bool, 2> units{};
    if (!unitsOf(value, units))
        return false;
    for (size_t u = 0; u < 2; ++u)
        flags[u] = flags[u] || units[u];
    return true;
}

bool parseFlag(FaultPlan& plan, std::string_view name)
{
    FingerFaults& f = plan.fingers;
    if (name == "real-timeouts")
        plan.link.realTimeouts = true;
    else if (name == "bootloader-gone")
        plan.bootLoader.neverReturns = true;
    else if (name == "bootloader-mute")
        plan.bootLoader.mute = true;
    else if (name == "new-application-dead")
        plan.bootLoader.newApplicationDead = true;
    else if (name == "blind-left")
        f.blindLeft = true;
    else if (name == "blind-right")
        f.blindRight = true;
    else if (name == "finger-stuck")
        f.stuck = true;
    else if (name == "edge-spots")
        f.edgeSpots = true;
    else if (name == "reflection")
        f.reflection = true;
    else if (name == "long-stream")
        plan.leveling.longStream = true;
    else if (name == "refuse-work-mode")
        plan.firmware.workMode = WorkModeFault::Refuse;
    else if (name == "mute-work-mode")
        plan.firmware.workMode = WorkModeFault::Mute;
    else
        return false;
    return true;
}

// refuse=N or refuse=N@C (N commands of number C).
bool parseRefusal(LinkFaults& link, std::string_view value)
{
    const size_t at = value.find('@');
    const auto count = itemInteger(value.substr(0, at));
    const auto command = at == std::string_view::npos ? std::optional<long long>(-1) : itemInteger(value.substr(at + 1));
    if (!count || *count < 0 || !command || *command < -1 || *command > 63)
        return false;
    link.answer = StatusFault{0xFF, static_cast<int>(*count), static_cast<int>(*command), 0};
    return true;
}

bool parseBrokenBit(LevelingFaults& leveling, std::string_view value)
{
    const size_t colon = value.find(':');
    std::array<bool, 2> units{};
    if (colon == std::string_view::npos || !unitsOf(value.substr(0, colon), units))
        return false;
    const auto bit = itemInteger(value.substr(colon + 1));
    if (!bit || *bit < 0 || *bit > 7)
        return false;
    for (size_t u = 0; u < 2; ++u)
        if (units[u])
            leveling.brokenDataBits[u] = static_cast<uint8_t>(leveling.brokenDataBits[u] | (1u << *bit));
    return true;
}

// fail-setline, fail-linerange, fail-zones, fail-exposure [=master|slave]
std::array<bool, 2>* failureFlags(LevelingFaults& lv, std::string_view name)
{
    return name == "fail-setline"     ? &lv.failSetLine
           : name == "fail-linerange" ? &lv.failLineRange
           : name == "fail-zones"     ? &lv.failZones
           : name == "fail-exposure"  ? &lv.failExposure
                                      : nullptr;
}

} // namespace

bool parseFaultItem(FaultPlan& plan, std::string_view text)
{
    const Item item = splitItem(text);
    if (std::array<bool, 2>* flags = failureFlags(plan.leveling, item.name))
        return setFlags(*flags, item.value);
    if (!item.hasValue)
        return parseFlag(plan, item.name);
    if (item.name == "broken-bit")
        return parseBrokenBit(plan.leveling, item.value);
    if (item.name == "refuse")
        return parseRefusal(plan.link, item.value);
    const auto n = itemInteger(item.value);
    if (!n || *n < 0)
        return false;
    const auto count = static_cast<uint64_t>(*n);
    if (item.name == "drop-replies")
        plan.link.dropNext = static_cast<int>(*n);
    else if ((item.name == "drop-command" || item.name == "drop-replies-to") && *n < 64)
        plan.link.dropCommands.set(static_cast<size_t>(*n));
    else if (item.name == "late-replies")
        plan.link.late = static_cast<int>(*n);
    else if (item.name == "late-at" && count > 0)
        plan.link.lateAtReportIn = count;
    else if (item.name == "foreign-replies" && *n < 255)
        plan.link.foreignBefore = static_cast<int>(*n);
    else if (item.name == "latency-us")
        plan.link.latency = std::chrono::microseconds(*n);
    else if (item.name == "vanish-at" && count > 0)
        plan.link.vanishAtReportIn = count;
    else if (item.name == "vanish-in-frame" && count > 0)
        plan.link.vanishAtLineRequestIn = count;
    else if (item.name == "vanish-at-feature" && count > 0)
        plan.link.vanishAtFeatureIn = count;
    else if (item.name == "refuse-block" && count > 0)
        plan.bootLoader.refuseBlockIn = count;
    else if (item.name == "unplug-at-block" && count > 0)
        plan.bootLoader.vanishAtBlockIn = count;
    else
        return false;
    return true;
}

} // namespace tovrin::sim
