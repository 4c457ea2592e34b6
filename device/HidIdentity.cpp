#include "HidIdentity.h"

#include <algorithm>
#include <cstdio>

namespace tovrin::device {

bool isFrameIdentity(uint16_t vendorId, uint16_t productId)
{
    return vendorId == kFrameVendorId && isFrameProductId(productId);
}

bool isFrameVendorCollection(const HidEntry& entry)
{
    return isFrameIdentity(entry.vendorId, entry.productId)
        && entry.usagePage == kVendorUsagePage && entry.usage == kVendorUsage;
}

std::vector<std::string> frameVendorPaths(const std::vector<HidEntry>& entries)
{
    std::vector<std::string> paths;
    for (const HidEntry& e : entries) {
        if (e.path.empty() || !isFrameVendorCollection(e))
            continue;
        if (std::find(paths.begin(), paths.end(), e.path) == paths.end())
            paths.push_back(e.path);
    }
    return paths;
}

std::optional<HidEntry> chooseFrameCollection(const std::vector<HidEntry>& entries)
{
    for (const HidEntry& e : entries)
        if (!e.path.empty() && isFrameVendorCollection(e))
            return e;
    return std::nullopt;
}

CheckResult classifyOpenPath(const std::vector<HidEntry>& entries, const std::string& path,
                             uint16_t& productId)
{
    bool listed = false;
    bool vendorCollection = false;
    for (const HidEntry& e : entries) {
        if (e.path != path)
            continue;
        // All entries of one node come from one device; a foreign identity on
        // any of them means the node now belongs to something else.
        if (!isFrameIdentity(e.vendorId, e.productId))
            return kCheckGone;
        listed = true;
        productId = e.productId;
        if (isFrameVendorCollection(e))
            vendorCollection = true;
    }
    if (!listed || path.empty())
        return kCheckGone;
    return vendorCollection ? kCheckFrameOk : kCheckWrongCollection;
}

std::vector<HidUsage> collectionUsages(const std::vector<uint8_t>& d)
{
    // Short items: one prefix byte (tag bits 2-7, size code bits 0-1: 0, 1,
    // 2 or 4 data bytes), data little-endian. Long items: 0xFE, data size,
    // long tag, data. Usage Page is global; Usage is local and lasts until
    // the next main item; a four-byte Usage carries its own page.
    std::vector<HidUsage> out;
    uint16_t page = 0;
    uint16_t usage = 0;
    bool haveUsage = false;
    size_t pos = 0;
    while (pos < d.size()) {
        const uint8_t prefix = d[pos];
        if (prefix == 0xFE) {
            if (pos + 1 >= d.size())
                break;
            pos += 3 + d[pos + 1];
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (pos + 1 + size > d.size())
            break;  // truncated item
        uint32_t data = 0;
        for (size_t i = 0; i < size; ++i)
            data |= static_cast<uint32_t>(d[pos + 1 + i]) << (8 * i);
        switch (prefix & 0xFC) {
        case 0x04:  // Usage Page
            page = static_cast<uint16_t>(data);
            break;
        case 0x08:  // Usage
            if (size == 4)
                page = static_cast<uint16_t>(data >> 16);
            usage = static_cast<uint16_t>(data);
            haveUsage = true;
            break;
        case 0xA0:  // Collection
            if (haveUsage)
                out.push_back({page, usage});
            haveUsage = false;
            break;
        case 0x80:  // Input
        case 0x90:  // Output
        case 0xB0:  // Feature
        case 0xC0:  // End Collection
            haveUsage = false;
            break;
        default:
            break;
        }
        pos += 1 + size;
    }
    return out;
}

bool parseHidId(const std::string& hidId, uint16_t& vendorId, uint16_t& productId)
{
    unsigned bus = 0, vid = 0, pid = 0;
    char tail = 0;
    if (std::sscanf(hidId.c_str(), "%x:%x:%x%c", &bus, &vid, &pid, &tail) != 3 || vid > 0xFFFF || pid > 0xFFFF)
        return false;
    vendorId = static_cast<uint16_t>(vid);
    productId = static_cast<uint16_t>(pid);
    return true;
}

CheckResult classifyOpenNode(const HidNodeIdentity& opened, const HidNodeIdentity& now, uint16_t& productId)
{
    if (!now.present)
        return kCheckGone;
    if (!opened.instance.empty() && now.instance != opened.instance)
        return kCheckGone;  // the node now belongs to a device plugged in after ours
    if (!isFrameIdentity(now.vendorId, now.productId))
        return kCheckGone;
    productId = now.productId;
    return now.vendorCollection ? kCheckFrameOk : kCheckWrongCollection;
}

} // namespace tovrin::device
