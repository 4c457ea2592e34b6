#pragma once
// The comma-separated item lists of the simulated frame's environment
// variables (TOVRIN_SIM_SCENE, TOVRIN_SIM_TOUCH, TOVRIN_SIM_FAULTS): items
// with the spaces around them taken off, empty ones left out.

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

} // namespace tovrin::sim
