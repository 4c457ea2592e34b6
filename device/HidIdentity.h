#pragma once
// Which HID collection is the frame. Pure decisions over an enumeration list,
// kept apart from hidapi so that every odd list a machine can produce is
// tested without hardware.
//
// On Linux (hidraw) one node can carry several top-level collections, and the
// enumeration lists every collection it finds in the node's report descriptor,
// nested ones too, each as its own entry with the same path. A node is the
// frame's command interface when one of its entries has the frame's vendor
// ID, one of the five product IDs and usage page 0xFF00 / usage 1; the other
// entries of that node and all other nodes of the frame are never opened.

#include "device/Transport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovrin::device {

// One collection as the HID enumeration reports it.
struct HidEntry {
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

// Vendor 0x1FC9 and one of the application or boot-loader product IDs.
bool isFrameIdentity(uint16_t vendorId, uint16_t productId);

// A frame identity and the vendor command collection (0xFF00 / 1).
bool isFrameVendorCollection(const HidEntry& entry);

// Paths of the nodes that carry a frame's vendor collection, in enumeration
// order, each path once however many of its entries match.
std::vector<std::string> frameVendorPaths(const std::vector<HidEntry>& entries);

// The first frame vendor collection of the list, or nothing.
std::optional<HidEntry> chooseFrameCollection(const std::vector<HidEntry>& entries);

// Re-check of an open node against a fresh enumeration: kCheckGone when the
// path is no longer listed or one of its entries shows a foreign identity,
// kCheckWrongCollection when it is a frame node without the vendor collection,
// kCheckFrameOk otherwise. productId is set whenever the path is listed with a
// frame identity.
CheckResult classifyOpenPath(const std::vector<HidEntry>& entries, const std::string& path,
                             uint16_t& productId);

} // namespace tovrin::device
