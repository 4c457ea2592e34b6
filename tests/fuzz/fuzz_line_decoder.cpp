// The packed line decoder: never writes past 640 pixels or its buffer, never
// reads past the stream, and a line packed by the format's rules decodes to
// exactly the pixels it was made of.
#include "FuzzSupport.h"

#include "leveling/core/LineDecoder.h"

using namespace tovrin;
using namespace tovrin::leveling;

namespace {

// Packs levels by the format: runs of 1-15 in one byte (level 1-15), other
// runs (and level 0) in two bytes of at most 255 pixels.
std::vector<uint8_t> pack(const std::vector<int>& levels)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < levels.size();) {
        size_t run = 1;
        while (i + run < levels.size() && levels[i + run] == levels[i] && run < 255)
            ++run;
        const int level = levels[i];
        if (level != 0 && run <= 15)
            out.push_back(static_cast<uint8_t>(run << 4 | level));
        else
            out.insert(out.end(), {static_cast<uint8_t>(level), static_cast<uint8_t>(run)});
        i += run;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const int length = static_cast<int16_t>(in.u16());
    const size_t outSize = in.u16() % 1024;
    const std::vector<uint8_t> stream = in.bytes(in.remaining());

    // Any stream: the output stays inside its buffer and 640 pixels (the
    // sanitizer sees a write past the exact-sized buffers).
    std::vector<uint8_t> exact(stream.begin(), stream.end());
    std::vector<uint8_t> out(outSize, 0xA5);
    const int n = decodeLine(exact, length, out);
    FUZZ_CHECK(n >= 0 && n <= kLinePixels && static_cast<size_t>(n) <= outSize);
    for (size_t i = static_cast<size_t>(n); i < out.size(); ++i)
        FUZZ_CHECK(out[i] == 0xA5);
    if (length <= 0)
        FUZZ_CHECK(n == 0);

    // The same bytes taken as pixel levels: packed, they decode to the line.
    std::vector<int> levels;
    for (size_t i = 0; i < stream.size() && levels.size() < kLinePixels; ++i) {
        const int run = 1 + (stream[i] >> 4) * 3;
        levels.insert(levels.end(), std::min<size_t>(run, kLinePixels - levels.size()), stream[i] & 15);
    }
    const std::vector<uint8_t> packed = pack(levels);
    std::vector<uint8_t> line(kLinePixels);
    const int decoded = decodeLine(packed, static_cast<int>(packed.size()), line);
    FUZZ_CHECK(decoded == static_cast<int>(levels.size()));
    for (size_t i = 0; i < levels.size(); ++i)
        FUZZ_CHECK(line[i] == levelValue(levels[i]));
    return 0;
}
