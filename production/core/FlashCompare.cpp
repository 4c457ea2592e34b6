#include "FlashCompare.h"

#include <algorithm>

namespace tovrin::production {

std::vector<IgnoreEntry> ignoreListFor(bool exposure, bool columns, bool lineJoin)
{
    std::vector<IgnoreEntry> list;
    if (exposure)
        list.push_back(kExposureBytes);
    if (columns)
        list.push_back(kColumnWindowBytes);
    if (lineJoin)
        list.push_back(kLineJoinBytes);
    return list;
}

std::optional<uint32_t> firstDifferentBlock(std::span<const uint8_t> reference, std::span<const uint8_t> current,
                                            CompareMode mode, const std::vector<IgnoreEntry>& ignore)
{
    const size_t common = std::min(reference.size(), current.size());
    for (size_t i = 0; i < common; ++i) {
        if (reference[i] == current[i])
            continue;
        const uint32_t block = static_cast<uint32_t>(i) / kFlashBlock * kFlashBlock;
        const uint32_t index = static_cast<uint32_t>(i) % kFlashBlock;
        const bool ignored = mode == CompareMode::IgnoreListed &&
                             std::any_of(ignore.begin(), ignore.end(), [&](const IgnoreEntry& e) {
                                 return e.blockOffset == block && index >= e.first && index <= e.last;
                             });
        if (!ignored)
            return block;
    }
    if (reference.size() != current.size())
        return static_cast<uint32_t>(common) / kFlashBlock * kFlashBlock;
    return std::nullopt;
}

} // namespace tovrin::production
