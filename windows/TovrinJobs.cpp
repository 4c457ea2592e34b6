// The jobs of the engineering window: its own (versions, device test, reset,
// settings check, firmware update, preview) and the entries whose jobs live
// in other libraries, all through the window's JobLauncher.
#include "Tovrin.h"

#include "PreviewPage.h"
#include "TovrinDebugPage.h"
#include "UpdateChooser.h"

#include "device/UnitOps.h"
#include "maintenance/check/DeviceTest.h"
#include "maintenance/update/Versions.h"
#include "records/RecordJournal.h"
#include "shell/Log.h"
#include "widgets/MyMessageBox.h"

#include <QCheckBox>
#include <QTextEdit>

#include <memory>

namespace tovrin::windows {

using shell::context;
using widgets::MyMessageBox;

namespace {
namespace msg {
constexpr int Versions = 3, ReadFlashFailed = 18, CalibrationInvalid = 19;
constexpr int ResetFailed = 32, ResetSucceeded = 33;
constexpr int WriteFailed = 118, Warning = 117, Restore = 153, Keep = 154, RestoreQuestion = 155;
} // namespace msg
} // namespace

// ---- Jobs built elsewhere -----------------------------------------------------

EntryContext Tovrin::entryContext()
{
    EntryContext c;
    c.window = this;
    c.jobs = &m_jobs;
    c.recvShowData = [this](int code) { recvShowData(code); };
    c.showStatus = [this](int id) { showStatus(id); };
    c.showStatusText = [this](const QString& text) { showStatusText(text); };
    c.isConnected = [this] { return isConnected(); };
    c.markNotConnected = [this] {
        showStatus(msg::CalibrationInvalid);
        m_connected = false;
    };
    c.debugPage = m_debug;
    c.preview = m_debug ? m_debug->preview() : nullptr;
    c.setWorkerCodes = [this](std::function<void(int)> handler) { m_workerCodes = std::move(handler); };
    return c;
}

void Tovrin::openEntry(Entry entry, Guard guard)
{
    const EntryFunction function = entryFunction(entry);
    // The workers that were running have ended: the entry is opened again.
    auto retry = [this, entry, guard] { openEntry(entry, guard); };
    // An entry that is not wired yet still guards, so that nothing reaches
    // a missing frame; it does nothing else.
    if (!function) {
        if (m_jobs.guard(retry))
            shell::LogF("%s: not yet available\n", entryName(entry));
        return;
    }
    if (guard == Guard::Full && !m_jobs.guard(retry))
        return;
    if (guard == Guard::FrameOnly && !m_jobs.guardOnly())
        return;
    EntryContext context = entryContext();
    function(context);
}

// The leveling, calibration and shortcut-key windows run their own opening
// steps (mode switch, firmware and record checks) and report their end
// through recvShowData.
void Tovrin::AdjustScreenButSlot() { openEntry(Entry::Leveling, Guard::Full); }
void Tovrin::AlignmentButSlot() { openEntry(Entry::Calibration, Guard::Full); }
void Tovrin::KeyCalibrationButSlot() { openEntry(Entry::KeyCalibration, Guard::Full); }
void Tovrin::KeyTestButSlot() { openEntry(Entry::KeyTest, Guard::Full); }
// Choosing a file needs no frame.
void Tovrin::FPGAbrowseButSlot() { openEntry(Entry::FpgaBrowse, Guard::None); }
void Tovrin::ScriptBrowseButSlot() { openEntry(Entry::ScriptBrowse, Guard::None); }
void Tovrin::DownloadButSlot() { openEntry(Entry::FpgaDownload, Guard::Full); }
void Tovrin::RunScriptButSlot() { openEntry(Entry::ScriptRun, Guard::Full); }
// Step Debug keeps the preview running: its request waits for the next frame.
void Tovrin::WriteButSlot() { openEntry(Entry::RegisterWrite, Guard::FrameOnly); }
void Tovrin::ReadButSlot() { openEntry(Entry::RegisterRead, Guard::FrameOnly); }
// The flash tools ask for their file before they guard.
void Tovrin::EraseFlashSlot() { openEntry(Entry::EraseFlash, Guard::None); }
void Tovrin::ReadFlashSlot() { openEntry(Entry::ReadFlash, Guard::None); }
void Tovrin::WriteFlashSlot() { openEntry(Entry::WriteFlash, Guard::None); }

// The threshold dialog and the device information run their own pattern
// (guard, calibration mode, the dialog, work mode).
void Tovrin::FingerIntoButSlot() { openEntry(Entry::FingerInto, Guard::None); }
void Tovrin::DeviceInfoButSlot() { openEntry(Entry::DeviceInfo, Guard::None); }

// ---- Jobs of this window ----------------------------------------------------------

void Tovrin::PreviewButSlot()
{
    if (!m_debug || !m_jobs.guardOnly())
        return;
    PreviewPage* preview = m_debug->preview();
    if (preview->isStopping())
        return;  // a click while its worker ends starts nothing
    if (!preview->available()) {
        shell::WriteLog("Preview: not yet available\n");
        return;
    }
    if (preview->isRunning())
        preview->stop(m_jobs);
    else
        preview->start(m_jobs);
}

void Tovrin::CompressCButSlot()
{
    if (m_debug)
        m_debug->preview()->setCompressed(m_debug->compressBox()->isChecked());
}

void Tovrin::SlaveCButSlot()
{
    if (m_debug)
        device::SelectedUnitIsSlave = m_debug->slaveBox()->isChecked() ? 1 : 0;
}

void Tovrin::ClearButSlot()
{
    if (m_debug)
        m_debug->outputBox()->clear();
}

// The settings window's entry runs its opening steps (calibration mode, the
// firmware match, its record read, work mode) in a worker, and the frame
// goes back to work behind the window when it closes.
void Tovrin::SetButSlot() { openEntry(Entry::Settings, Guard::Full); }

void Tovrin::FirmwareUpdateButSlot()
{
    if (!m_jobs.guard([this] { FirmwareUpdateButSlot(); }))
        return;
    const QString path = choosePackage(this);
    if (!path.isEmpty())
        m_update.start(path);
}

void Tovrin::AboutButSlot()
{
    auto report = std::make_shared<update::VersionReport>();
    m_jobs.runThen(
        [report, engineering = m_flavour == 0] {
            *report = update::readVersionReport(engineering);
            return true;
        },
        [this] { AboutButSlot(); },
        [this, report](bool) {
            // A version that could not be read is not shown as a made-up number.
            if (!report->ok) {
                showStatus(msg::ReadFlashFailed);
                return;
            }
            MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
            MyMessageBox box(this, context().text(msg::Versions), update::versionText(*report, update::kToolVersion),
                             0, 1);
        });
}

void Tovrin::TestButSlot()
{
    if (!m_deviceTest.hasEnded() || !m_jobs.guard([this] { TestButSlot(); }))
        return;
    // The test runs in its worker; the functions wait for its outcome.
    setDeviceFunctionsEnabled(false);
    m_deviceTest.startWork();
}

void Tovrin::deviceTestDone()
{
    const check::DeviceTestReport report = m_deviceTest.report();
    if (report.stopped)
        return;  // the window is closing, or another job took the frame
    if (report.enter.deviceAbsent) {
        handleFrameLost();
        return;
    }
    if (!m_connected)
        return;  // the frame went away meanwhile: the status shows its absence
    showStatusList(report.messages);
    if (report.frameLost)
        m_connected = false;
    // A frame that stopped answering gets its functions back when the
    // detection finds it answering again.
    if (isConnected())
        setDeviceFunctionsEnabled(true);
}

void Tovrin::offerRestore()
{
    // Only an unfinished write in the journal is worth asking the frame about.
    if (!records::journalHasOpenEntries() || m_update.running() || !m_deviceTest.hasEnded() || !isConnected())
        return;
    auto plan = std::make_shared<std::vector<records::JournalEntry>>();
    m_jobs.runThen(
        [plan] {
            *plan = records::restorePlan(records::checkRecords());
            return true;
        },
        [this] { offerRestore(); },
        [this, plan](bool) {
            if (plan->empty())
                return;
            MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
            MyMessageBox ask(this, context().text(msg::Warning), context().text(msg::RestoreQuestion), 1, 2,
                             context().text(msg::Restore), context().text(msg::Keep));
            if (MyMessageBox::answer() == MyMessageBox::AnswerOk)
                restoreJournal(*plan);
        });
}

void Tovrin::restoreJournal(const std::vector<records::JournalEntry>& plan)
{
    m_jobs.runThen(
        [plan] {
            bool restored = true;
            for (const records::JournalEntry& e : plan)
                restored = records::restoreEntry(e) && restored;
            return restored;
        },
        [this, plan] { restoreJournal(plan); },
        [this](bool restored) {
            if (isConnected())
                showStatus(restored ? msg::CalibrationInvalid : msg::WriteFailed);
        });
}

void Tovrin::ResetButSlot()
{
    if (!m_jobs.guard([this] { ResetButSlot(); }))
        return;
    auto outcome = std::make_shared<device::ModeSwitchOutcome>();
    m_jobs.inTask([outcome] { *outcome = device::SwitchModeChecked(device::mode::Reset); },
                  [this, outcome] {
                      if (outcome->deviceAbsent) {
                          handleFrameLost();
                          return;
                      }
                      showStatus(outcome->ok ? msg::ResetSucceeded : msg::ResetFailed);
                  });
}

} // namespace tovrin::windows
