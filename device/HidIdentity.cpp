#include "HidIdentity.h"

#include <algorithm>

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

} // namespace tovrin::device
