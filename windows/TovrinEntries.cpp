#include "TovrinEntries.h"

#include "JobLauncher.h"
#include "PreviewPage.h"
#include "PreviewThreadSource.h"
#include "SetWin.h"
#include "TovrinDebugPage.h"

#include "calibration/ui/CalibrationLauncher.h"
#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "deviceinfo/core/SpreadsheetRow.h"
#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "jobs/TaskWorker.h"
#include "keys/ui/KeyLaunch.h"
#include "leveling/core/OpeningSteps.h"
#include "leveling/ui/LevelingLauncher.h"
#include "maintenance/serviceui/DebugPageServices.h"
#include "windows/settingsjob/SettingsOpening.h"

#include <map>
#include <memory>
#include <utility>

namespace tovrin::windows {

namespace {

std::map<Entry, EntryFunction>& overrides()
{
    static std::map<Entry, EntryFunction> table;
    return table;
}

std::function<std::unique_ptr<PreviewSource>(QObject*)>& previewOverride()
{
    static std::function<std::unique_ptr<PreviewSource>(QObject*)> factory;
    return factory;
}

// ---- The entries --------------------------------------------------------------

constexpr int kChecking = 15;  // "Devices check completed." while a job window opens
constexpr int kReadFlashFailed = 18;
constexpr int kNoSetting = 45;  // "The current firmware without setting!"

// The worker of the entries' frame preparations: the window's task worker,
// stopped (and waited for) by every other job like the preview.
jobs::TaskWorker* entryTask(EntryContext& c) { return &c.jobs->task(); }

void openLeveling(EntryContext& c)
{
    c.showStatus(kChecking);
    // A saved leveling with Tovrin_Debug/WriteDeviceInfo on asks for the
    // device-information dialog with the line images it just took.
    leveling::AdjustScreenWin::setDeviceInfoHandler([](QWidget* parent, const leveling::DeviceInfoSnapshot& s) {
        deviceinfo::ReadWriteDeviceInfo dialog(
            parent, deviceinfo::makeUnitImage(s.masterFrame, s.masterExposureHigh, s.masterExposureLow),
            deviceinfo::makeUnitImage(s.slaveFrame, s.slaveExposureHigh, s.slaveExposureLow));
        dialog.exec();
    });
    // The opening steps and the read of the stored leveling talk to the
    // frame in the entries' worker; the window opens when they have ended,
    // unless another job took their place.
    struct Opened {
        leveling::OpeningOutcome opening;
        bool storedLevelingUsable = true;
    };
    jobs::TaskWorker* task = entryTask(c);
    auto got = std::make_shared<Opened>();
    auto job = [got] {
        got->opening = leveling::openLeveling();
        if (got->opening.ok)
            got->storedLevelingUsable = leveling::storedLevelingUsable();
    };
    auto then = [task, got, window = c.window, jobs = c.jobs, show = c.showStatus, report = c.recvShowData] {
        if (task->stopRequested())
            return;
        const leveling::OpeningOutcome& o = got->opening;
        if (!o.ok) {
            if (!o.modeSwitch.ok)
                jobs->switchFailureShown(o.modeSwitch);
            else
                show(o.statusMessageId);
            return;
        }
        // The window of an earlier leveling is replaced by the new one.
        auto* previous = window->findChild<leveling::AdjustScreenWin*>(QString(), Qt::FindDirectChildrenOnly);
        leveling::AdjustScreenWin* win = leveling::showLevelingWindow(window, previous, got->storedLevelingUsable);
        QObject::connect(win, &leveling::AdjustScreenWin::sendShowData, window, [report](int code) { report(code); });
    };
    task->run(std::move(job), c.window, std::move(then));
}

void openCalibration(EntryContext& c)
{
    calib::ui::CalibrationEntryHooks hooks;
    hooks.showStatus = c.showStatus;
    hooks.deviceLost = [show = c.recvShowData] { show(device::detection::kNoFrame); };
    // The entry was opened through the guard: nothing runs by now, and
    // nothing is waited for.
    hooks.stopOtherJobs = [jobs = c.jobs] { jobs->stopWorkers({}); };
    calib::ui::prepareCalibrationThen(c.window, hooks, *entryTask(c),
                                      [window = c.window, show = c.recvShowData](calib::ui::CalibrationWin* win) {
                                          QObject::connect(win, &calib::ui::CalibrationWin::sendShowData, window,
                                                           [show](int code) { show(code); }, Qt::QueuedConnection);
                                          win->show();
                                          win->start();
                                      });
}

void openSettings(EntryContext& c)
{
    c.showStatus(kChecking);
    // Calibration mode, the firmware match, the record read and the switch
    // to work mode run in the entries' worker; the window opens with what
    // was read when they have ended, unless another job took their place.
    jobs::TaskWorker* task = entryTask(c);
    auto got = std::make_shared<settingsjob::SettingsOpening>();
    auto then = [task, got, window = c.window, jobs = c.jobs, show = c.showStatus, report = c.recvShowData] {
        if (task->stopRequested())
            return;
        if (!got->calibrationMode.ok) {
            jobs->switchFailureShown(got->calibrationMode);
            return;
        }
        if (!got->windowOpens()) {
            show(got->firmwareMatch == 1 ? kNoSetting : kReadFlashFailed);
            jobs->switchFailureShown(got->workMode);
            return;
        }
        auto* dialog = new SetWin(window, got->record);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::ApplicationModal);
        QObject::connect(dialog, &SetWin::sendShowData, window, [report](int code) { report(code); });
        // The frame goes back to work behind the settings window, whatever
        // path it took (a failed save leaves the frame in calibration mode).
        QObject::connect(dialog, &QDialog::finished, window, [jobs] { jobs->switchModeThen(device::mode::Work); });
        dialog->show();
    };
    task->run([got] { *got = settingsjob::openSettings(); }, c.window, std::move(then));
}

// The key entries switch the frame's modes and check its records in the
// entries' worker; the key window opens when they have ended, unless
// another job took their place.
void openKeyWindow(EntryContext& c, void (*run)(QWidget*, jobs::TaskWorker&, std::function<void(int)>,
                                                std::function<void(int)>))
{
    run(c.window, *entryTask(c), c.recvShowData, [show = c.showStatus](int messageId) {
        if (messageId >= 0)
            show(messageId);
    });
}

// The debug page's services: made once per window, with the page's widgets,
// and stopped by every other job like the preview.
maintenance::DebugPageServices* debugServices(EntryContext& c)
{
    if (!c.debugPage)
        return nullptr;
    if (auto* existing = c.window->findChild<maintenance::DebugPageServices*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    DebugPage* page = c.debugPage;
    maintenance::DebugPageHooks hooks;
    hooks.isConnected = c.isConnected;
    hooks.guard = [jobs = c.jobs](std::function<void()> retry) { return jobs->guard(std::move(retry)); };
    // A preview that is stopping still talks to the frame until its worker ends.
    hooks.previewRunning = [preview = c.preview] { return preview && (preview->isRunning() || preview->isStopping()); };
    hooks.showStatus = c.showStatus;
    hooks.showStatusText = c.showStatusText;
    hooks.inTask = [jobs = c.jobs](std::function<void()> job, std::function<void()> then) {
        jobs->inTask(std::move(job), std::move(then));
    };
    hooks.inTaskReported = [jobs = c.jobs](std::function<void()> job, std::function<void(bool)> then) {
        jobs->inTaskReported(std::move(job), std::move(then));
    };
    // Step Debug requests made while the preview runs go out between frames.
    hooks.betweenFrames = [jobs = c.jobs, preview = c.preview](std::function<void()> job, std::function<void()> then) {
        if (preview)
            preview->betweenFrames(*jobs, std::move(job), std::move(then));
        else
            jobs->inTask(std::move(job), std::move(then));
    };
    hooks.switchModeThen = [jobs = c.jobs](uint8_t mode, std::function<void(bool ok)> then) {
        jobs->switchModeThen(mode, std::move(then));
    };
    hooks.switchFailureShown = [jobs = c.jobs](const device::ModeSwitchOutcome& outcome) {
        return jobs->switchFailureShown(outcome);
    };
    hooks.markNotConnected = c.markNotConnected;
    auto* services = new maintenance::DebugPageServices(
        {page->fpgaPathEdit(), page->scriptPathEdit(), page->regAddrEdit(), page->regValueEdit(), page->sensorBox(),
         page->slaveBox(), page->outputBox(), page->button(DebugPage::ButtonId::Write),
         page->button(DebugPage::ButtonId::Read)},
        hooks, c.window);
    c.jobs->addWorker({QStringLiteral("Debug page"), [services] { return services->isBusy(); },
                       [services](std::function<void()> whenEnded) { services->stopWorkersThen(std::move(whenEnded)); },
                       "closeEvent :Switch to work mode failed! g_isSwitchMode=%d\n"});
    return services;
}

EntryFunction serviceEntry(void (maintenance::DebugPageServices::*slot)())
{
    return [slot](EntryContext& c) {
        if (maintenance::DebugPageServices* services = debugServices(c))
            (services->*slot)();
    };
}

// The entries as they are wired.
EntryFunction wiredEntry(Entry entry)
{
    using S = maintenance::DebugPageServices;
    switch (entry) {
    case Entry::Leveling: return openLeveling;
    case Entry::Calibration: return openCalibration;
    case Entry::Settings: return openSettings;
    case Entry::KeyCalibration: return [](EntryContext& c) { openKeyWindow(c, keys::ui::runKeyCalibration); };
    case Entry::KeyTest: return [](EntryContext& c) { openKeyWindow(c, keys::ui::runKeyTest); };
    case Entry::FpgaBrowse: return serviceEntry(&S::FPGAbrowseButSlot);
    case Entry::FpgaDownload: return serviceEntry(&S::DownloadButSlot);
    case Entry::ScriptBrowse: return serviceEntry(&S::ScriptBrowseButSlot);
    case Entry::ScriptRun: return serviceEntry(&S::RunScriptButSlot);
    case Entry::RegisterWrite: return serviceEntry(&S::WriteButSlot);
    case Entry::RegisterRead: return serviceEntry(&S::ReadButSlot);
    case Entry::EraseFlash: return serviceEntry(&S::EraseFlashSlot);
    case Entry::ReadFlash: return serviceEntry(&S::ReadFlashSlot);
    case Entry::WriteFlash: return serviceEntry(&S::WriteFlashSlot);
    case Entry::FingerInto: return serviceEntry(&S::FingerIntoButSlot);
    case Entry::DeviceInfo: return serviceEntry(&S::DeviceInfoButSlot);
    }
    return {};
}

} // namespace

const char* entryName(Entry entry)
{
    switch (entry) {
    case Entry::Leveling: return "Leveling";
    case Entry::Calibration: return "Calibrate";
    case Entry::Settings: return "Set";
    case Entry::KeyCalibration: return "Shortcuts";
    case Entry::KeyTest: return "Key Test";
    case Entry::FpgaBrowse: return "FPGA browse";
    case Entry::FpgaDownload: return "FPGA download";
    case Entry::ScriptBrowse: return "Script browse";
    case Entry::ScriptRun: return "Run Script";
    case Entry::RegisterWrite: return "Step Debug write";
    case Entry::RegisterRead: return "Step Debug read";
    case Entry::EraseFlash: return "Erase Flash";
    case Entry::ReadFlash: return "Read Flash";
    case Entry::WriteFlash: return "Write Flash";
    case Entry::FingerInto: return "K274_3 Debug";
    case Entry::DeviceInfo: return "Device information";
    }
    return "?";
}

EntryFunction entryFunction(Entry entry)
{
    if (auto it = overrides().find(entry); it != overrides().end() && it->second)
        return it->second;
    return wiredEntry(entry);
}

bool entryAvailable(Entry entry)
{
    return static_cast<bool>(entryFunction(entry));
}

std::unique_ptr<PreviewSource> makePreviewSource(QObject* parent)
{
    if (previewOverride())
        return previewOverride()(parent);
    return std::make_unique<PreviewThreadSource>(parent);
}

void overrideEntry(Entry entry, EntryFunction function)
{
    if (function)
        overrides()[entry] = std::move(function);
    else
        overrides().erase(entry);
}

void overridePreviewSource(std::function<std::unique_ptr<PreviewSource>(QObject*)> factory)
{
    previewOverride() = std::move(factory);
}

} // namespace tovrin::windows
