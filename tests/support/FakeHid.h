#pragma once
// HID devices in a umockdev testbed as the kernel shows a USB interface: the
// HID device with its report descriptor, and its hidraw node.

#include <umockdev.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tovrin::test {

// The frame's vendor command collection as its firmware describes it: usage
// page 0xFF00, usage 1; report 3 of 63 data bytes in and out; feature report
// 7 of 2 bytes.
inline const std::vector<uint8_t> kFrameDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
    0x85, 0x03, 0x09, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x81, 0x02,
    0x09, 0x01, 0x91, 0x02,
    0x85, 0x07, 0x09, 0x02, 0x95, 0x02, 0xB1, 0x02,
    0xC0,
};

// Boot keyboard only.
inline const std::vector<uint8_t> kKeyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0,
};

// The sysfs paths of an added device; the caller frees both (g_free).
struct FakeHidPaths {
    gchar* hid = nullptr;
    gchar* raw = nullptr;
};

// Adds HID device 0003:<vid>:<pid>.<instance> and its node hidraw<node>
// (/dev/hidraw<node>, device number 245:<node>).
inline FakeHidPaths addFakeHid(UMockdevTestbed* bed, int node, int instance, uint16_t vid, uint16_t pid,
                               std::vector<uint8_t> descriptor, const char* name = "Touch Frame")
{
    char hidName[32], hidId[40], rawName[16], devName[24], dev[16];
    std::snprintf(hidName, sizeof hidName, "0003:%04X:%04X.%04X", vid, pid, instance);
    std::snprintf(hidId, sizeof hidId, "0003:%08X:%08X", vid, pid);
    std::snprintf(rawName, sizeof rawName, "hidraw%d", node);
    std::snprintf(devName, sizeof devName, "/dev/hidraw%d", node);
    std::snprintf(dev, sizeof dev, "245:%d", node);
    FakeHidPaths p;
    p.hid = umockdev_testbed_add_device(bed, "hid", hidName, nullptr, nullptr, "HID_ID", hidId, "HID_NAME", name,
                                        "HID_UNIQ", "", nullptr);
    umockdev_testbed_set_attribute_binary(bed, p.hid, "report_descriptor", descriptor.data(),
                                          static_cast<gint>(descriptor.size()));
    p.raw = umockdev_testbed_add_device(bed, "hidraw", rawName, p.hid, "dev", dev, nullptr, "DEVNAME", devName,
                                        nullptr);
    umockdev_testbed_set_attribute_link(bed, p.raw, "device", "..");
    return p;
}

} // namespace tovrin::test
