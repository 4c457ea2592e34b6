#include "UdevMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace tovrin::device {

UdevMonitor::UdevMonitor(QObject* parent)
    : QObject(parent)
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    // "udev" events come after the rules ran, so the node already has the
    // access rights the uaccess tag gives it when we are told.
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor
        || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0) {
        release();
        return;
    }
    const int fd = udev_monitor_get_fd(m_monitor);
    if (fd < 0) {
        release();
        return;
    }
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UdevMonitor::receive);
}

UdevMonitor::~UdevMonitor()
{
    release();
}

bool UdevMonitor::isActive() const
{
    return m_notifier != nullptr;
}

void UdevMonitor::receive()
{
    if (!m_monitor)
        return;
    // One notification can stand for several queued events; the socket is
    // non-blocking, so drain it until udev has nothing more.
    while (struct udev_device* dev = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(dev);
        const char* node = udev_device_get_devnode(dev);
        const QString devnode = node ? QString::fromLocal8Bit(node) : QString();
        const bool added = action && std::strcmp(action, "add") == 0;
        const bool removed = action && std::strcmp(action, "remove") == 0;
        udev_device_unref(dev);
        if (added)
            Q_EMIT deviceAdded(devnode);
        else if (removed)
            Q_EMIT deviceRemoved(devnode);
    }
}

void UdevMonitor::release()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
    if (m_udev)
        udev_unref(m_udev);
    m_udev = nullptr;
}

} // namespace tovrin::device
