// tovrin-bench: speed measurements. Not run by CTest; each mode prints one
// result line.
#include "Bench.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tovrin::bench {

std::vector<BenchModeInfo>& benchModes()
{
    static std::vector<BenchModeInfo> modes;
    return modes;
}

} // namespace tovrin::bench

int main(int argc, char** argv)
{
    using namespace tovrin::bench;
    auto& modes = benchModes();
    std::sort(modes.begin(), modes.end(),
              [](const BenchModeInfo& a, const BenchModeInfo& b) { return std::strcmp(a.name, b.name) < 0; });
    if (argc >= 2) {
        for (const BenchModeInfo& mode : modes)
            if (std::strcmp(argv[1], mode.name) == 0)
                return mode.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "usage:\n");
    for (const BenchModeInfo& mode : modes)
        std::fprintf(stderr, "  tovrin-bench %s%s%s\n", mode.name, *mode.usage ? " " : "", mode.usage);
    return 2;
}
