#pragma once
// What the debug page's service controllers take from the page: its
// widgets, and a few things only the window can do (its status line, its
// guard, its mode switches with their failure handling). The window fills
// both once and hands them to DebugPageServices.

#include <QString>

#include <cstdint>
#include <functional>

class QCheckBox;
class QLineEdit;
class QTextEdit;
class QWidget;

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
    // The window's mode switch (SwitchModeChecked with its failure shown).
    std::function<bool(uint8_t mode)> switchMode;
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
