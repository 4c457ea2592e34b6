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

// ---- Re-checking the open node -------------------------------------------
//
// The frame is re-checked every 100 ms while it is open. That check looks at
// the open node alone (its sysfs entry), never at a fresh enumeration of all
// HID devices: a scan ten times a second costs, and any hiccup in it would
// report the frame gone and start the whole detection again.

// What the system says of one hidraw node now.
struct HidNodeIdentity {
    bool present = false;    // the node is there
    std::string instance;    // sysname of the HID device behind it ("0003:1FC9:0055.0007")
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool vendorCollection = false;  // its report descriptor has the 0xFF00 / 1 collection
};

// The (usage page, usage) of every collection of a report descriptor that is
// introduced by a usage, in order, nested ones too: the pairs the HID
// enumeration lists for a node. A malformed descriptor gives what was read
// before the fault.
struct HidUsage {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    bool operator==(const HidUsage&) const = default;
};
std::vector<HidUsage> collectionUsages(const std::vector<uint8_t>& descriptor);

// "0003:00001FC9:00000055" (the HID_ID of a HID device): vendor and product.
bool parseHidId(const std::string& hidId, uint16_t& vendorId, uint16_t& productId);

// The open node against what it was when opened: kCheckGone when it is no
// longer there, belongs to another device (a frame plugged in after ours got
// the same node) or shows a foreign identity; kCheckWrongCollection when it
// is a frame node without the vendor collection; kCheckFrameOk otherwise.
// productId is set whenever the node shows a frame identity.
CheckResult classifyOpenNode(const HidNodeIdentity& opened, const HidNodeIdentity& now, uint16_t& productId);

} // namespace tovrin::device
