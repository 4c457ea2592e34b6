#pragma once
// The device test of the engineering tool: with the frame in calibration
// mode, the version log, then four check groups in this order, each a
// sequence of requests of which only the success counts (the values read
// are not compared), every request made whatever the earlier ones gave:
//
//   left sensor   Master  I2cRead 0x0A, I2cWrite 0x3A to 0x19, I2cRead 0x19
//   left FPGA     Master  RegisterRead 53, PortWrite 0x1F to 53, RegisterRead 53, PortWrite 0x0F to 53
//   right sensor  Slave   the same as the left sensor
//   right FPGA    Slave   the same as the left FPGA
//
// A group with a failed request gives its message: 26 left sensor, 27 left
// FPGA, 29 right sensor, 30 right FPGA. With none failed the frame goes
// back to work mode and the result is 31 "Equipment testing succeed, can
// work normally!"; a failed group leaves the frame in calibration mode for
// the engineer to look into it.

#include "device/DeviceStatus.h"

#include "jobs/Worker.h"

#include <QList>

#include <atomic>
#include <functional>
#include <mutex>

namespace tovrin::check {

struct DeviceTestReport {
    device::ModeSwitchOutcome enter;  // the switch to calibration mode
    int versionLogError = -1;         // 73..76 when a version read failed
    QList<int> failedGroups;          // 26, 27, 29, 30 in group order
    QList<int> messages;              // what the status line shows at the end
    bool frameLost = false;           // the frame no longer counts as connected
    bool stopped = false;             // asked to stop before the last group
    bool passed() const { return enter.ok && failedGroups.isEmpty() && !frameLost && !stopped; }
};

// The four check groups alone; the message ids of the groups that failed.
// A stop request is looked at between the groups.
QList<int> runCheckGroups(const std::atomic<bool>* stop = nullptr);

// The whole test: calibration mode (on failure both error words get bit 31
// and the result is message 142), the version log, showTesting(24), the
// groups, and the way back to work mode (a refusal there is message 19 and
// the frame is taken as not connected). The test holds the frame while it
// runs (device/FrameHold.h): a request that goes unanswered does not bring
// the detection's status test in between the groups.
DeviceTestReport runDeviceTest(const std::function<void(int)>& showTesting, const std::atomic<bool>* stop = nullptr);

// The device test for a window: in a worker thread, since one hung sensor
// write alone takes its 20 s. showTesting carries message 24, testDone
// tells that report() holds the outcome. Stopped (the window closes)
// between two groups.
class DeviceTestThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit DeviceTestThread(QObject* parent = nullptr);
    ~DeviceTestThread() override;  // stops and waits

    DeviceTestReport report() const;

Q_SIGNALS:
    void showTesting(int messageId);
    void testDone();

protected:
    void work() override;

private:
    mutable std::mutex m_mutex;
    DeviceTestReport m_report;
};

} // namespace tovrin::check
