#pragma once
// The comma-separated item lists of the simulated frame's environment
// variables (TOVRIN_SIM_SCENE, TOVRIN_SIM_OPTICS, TOVRIN_SIM_TOUCH,
// TOVRIN_SIM_FAULTS): items with the spaces around them taken off, empty
// ones left out; and the numbers in their values.

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace tovrin::sim {

inline std::vector<std::string_view> splitItems(std::string_view list)
{
    std::vector<std::string_view> out;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (!item.empty())
            out.push_back(item);
    }
    return out;
}

// A whole decimal integer (sign allowed); nothing for anything else.
inline std::optional<long long> itemInteger(std::string_view text)
{
    long long value = 0;
    if (text.empty())
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A decimal number such as 1.5 or -0.25; nothing for anything else.
inline std::optional<double> itemNumber(std::string_view text)
{
    double value = 0.0;
    if (text.empty())
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// An item "name=value" split at its first '='; value empty without one.
struct Item {
    std::string_view name;
    std::string_view value;
    bool hasValue = false;
};

inline Item splitItem(std::string_view item)
{
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos)
        return {item, {}, false};
    return {item.substr(0, eq), item.substr(eq + 1), true};
}

} // namespace tovrin::sim
