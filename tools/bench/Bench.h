#pragma once
// tovrin-bench modes. Each benchmark file registers its modes with a
// BenchMode object at namespace scope; main() looks the name up. The files
// are compiled straight into the executable, so the registrations are
// never dropped by the linker.

#include <string>
#include <vector>

namespace tovrin::bench {

using BenchFunction = int (*)(int argc, char** argv);  // argv[0] is the mode name

struct BenchModeInfo {
    const char* name;
    const char* usage;  // the arguments after the name, "" for none
    BenchFunction run;
};

std::vector<BenchModeInfo>& benchModes();

struct BenchMode {
    BenchMode(const char* name, const char* usage, BenchFunction run) { benchModes().push_back({name, usage, run}); }
};

} // namespace tovrin::bench
