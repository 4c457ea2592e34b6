#pragma once
// Erase Flash, Read Flash and Write Flash of the debug page: the first
// 128 KB of the unit the Slave box selects, run by FlashJobThread between a
// switch to calibration mode and one back to work mode. A fill file is read
// and checked before the frame is touched; a dump target that cannot be
// written is said so and leaves no half file.

#include "DebugPage.h"

#include "maintenance/service/FlashJob.h"
#include "maintenance/service/ReportInbox.h"

#include <QObject>

namespace tovrin::maintenance {

struct ServiceReport;

class FlashController : public QObject {
    Q_OBJECT
public:
    FlashController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window);
    ~FlashController() override;

    void erase();                              // EraseFlashSlot()
    void dump(const FileChooser& chooser);     // ReadFlashSlot()
    void fill(const FileChooser& chooser);     // WriteFlashSlot()
    bool isRunning() const;
    // Stop flag, wait. A job stopped before its end (another job was
    // started) is said in the output box unless quietly; the frame is left
    // to the job that stopped it.
    void stop(bool quietly = false);

Q_SIGNALS:
    void finished(bool success);

private:
    bool begin();  // guard and calibration mode
    void start();
    void onReport(const ServiceReport& report);
    void onFinished();
    device::Unit selectedUnit() const;

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    FlashJobThread* m_thread;
    ReportInbox* m_inbox;  // the thread's reports, taken in this thread
    bool m_succeeded = false;
    bool m_ended = false;       // the job reported its end
    bool m_endHandled = false;  // stop() has ended the job: its queued finished is stale
};

} // namespace tovrin::maintenance
