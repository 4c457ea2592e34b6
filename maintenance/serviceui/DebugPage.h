#pragma once
// What the debug page's service controllers take from the page: its
// widgets, and a few things only the window can do (its status line, its
// guard, its task worker for the mode switches and register requests, with
// the failures shown as the window shows them). The window fills
// both once and hands them to DebugPageServices.

#include <QString>

#include <cstdint>
#include <functional>

class QCheckBox;
class QLineEdit;
class QTextEdit;
class QWidget;

namespace tovrin::device {
struct ModeSwitchOutcome;
}

namespace tovrin::maintenance {

struct DebugPageWidgets {
    QLineEdit* fpgaPath = nullptr;    // FPGA Download row
    QLineEdit* scriptPath = nullptr;  // Script row
    QLineEdit* regAddr = nullptr;     // "Reg Addr(HEX)"
    QLineEdit* regValue = nullptr;    // "Value"
    QCheckBox* sensor = nullptr;      // "Sensor"
    QCheckBox* slave = nullptr;       // "Slave" (the page's SlaveCButSlot keeps SelectedUnitIsSlave)
    QTextEdit* output = nullptr;      // the text output box
    QWidget* writeButton = nullptr;   // Step Debug's Write and Read: disabled while a job of the page runs
    QWidget* readButton = nullptr;
};

struct DebugPageHooks {
    // The frame is connected (nothing shown).
    std::function<bool()> isConnected;
    // The window's guard: false (message 14 shown) when the frame is not
    // connected. While the preview or a worker of the page runs: asks them
    // to stop, false at once, and retry once they have ended (the job asked
    // for goes on from there; it never waits for them).
    std::function<bool(std::function<void()> retry)> guard;
    // The Preview page's thread is fetching images (or stopping: it still
    // talks to the frame until it has ended).
    std::function<bool()> previewRunning;
    // The status line: a message of the message list, or a fixed text.
    std::function<void(int messageId)> showStatus;
    std::function<void(const QString& text)> showStatusText;
    // The window's short frame jobs, never on its own thread: job runs in the
    // window's task worker (one at a time, in order), then in the window's
    // thread once it has ended. Neither then runs when another job's guard
    // stopped the task meanwhile, nor while the window closes.
    std::function<void(std::function<void()> job, std::function<void()> then)> inTask;
    // As inTask, but then also runs when another job's guard stopped the
    // task while job ran, and hears so (superseded): it reports what was
    // done and starts nothing more.
    std::function<void(std::function<void()> job, std::function<void(bool superseded)> then)> inTaskReported;
    // While the preview runs: a request for the gap between two frames,
    // made by the preview's worker (or once it has ended), then in the
    // window's thread after it.
    std::function<void(std::function<void()> job, std::function<void()> then)> betweenFrames;
    // A mode switch (SwitchModeChecked) in the task worker; a failure is
    // shown (message 142 or 18, or the frame treated as gone) before then
    // (may be empty) hears whether it took.
    std::function<void(uint8_t mode, std::function<void(bool ok)> then)> switchModeThen;
    // Shows a switch a job of inTask made as switchModeThen shows it; true
    // when it took.
    std::function<bool(const device::ModeSwitchOutcome& outcome)> switchFailureShown;
    // A flash job could not switch back to work mode: message 19, the frame
    // is marked not connected.
    std::function<void()> markNotConnected;
};

// File dialogs, replaceable for tests: kind, caption, folder, filter.
enum class FileDialogKind { Open, Save };
using FileChooser = std::function<QString(QWidget* parent, FileDialogKind kind, const QString& caption,
                                          const QString& folder, const QString& filter)>;
// The Qt dialogs.
QString chooseFileWithDialog(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& folder,
                             const QString& filter);

// Appends the lines to the output box (a trailing line end of a text is
// not an extra empty line).
void appendOutput(QTextEdit* output, const QStringList& lines);

inline const QString kOpenFilesCaption = QStringLiteral("Open Files ");
inline const QString kBinFilter = QStringLiteral("bin Files(*.bin);;ALL FILE(*.*)");
inline const QString kIniFilter = QStringLiteral("ini Files(*.ini);;ALL FILE(*.*)");

} // namespace tovrin::maintenance
