#include "PackList.h"

#include "maintenance/update/Package.h"

#include <cstdio>
#include <string>

namespace tovrin::pack {

using namespace tovrin::update;

namespace {

std::string format(const char* fmt, auto... args)
{
    char line[200];
    std::snprintf(line, sizeof line, fmt, args...);
    return line;
}

std::string versionText(uint32_t v)
{
    return format("%u.%u.%u", v >> 24, (v >> 16) & 0xFF, v & 0xFFFF);
}

std::string whatItDoes(const UpdateJob& j)
{
    const char* unit = j.unit == device::Unit::Slave ? "Slave" : "Master";
    switch (j.kind) {
    case JobKind::Firmware:
        return format("firmware to %s, version %s, then HInfo at 0x%05x", unit, versionText(j.version).c_str(),
                      j.destination);
    case JobKind::SecondImage:
        return format("second image to %s, version %s at 0x%05x", unit, versionText(j.version).c_str(), j.destination);
    case JobKind::FlashData:
        return format("flash data to %s 0x%05x", unit, j.destination);
    }
    return {};
}

} // namespace

bool listPackage(std::span<const uint8_t> bytes, std::ostream& out)
{
    out << "size: " << bytes.size() << " bytes\n";
    if (bytes.size() < static_cast<size_t>(kTableSize)) {
        out << "refused (message 34): " << checkPackageHead(bytes, bytes.size()).describe() << '\n';
        return false;
    }
    const EntryTable table = decodeEntryTable(bytes.first<kTableSize>());
    out << "entry  flag    offset      version     length\n";
    for (int i = 0; i < kEntryCount; ++i) {
        const PackageEntry& e = table[static_cast<size_t>(i)];
        out << format("%-6d %-7u 0x%08x  0x%08x  %u\n", i, e.flag, e.offset, e.version, e.length);
    }
    const std::vector<UpdateJob> jobs = plannedJobs(table);
    out << "jobs that would run:\n";
    if (jobs.empty())
        out << "  none\n";
    for (const UpdateJob& j : jobs)
        out << format("  %-2s %6u bytes from 0x%08x  ", jobName(j.id), j.length, j.offset) << whatItDoes(j) << '\n';
    const PackageCheck check = checkPackage(table, bytes.size());
    if (check.ok()) {
        out << "accepted\n";
        return true;
    }
    out << "refused (message " << check.messageId << "): " << check.describe() << '\n';
    return false;
}

} // namespace tovrin::pack
