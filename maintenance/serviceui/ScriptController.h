#pragma once
// The script row of the debug page: "..." chooses the script, Run Script
// switches the frame to calibration mode and starts RunScriptThread; every
// report becomes lines of the output box, and at the end of the script the
// frame goes back to work mode. A script that stops on a failed request
// leaves the frame in calibration mode.

#include "maintenance/service/ReportInbox.h"
#include "DebugPage.h"

#include <QObject>

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
    bool isRunning() const;
    // Stop flag, wait. A script stopped before its end (another job was
    // started) is said in the output box unless quietly.
    void stop(bool quietly = false);

Q_SIGNALS:
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
    bool m_ended = false;       // the run reported its end (done, refused or failed)
    bool m_endHandled = false;  // stop() has ended the run: its queued finished is stale
};

} // namespace tovrin::maintenance
