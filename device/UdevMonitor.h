#pragma once
// Tells the main windows that a HID node came or went, so that they can start
// frame detection again when its thread is not running. Listens to udev
// events of the "hidraw" subsystem through the window thread's event loop.
// Where udev is unavailable (no netlink, a container) it stays silent.

#include <QObject>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace tovrin::device {

class UdevMonitor : public QObject {
    Q_OBJECT
public:
    explicit UdevMonitor(QObject* parent = nullptr);
    ~UdevMonitor() override;

    // True when events are being received.
    bool isActive() const;

Q_SIGNALS:
    // devnode is the node path ("/dev/hidraw3"), empty when udev gives none.
    void deviceAdded(const QString& devnode);
    void deviceRemoved(const QString& devnode);

private:
    void receive();
    void release();

    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tovrin::device
