#include "sim/LineCodec.h"

namespace tovrin::sim {

int encodePackedLine(const uint8_t* pixels, int count, uint8_t* out)
{
    int length = 0;
    int i = 0;
    while (i < count && length < kMaxPackedLineLength) {
        const uint8_t level = packedLevel(pixels[i]);
        int run = 1;
        while (i + run < count && run < 255 && packedLevel(pixels[i + run]) == level)
            ++run;
        if (run <= 15) {
            out[length++] = static_cast<uint8_t>((run << 4) | level);
        } else {
            if (length + 2 > kMaxPackedLineLength)
                break;
            out[length++] = level;
            out[length++] = static_cast<uint8_t>(run);
        }
        i += run;
    }
    return length;
}

} // namespace tovrin::sim
