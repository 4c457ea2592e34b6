#include "HidapiTransport.h"

#include <hidapi/hidapi.h>
#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace tovrin::device {

namespace {

// hid_init is not safe to race; every transport of the process shares one.
bool initHidapi()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = hid_init() == 0; });
    return ok;
}

// The device's serial number string, kept to printable ASCII (it names a
// folder); empty when the device has none.
std::string readSerial(hid_device* dev)
{
    wchar_t text[128] = {};
    if (hid_get_serial_number_string(dev, text, 127) != 0)
        return {};
    std::string out;
    for (const wchar_t* p = text; *p; ++p)
        if ((*p >= L'0' && *p <= L'9') || (*p >= L'A' && *p <= L'Z') || (*p >= L'a' && *p <= L'z') || *p == L'-' || *p == L'_')
            out += static_cast<char>(*p);
    return out;
}

std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

// The report ID of the command collection's reports, both ways.
constexpr uint8_t kCommandReportId = 3;

// Calls interrupted by signals one after the other before one is given up.
constexpr int kInterruptedRetries = 100;

int clampWait(uint32_t waitMs)
{
    return waitMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
}

} // namespace

HidapiTransport::HidapiTransport() = default;

HidapiTransport::HidapiTransport(std::string nodePath)
    : m_fixedPath(std::move(nodePath))
{
}

HidapiTransport::~HidapiTransport()
{
    close();
}

std::vector<HidEntry> HidapiTransport::enumerateFrameEntries()
{
    std::vector<HidEntry> entries;
    if (!initHidapi())
        return entries;
    hid_device_info* list = hid_enumerate(kFrameVendorId, 0);
    for (const hid_device_info* d = list; d; d = d->next) {
        HidEntry e;
        e.path = d->path ? d->path : "";
        e.vendorId = d->vendor_id;
        e.productId = d->product_id;
        e.usagePage = d->usage_page;
        e.usage = d->usage;
        entries.push_back(std::move(e));
    }
    hid_free_enumeration(list);
    return entries;
}

HidNodeIdentity HidapiTransport::readNode(const std::string& nodePath)
{
    // One lookup of the node's own sysfs entry and of the HID device behind
    // it: its sysname (whose instance counter grows with every plug-in),
    // HID_ID and report descriptor. Nothing else on the machine is looked at.
    HidNodeIdentity node;
    const auto slash = nodePath.rfind('/');
    const std::string sysname = slash == std::string::npos ? nodePath : nodePath.substr(slash + 1);
    struct udev* udev = udev_new();
    if (!udev)
        return node;
    if (struct udev_device* raw = udev_device_new_from_subsystem_sysname(udev, "hidraw", sysname.c_str())) {
        node.present = true;
        // The parent is owned by raw and must not be unreferenced.
        if (struct udev_device* hid = udev_device_get_parent_with_subsystem_devtype(raw, "hid", nullptr)) {
            if (const char* name = udev_device_get_sysname(hid))
                node.instance = name;
            if (const char* id = udev_device_get_property_value(hid, "HID_ID"))
                parseHidId(id, node.vendorId, node.productId);
            if (const char* sys = udev_device_get_syspath(hid)) {
                for (const HidUsage& u : collectionUsages(readFileBytes(std::string(sys) + "/report_descriptor")))
                    if (u.usagePage == kVendorUsagePage && u.usage == kVendorUsage)
                        node.vendorCollection = true;
            }
        }
        udev_device_unref(raw);
    }
    udev_unref(udev);
    return node;
}

bool HidapiTransport::open(uint16_t& productId)
{
    productId = kNoProductId;
    const std::lock_guard lock(m_mutex);
    closeLocked();
    if (!initHidapi())
        return false;
    if (!m_fixedPath.empty())
        return openNodeLocked(m_fixedPath, productId);

    const std::vector<HidEntry> entries = enumerateFrameEntries();
    for (const std::string& candidate : frameVendorPaths(entries)) {
        // hidapi opens only paths its own enumeration returned.
        hid_device* dev = hid_open_path(candidate.c_str());
        if (!dev)
            continue;
        uint16_t pid = kNoProductId;
        classifyOpenPath(entries, candidate, pid);
        m_device = dev;
        m_path = candidate;
        m_opened = readNode(candidate);
        m_serial = readSerial(dev);
        m_open = true;
        productId = pid;
        return true;
    }
    return false;
}

