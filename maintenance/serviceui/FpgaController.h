#pragma once
// The FPGA download row of the debug page: "..." chooses the file, Download
// switches the frame to calibration mode and starts BurnFPGAThread; its
// reports become lines of the output box, and on success the frame goes
// back to work mode. The switches run in the window's task worker.

#include "maintenance/service/ReportInbox.h"
#include "DebugPage.h"
#include "JobRun.h"

#include <QObject>

#include <functional>

namespace tovrin::maintenance {

class BurnFPGAThread;
struct ServiceReport;

class FpgaController : public QObject {
    Q_OBJECT
public:
    FpgaController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window);
    ~FpgaController() override;

    void browse(const FileChooser& chooser);  // FPGAbrowseButSlot()
    void download();                          // DownloadButSlot()
    // A download waits for calibration mode, runs, or was asked to stop and
    // its end is not handled yet.
    bool isRunning() const { return m_run.busy(); }
    // Asks the download to stop and returns at once. Once it has ended: a
    // download stopped before its end (another job was started) is said in
    // the output box, finished is emitted, then whenEnded runs (at once when
    // none runs).
    void stopThen(std::function<void()> whenEnded);

Q_SIGNALS:
    void started();
    // The run ended: with 19 (true) or otherwise.
    void finished(bool success);

private:
    void onReport(const ServiceReport& report);
    void onFinished();

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    BurnFPGAThread* m_thread;
    ReportInbox* m_inbox;  // the thread's reports, taken in this thread
    bool m_succeeded = false;
    JobRun m_run;  // from the start of a run to the handling of its end
};

} // namespace tovrin::maintenance
