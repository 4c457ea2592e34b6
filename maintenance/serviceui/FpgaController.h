#pragma once
// The FPGA download row of the debug page: "..." chooses the file, Download
// switches the frame to calibration mode and starts BurnFPGAThread; its
// reports become lines of the output box, and on success the frame goes
// back to work mode.

#include "maintenance/service/ReportInbox.h"
#include "DebugPage.h"

#include <QObject>

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
    bool isRunning() const;
    // Stop flag, wait. A download stopped before its end (another job was
    // started) is said in the output box unless quietly.
    void stop(bool quietly = false);

Q_SIGNALS:
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
    bool m_endHandled = false;  // stop() has ended the run: its queued finished is stale
};

} // namespace tovrin::maintenance