bool HidapiTransport::openNodeLocked(const std::string& path, uint16_t& productId)
{
    // A link (a udev rule's own name for the node) is followed to the node,
    // whose sysfs entry tells what it is.
    std::string node = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        node = real;
        std::free(real);
    }
    const HidNodeIdentity identity = readNode(node);
    if (!identity.present || identity.vendorId != kFrameVendorId || !isFrameProductId(identity.productId) ||
        !identity.vendorCollection)
        return false;
    hid_device* dev = hid_open_path(node.c_str());
    if (!dev)
        return false;
    m_device = dev;
    m_path = node;
    m_opened = identity;
    m_serial = readSerial(dev);
    m_open = true;
    productId = identity.productId;
    return true;
}

int HidapiTransport::check(uint16_t& productId)
{
    const std::lock_guard lock(m_mutex);
    if (!m_device)
        return kCheckGone;
    // The open node itself, not a scan of every HID device; the handle stays
    // as it is.
    return classifyOpenNode(m_opened, readNode(m_path), productId);
}

IoResult HidapiTransport::errorResult(int err) const
{
    // hid_read_timeout reports a hang-up of the node (unplug) as -1 without
    // setting errno; ENODEV and EIO are the other faces of a vanished device.
    if (err == 0 || err == ENODEV || err == EIO || err == ESHUTDOWN || err == ENOENT)
        return IoResult::NotConnected;
    if (::access(m_path.c_str(), F_OK) != 0)
        return IoResult::NotConnected;
    if (err == ETIMEDOUT)
        return IoResult::TimedOut;
    return IoResult::Failed;
}

IoResult HidapiTransport::write(const uint8_t* report, uint32_t /*waitMs*/)
{
    const std::lock_guard lock(m_mutex);
    if (!m_device)
        return IoResult::NotConnected;
    int n = -1;
    int err = 0;
    // A signal that comes before the report moved interrupts the write (EINTR); it is written again.
    for (int attempt = 0; attempt < kInterruptedRetries; ++attempt) {
        errno = 0;
        n = hid_write(m_device, report, kReportSize);
        err = errno;
        if (n >= 0 || err != EINTR)
            break;
    }
    if (n == kReportSize)
        return IoResult::Ok;
    if (n >= 0)
        return IoResult::Failed;  // short write: the frame takes whole reports only
    return errorResult(err);
}

IoResult HidapiTransport::read(uint8_t* report, uint32_t waitMs)
{
    const std::lock_guard lock(m_mutex);
    std::memset(report, 0, kReportSize);
    if (!m_device)
        return IoResult::NotConnected;
    // The wait goes on, for what is left of it, after a signal interrupted
    // it (EINTR) and after a report of another collection: hidraw hands the
    // node every input report of the frame's USB interface, its touch
    // screen's too, and only the command collection's (report ID 3) are
    // for us, as a handle of that collection alone would see them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int wait = clampWait(waitMs);
    for (int interrupted = 0;;) {
        errno = 0;
        const int n = hid_read_timeout(m_device, report, kReportSize, wait);
        const int err = errno;
        if (n > 0 && report[0] == kCommandReportId)
            return IoResult::Ok;  // a report is always taken as 64 bytes
        if (n == 0)
            return IoResult::TimedOut;
        if (n < 0 && (err != EINTR || ++interrupted >= kInterruptedRetries))
            return errorResult(err);
        std::memset(report, 0, kReportSize);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        wait = left.count() > 0 ? clampWait(static_cast<uint32_t>(std::min<int64_t>(left.count(), UINT32_MAX))) : 0;
    }
}

bool HidapiTransport::getFeature(uint8_t* buffer)
{
    const std::lock_guard lock(m_mutex);
    if (!m_device)
        return false;
    // The length counts the report ID in buffer[0].
    return hid_get_feature_report(m_device, buffer, kFeatureReportSize) > 0;
}

void HidapiTransport::close()
{
    const std::lock_guard lock(m_mutex);
    closeLocked();
}

void HidapiTransport::closeLocked()
{
    if (m_device)
        hid_close(m_device);
    m_device = nullptr;
    m_path.clear();
    m_opened = {};
    m_serial.clear();
    m_open = false;
}

bool HidapiTransport::isOpen() const
{
    return m_open;
}

std::string HidapiTransport::path() const
{
    const std::lock_guard lock(m_mutex);
    return m_path;
}

std::string HidapiTransport::serialNumber() const
{
    const std::lock_guard lock(m_mutex);
    return m_serial;
}

} // namespace tovrin::device
