#include "LineDecoder.h"

#include <algorithm>

namespace tovrin::leveling {

int decodeLine(std::span<const uint8_t> stream, int length, std::span<uint8_t> out)
{
    const size_t end = length <= 0 ? 0 : std::min(static_cast<size_t>(length), stream.size());
    const size_t room = std::min(out.size(), static_cast<size_t>(kLinePixels));
    size_t p = 0;
    size_t written = 0;
    while (p < end && written < room) {
        const uint8_t b = stream[p];
        int level;
        size_t run;
        if (b > 15) {
            level = b & 15;
            run = b >> 4;
            p += 1;
        } else {
            if (p + 1 >= end)
                break;  // the count byte lies beyond the stream
            level = b;
            run = stream[p + 1];
            p += 2;
        }
        const size_t n = std::min(run, room - written);
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(written), n, levelValue(level));
        written += n;
    }
    return static_cast<int>(written);
}

} // namespace tovrin::leveling
