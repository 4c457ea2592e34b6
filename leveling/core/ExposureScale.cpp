#include "ExposureScale.h"

#include <algorithm>
#include <array>

namespace tovrin::leveling {

namespace {

struct Setting {
    uint8_t high;
    uint8_t low;
};

constexpr std::array<Setting, kExposureScaleSize> kScale{{
    {0x04, 0x40}, {0x06, 0x40}, {0x08, 0x40}, {0x04, 0x50}, {0x06, 0x50}, {0x04, 0x60}, {0x04, 0x70},
    {0x10, 0x40}, {0x06, 0x60}, {0x06, 0x70}, {0x04, 0x80}, {0x08, 0x60}, {0x04, 0xC0}, {0x04, 0xB0},
    {0x10, 0x50}, {0x06, 0xA0}, {0x06, 0xC0}, {0x08, 0xA0}, {0x10, 0x60}, {0x10, 0x80}, {0x10, 0xB0},
    {0x14, 0x60}, {0x14, 0x70}, {0x14, 0xB0}, {0x18, 0x70}, {0x1C, 0x70},
}};

} // namespace

int exposureScaleIndex(uint8_t high, uint8_t low)
{
    for (size_t i = 0; i < kScale.size(); ++i)
        if (kScale[i].high == high && kScale[i].low == low)
            return static_cast<int>(i);
    return -1;
}

int exposureLimitIndex(int iniValue) { return std::clamp(iniValue, 0, kExposureScaleSize - 1); }

bool exposureMark(bool previous, uint8_t high, uint8_t low, int limit)
{
    const int index = exposureScaleIndex(high, low);
    return index < 0 ? previous : index >= limit;
}

} // namespace tovrin::leveling
