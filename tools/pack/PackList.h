#pragma once
// tovrin-pack --list: the entry table of a package and the jobs an update
// would run from it, with the verdict of the checks the tool makes first.

#include <cstdint>
#include <ostream>
#include <span>

namespace tovrin::pack {

// Prints the listing; returns true when the package would be accepted.
bool listPackage(std::span<const uint8_t> bytes, std::ostream& out);

} // namespace tovrin::pack
