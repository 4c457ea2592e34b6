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
    void stop();                              // stop flag, wait

Q_SIGNALS:
    // The run ended: with 19 (true) or otherwise.
    void finished(bool success);

private:
    void onReport(const ServiceReport& report);

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    BurnFPGAThread* m_thread;
    ReportInbox* m_inbox;  // the thread's reports, taken in this thread
    bool m_succeeded = false;
};

} // namespace tovrin::maintenance
