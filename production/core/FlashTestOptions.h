#pragma once
// What the flash read/write test is asked to do: whether it runs at all,
// how the dumps are compared, and which bytes a comparison may skip.

#include <cstdint>
#include <vector>

namespace tovrin::production {

// Bytes first..last (inclusive) of the 4 KB flash block at blockOffset.
struct IgnoreEntry {
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t blockOffset = 0;
    bool operator==(const IgnoreEntry&) const = default;
};

enum class CompareMode : int { All = 0, IgnoreListed = 1 };

struct FlashTestOptions {
    bool selected = false;
    CompareMode compareMode = CompareMode::All;
    std::vector<IgnoreEntry> ignore;
};

// The calibration record's block and the parts of it that leveling and
// exposure rewrite on their own.
constexpr uint32_t kCalibrationBlock = 0x11000;
constexpr IgnoreEntry kExposureBytes{4, 7, kCalibrationBlock};
constexpr IgnoreEntry kColumnWindowBytes{8, 11, kCalibrationBlock};
constexpr IgnoreEntry kLineJoinBytes{18, 65, kCalibrationBlock};

} // namespace tovrin::production
