#include "HidapiTransport.h"

#include <hidapi/hidapi.h>
#include <libudev.h>

#include <cerrno>
#include <climits>
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

// The sysname of the HID device behind a hidraw node ("0003:1FC9:0055.0007").
// Its instance counter grows with every plug-in, so it tells a re-plugged
// frame that got the same node from the one we opened. Empty when unknown.
std::string hidInstanceOf(const std::string& nodePath)
{
    const auto slash = nodePath.rfind('/');
    const std::string sysname = slash == std::string::npos ? nodePath : nodePath.substr(slash + 1);
    std::string instance;
    struct udev* udev = udev_new();
    if (!udev)
        return instance;
    if (struct udev_device* raw = udev_device_new_from_subsystem_sysname(udev, "hidraw", sysname.c_str())) {
        // The parent is owned by raw and must not be unreferenced.
        if (struct udev_device* hid = udev_device_get_parent_with_subsystem_devtype(raw, "hid", nullptr))
            if (const char* name = udev_device_get_sysname(hid))
                instance = name;
        udev_device_unref(raw);
    }
    udev_unref(udev);
    return instance;
}

int clampWait(uint32_t waitMs)
{
    return waitMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
}

} // namespace

HidapiTransport::HidapiTransport() = default;

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

bool HidapiTransport::open(uint16_t& productId)
{
    productId = kNoProductId;
    const std::lock_guard lock(m_mutex);
    closeLocked();
    if (!initHidapi())
        return false;

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
        m_instance = hidInstanceOf(candidate);
        m_open = true;
        productId = pid;
        return true;
    }
    return false;
}

int HidapiTransport::check(uint16_t& productId)
{
    const std::lock_guard lock(m_mutex);
    if (!m_device)
        return kCheckGone;

    // A fresh enumeration tells whether our node is still listed as the
    // frame's vendor collection; the handle itself stays as it is.
    const CheckResult result = classifyOpenPath(enumerateFrameEntries(), m_path, productId);
    if (result == kCheckGone)
        return kCheckGone;
    if (!m_instance.empty() && hidInstanceOf(m_path) != m_instance)
        return kCheckGone;  // the node now belongs to a frame plugged in after ours
    return result;
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
    errno = 0;
    const int n = hid_write(m_device, report, kReportSize);
    const int err = errno;
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
    errno = 0;
    const int n = hid_read_timeout(m_device, report, kReportSize, clampWait(waitMs));
    const int err = errno;
    if (n > 0)
        return IoResult::Ok;  // a report is always taken as 64 bytes
    if (n == 0)
        return IoResult::TimedOut;
    return errorResult(err);
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
    m_instance.clear();
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

} // namespace tovrin::device
