#pragma once
// Everything the debug page's FPGA, script, Step Debug, flash and "K274_3
// Debug" buttons do, in one object the engineering window owns. The window
// builds it once its page exists and makes each of its slots one call:
//
//     m_services = new maintenance::DebugPageServices(
//         {m_fpgaPathEdit, m_scriptPathEdit, m_regAddrEdit, m_regValueEdit,
//          m_sensorBox, m_slaveBox, m_outputBox},
//         hooks, this);
//     void Tovrin::DownloadButSlot() { m_services->DownloadButSlot(); }
//     ...
//     a "Device Info" button of the page: m_services->DeviceInfoButSlot();
//     the guard, and closing: m_services->stopWorkersThen(whenEnded);

#include "DebugPage.h"

#include <QObject>

#include <functional>

namespace tovrin::maintenance {

class FlashController;
class FpgaController;
class ScriptController;
class StepDebugController;

class DebugPageServices : public QObject {
    Q_OBJECT
public:
    DebugPageServices(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window);
    ~DebugPageServices() override;

    void FPGAbrowseButSlot();
    void DownloadButSlot();
    void ScriptBrowseButSlot();
    void RunScriptButSlot();
    void WriteButSlot();
    void ReadButSlot();
    void EraseFlashSlot();
    void ReadFlashSlot();
    void WriteFlashSlot();
    void FingerIntoButSlot();
    // The device information dialog, without line images or exposure
    // readings (those come with the leveling window's save).
    void DeviceInfoButSlot();

    // A worker of the page is running (or stopping: its end is not handled yet).
    bool isBusy() const;
    // Its name ("FPGA download", "script", "flash job"), empty when none runs.
    QString runningJob() const;
    // Asks the page's workers to stop and returns at once; whenEnded runs
    // once every one has ended and said so (at once when none runs). The
    // window's guard, and closing.
    void stopWorkersThen(std::function<void()> whenEnded);

    // Tests put their own file dialogs here.
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    FpgaController* fpga() const { return m_fpga; }
    ScriptController* script() const { return m_script; }
    StepDebugController* stepDebug() const { return m_step; }
    FlashController* flash() const { return m_flash; }

private:
    // Step Debug's buttons follow the page's jobs.
    void updateStepButtons();
    // Runs the modal dialog (the frame is in calibration mode), then puts
    // the frame back to work mode in the window's task; a failure of that
    // marks the frame not connected.
    void runDialogThenWork(std::function<void()> dialog);

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    QWidget* m_window;
    FileChooser m_chooser = chooseFileWithDialog;
    FpgaController* m_fpga;
    ScriptController* m_script;
    StepDebugController* m_step;
    FlashController* m_flash;
};

} // namespace tovrin::maintenance
