#include "PackageWriter.h"

#include <charconv>

namespace tovrin::update {

std::optional<std::vector<uint8_t>> assemblePackage(const PackageItems& items, std::string& error)
{
    EntryTable table{};
    std::vector<uint8_t> body;
    uint32_t next = kTableSize;
    // Appends an item's bytes; returns its offset.
    auto place = [&](const PackageItem& item) {
        const uint32_t at = next;
        body.insert(body.end(), item.data.begin(), item.data.end());
        next += static_cast<uint32_t>(item.data.size());
        return at;
    };
    auto setEntry = [&](int entry, uint32_t offset, uint32_t version, uint32_t length) {
        PackageEntry& e = table[static_cast<size_t>(entry)];
        e.offset = offset;
        e.version = version;
        e.length = length;
    };

    std::optional<uint32_t> flashLength;
    for (const auto* item : {&items.flashD, &items.flashE, &items.flashF}) {
        if (!*item)
            continue;
        const uint32_t n = static_cast<uint32_t>((*item)->data.size());
        if (flashLength && *flashLength != n) {
            error = "the flash data items D, E and F share one length";
            return std::nullopt;
        }
        flashLength = n;
    }

    if (items.firmware) {
        setEntry(0, place(*items.firmware), items.firmware->version, static_cast<uint32_t>(items.firmware->data.size()));
        table[0].flag = 1;
    }
    if (items.secondMaster) {
        setEntry(4, place(*items.secondMaster), items.secondMaster->version,
                 static_cast<uint32_t>(items.secondMaster->data.size()));
        table[1].flag = 1;
    }
    if (items.secondSlave) {
        setEntry(5, place(*items.secondSlave), items.secondSlave->version,
                 static_cast<uint32_t>(items.secondSlave->data.size()));
        table[2].flag = 1;
    }
    if (flashLength) {
        table[3].length = *flashLength;
        if (items.flashD) {
            table[3].offset = place(*items.flashD);
            table[3].flag = 1;
        }
        if (items.flashE) {
            setEntry(1, place(*items.flashE), table[1].version, *flashLength);
            table[4].flag = 1;
        }
        if (items.flashF) {
            setEntry(2, place(*items.flashF), table[2].version, *flashLength);
            table[5].flag = 1;
        }
    }
    for (const auto& [entry, value] : items.flagOverrides) {
        if (entry < 0 || entry >= kEntryCount) {
            error = "entry numbers run from 0 to 5";
            return std::nullopt;
        }
        table[static_cast<size_t>(entry)].flag = value;
    }

    std::vector<uint8_t> package;
    const auto head = encodeEntryTable(table);
    package.insert(package.end(), head.begin(), head.end());
    package.insert(package.end(), body.begin(), body.end());
    return package;
}

std::optional<uint32_t> parseVersion(const std::string& text)
{
    unsigned parts[3] = {0, 0, 0};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, ec] = std::from_chars(p, end, parts[i]);
        if (ec != std::errc() || next == p)
            return std::nullopt;
        p = next;
        if (i < 2) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
    }
    if (p != end || parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF)
        return std::nullopt;
    return (parts[0] << 24) | (parts[1] << 16) | parts[2];
}

} // namespace tovrin::update
