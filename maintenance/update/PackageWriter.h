#pragma once
// Assembles an update package from its items (tovrin-pack, the tests). The
// layout: the entry table, then the firmware, the second images of Master
// and Slave, and the flash data D, E and F, each item once.
//
// The table's cross-references decide where each offset goes: entry 1 holds
// the offset of E's data, entry 2 that of F's, entry 3 the offset of D's and
// the one length of all flash data, entries 4 and 5 the second images. So
// every flash-data item must have the same length.

#include "Package.h"

#include <optional>
#include <string>
#include <vector>

namespace tovrin::update {

struct PackageItem {
    std::vector<uint8_t> data;
    uint32_t version = 0;
};

struct PackageItems {
    std::optional<PackageItem> firmware;      // jobs A1, A2
    std::optional<PackageItem> secondMaster;  // job B
    std::optional<PackageItem> secondSlave;   // job C
    std::optional<PackageItem> flashD;        // Master 0x16000
    std::optional<PackageItem> flashE;        // Master 0x17000
    std::optional<PackageItem> flashF;        // Slave 0x17000
    // Flags written instead of 1 for present items (entry number, value),
    // e.g. to make a package whose flags are 2.
    std::vector<std::pair<int, uint16_t>> flagOverrides;
};

// The package bytes; nullopt with a reason when the items cannot form one.
std::optional<std::vector<uint8_t>> assemblePackage(const PackageItems& items, std::string& error);

// "1.2.6" -> 0x01020006; nullopt for anything else.
std::optional<uint32_t> parseVersion(const std::string& text);

} // namespace tovrin::update
