#pragma once
// The entries of the engineering window whose jobs live in other libraries:
// the leveling, calibration, settings and shortcut-key windows, the key
// test, the debug page's FPGA download, script runner, Step Debug, flash
// tools and finger-into threshold; and the frame source of the Preview page.
//
// Each entry is one function. Its slot in Tovrin runs the launcher's part of
// the pattern (guard, stopping the other workers, and the mode switches the
// window owns for that entry) and then calls the function. An entry that is
// not wired yet is "not yet available": its slot guards, logs and does
// nothing; its debug-page button is disabled.
//
// Wiring an entry is one line in TovrinEntries.cpp, for example:
//
//   case Entry::Leveling: return [](EntryContext& c) { leveling::openAdjustScreen(c); };

#include <QString>

#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace tovrin::windows {

class JobLauncher;
class DebugPage;
class PreviewPage;
class PreviewSource;

enum class Entry {
    Leveling,        // AdjustScreenButSlot: AdjustScreenWin (its opening steps included)
    Calibration,     // AlignmentButSlot: CalibrationWin (its opening steps included)
    Settings,        // SetButSlot: SetWin (modal; its opening steps included: calibration mode, the
                     // firmware check, its record read, work mode), and work mode again when it closes
    KeyCalibration,  // KeyCalibrationButSlot
    KeyTest,         // KeyTestButSlot
    FpgaBrowse,      // FPGAbrowseButSlot
    FpgaDownload,    // DownloadButSlot
    ScriptBrowse,    // ScriptBrowseButSlot
    ScriptRun,       // RunScriptButSlot
    RegisterWrite,   // WriteButSlot
    RegisterRead,    // ReadButSlot
    EraseFlash,      // EraseFlashSlot
    ReadFlash,       // ReadFlashSlot
    WriteFlash,      // WriteFlashSlot
    FingerInto,      // FingerIntoButSlot: K274_3DebugWin between calibration and work mode
    DeviceInfo,      // the debug page's "Device Info" button: the device-information dialog
};

const char* entryName(Entry entry);

// What an entry gets from the window.
struct EntryContext {
    QWidget* window = nullptr;
    JobLauncher* jobs = nullptr;
    // Child windows report their end to the main window with these codes
    // (recvShowData: 1 leveling completed, 2/5/6 back to work, 8, 9 ...).
    std::function<void(int)> recvShowData;
    // The status line, by message id, or a fixed text that is no message
    // ("Erasing Flash ......"; it stays as it is after a language change).
    std::function<void(int)> showStatus;
    std::function<void(const QString&)> showStatusText;
    // The frame counts as connected (nothing shown).
    std::function<bool()> isConnected;
    // A job could not bring the frame back to work mode: message 19, and the
    // frame no longer counts as connected.
    std::function<void()> markNotConnected;
    // The debug page (tool flavour 2; null otherwise) and its Preview page.
    DebugPage* debugPage = nullptr;
    PreviewPage* preview = nullptr;
    // Where the window's recvData(int) hands the codes of a worker the entry
    // started (an FPGA or script thread connects its sendData to recvData).
    std::function<void(std::function<void(int)>)> setWorkerCodes;
};

using EntryFunction = std::function<void(EntryContext&)>;

// The function of an entry; empty while it is not available.
EntryFunction entryFunction(Entry entry);
bool entryAvailable(Entry entry);

// The Preview page's frame source: PreviewThread (PreviewThreadSource).
std::unique_ptr<PreviewSource> makePreviewSource(QObject* parent);

// Tests put their own functions in place of the table (empty: the table again).
void overrideEntry(Entry entry, EntryFunction function);
void overridePreviewSource(std::function<std::unique_ptr<PreviewSource>(QObject*)> factory);

} // namespace tovrin::windows
