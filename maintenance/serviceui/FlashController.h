#pragma once
// Erase Flash, Read Flash and Write Flash of the debug page: the first
// 128 KB of the unit the Slave box selects, run by FlashJobThread between a
// switch to calibration mode and one back to work mode (both in the
// window's task worker). A fill file is read
// and checked before the frame is touched; a dump target that cannot be
// written is said so and leaves no half file.

#include "DebugPage.h"
#include "JobRun.h"

#include "maintenance/service/FlashJob.h"
#include "maintenance/service/ReportInbox.h"

#include <QByteArray>
#include <QObject>

#include <functional>

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
    // A job waits for calibration mode, runs, or was asked to stop and its
    // end is not handled yet.
    bool isRunning() const { return m_run.busy(); }
    // Asks the job to stop and returns at once. Once it has ended: a job
    // stopped before its end (another job was started) is said in the
    // output box and the frame is left to the job that stopped it;
    // finished is emitted, then whenEnded runs (at once when none runs).
    void stopThen(std::function<void()> whenEnded);

Q_SIGNALS:
    void started();
    void finished(bool success);

private:
    // Guard, then calibration mode in the window's task, then run (not
    // when the switch failed, or another job was asked for meanwhile);
    // retry: the job again once the workers that ran have ended.
    void begin(std::function<void()> retry, std::function<void()> run);
    // The dump and fill after their file was chosen (and the image checked).
    void dumpTo(const QString& path);
    void fillWith(const QByteArray& image);
    void start();
    void onReport(const ServiceReport& report);
    void onFinished();
    void sayStopped();  // the line of a job stopped before its end
    void sayDumped();   // "Read Flash Complete......" (from the event loop)
    device::Unit selectedUnit() const;

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    FlashJobThread* m_thread;
    ReportInbox* m_inbox;  // the thread's reports, taken in this thread
    bool m_succeeded = false;
    bool m_ended = false;      // the job reported its end
    JobRun m_run;  // from the start of a run to the handling of its end
};

} // namespace tovrin::maintenance
