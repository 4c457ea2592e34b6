#pragma once
// The script row of the debug page: "..." chooses the script, Run Script
// switches the frame to calibration mode and starts RunScriptThread; every
// report becomes lines of the output box, and at the end of the script the
// frame goes back to work mode. A script that stops on a failed request
// leaves the frame in calibration mode. The switches run in the window's
// task worker.

#include "maintenance/service/ReportInbox.h"
#include "DebugPage.h"
#include "JobRun.h"

#include <QObject>

#include <functional>

namespace tovrin::maintenance {

class RunScriptThread;
struct ServiceReport;

class ScriptController : public QObject {
    Q_OBJECT
public:
    ScriptController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window);
    ~ScriptController() override;

    void browse(const FileChooser& chooser);  // ScriptBrowseButSlot()
    void run();                               // RunScriptButSlot()
    // A script waits for calibration mode, runs, or was asked to stop and its
    // end is not handled yet.
    bool isRunning() const { return m_run.busy(); }
    // Asks the script to stop and returns at once. Once it has ended: a
    // script stopped before its end (another job was started) is said in
    // the output box, finished is emitted, then whenEnded runs (at once when
    // none runs).
    void stopThen(std::function<void()> whenEnded);

Q_SIGNALS:
    void started();
    void finished(bool success);

private:
    void onReport(const ServiceReport& report);
    void onFinished();

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    RunScriptThread* m_thread;
    ReportInbox* m_inbox;  // the thread's reports, taken in this thread
    bool m_succeeded = false;
    bool m_ended = false;      // the run reported its end (done, refused or failed)
    JobRun m_run;  // from the start of a run to the handling of its end
};

} // namespace tovrin::maintenance
