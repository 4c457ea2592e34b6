#include "keys/ui/KeyLaunch.h"

#include "calibration/ui/RestoreOffer.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/core/KeyEntry.h"
#include "keys/ui/KeyCalibrationWin.h"
#include "keys/ui/KeyTestWin.h"
#include "shell/Log.h"
#include "widgets/FullScreen.h"

#include <memory>
#include <utility>
#include <vector>

namespace tovrin::keys::ui {

namespace {

constexpr int kCommunicateFailed = 14;

int modeFailureMessage(const device::ModeSwitchOutcome& outcome)
{
    return outcome.messageId >= 0 && !outcome.frameLost && !outcome.deviceAbsent ? outcome.messageId
                                                                                 : kCommunicateFailed;
}

void logCalibrationModeFailure()
{
    shell::LogF("Key Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
}

// The window `then` runs against: the opener, or the task when there is none.
QObject* contextOf(QWidget* parent, jobs::TaskWorker& task)
{
    return parent ? static_cast<QObject*>(parent) : &task;
}

template <class Window>
void openKeyWindow(QWidget* parent, const std::function<void(int)>& showData)
{
    auto* window = new Window(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    if (showData)
        QObject::connect(window, &Window::sendShowData, window, [showData](int code) { showData(code); });
    widgets::showFullScreenOn(window);
}

// Shows the refusal, or opens the window when there is none.
template <class Window>
void finish(QWidget* parent, int refusal, const std::function<void(int)>& showData, const std::function<void(int)>& done)
{
    if (refusal == 0)
        openKeyWindow<Window>(parent, showData);
    if (done)
        done(refusal == 0 ? -1 : refusal);
}

// What the frame steps of the Shortcuts entry found.
struct CalibrationEntry {
    int refusal = 0;  // the message that refuses the entry; 0 none
    std::vector<records::JournalEntry> restorePlan;
};

} // namespace

void runKeyCalibration(QWidget* parent, jobs::TaskWorker& task, std::function<void(int)> showData,
                       std::function<void(int)> done)
{
    auto got = std::make_shared<CalibrationEntry>();
    auto enter = [got] {
        const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
        if (!mode.ok) {
            logCalibrationModeFailure();
            got->refusal = modeFailureMessage(mode);
            return;
        }
        got->refusal = keyCalibrationEntryCheck();
        // A touch calibration an unfinished write left invalid can be put
        // back from the journal first.
        if (got->refusal == kCalibrateFirstMessage)
            got->restorePlan = calib::ui::journalRestorePlan();
        if (got->refusal != 0 && got->restorePlan.empty())
            device::SwitchModeChecked(device::mode::Work);
    };
    QObject* context = contextOf(parent, task);
    auto entered = [parent, &task, context, got, showData = std::move(showData), done = std::move(done)] {
        if (task.stopRequested())
            return;
        if (got->restorePlan.empty()) {
            finish<KeyCalibrationWin>(parent, got->refusal, showData, done);
            return;
        }
        const bool restore = calib::ui::askToRestore(parent);
        if (task.stopRequested())
            return;
        auto offered = [got, restore] {
            if (restore && calib::ui::restoreJournal(got->restorePlan) == calib::ui::RestoreOutcome::Restored)
                got->refusal = keyCalibrationEntryCheck();
            if (got->refusal != 0)
                device::SwitchModeChecked(device::mode::Work);
        };
        task.run(std::move(offered), context, [parent, &task, got, showData, done] {
            if (!task.stopRequested())
                finish<KeyCalibrationWin>(parent, got->refusal, showData, done);
        });
    };
    task.run(std::move(enter), context, std::move(entered));
}

void runKeyTest(QWidget* parent, jobs::TaskWorker& task, std::function<void(int)> showData,
                std::function<void(int)> done)
{
    auto refusal = std::make_shared<int>(0);
    auto enter = [refusal] {
        if (!device::SwitchModeChecked(device::mode::Calibration).ok)
            logCalibrationModeFailure();
        if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load()) {
            *refusal = kCommunicateFailed;
            return;
        }
        const device::ModeSwitchOutcome work = device::SwitchModeChecked(device::mode::Work);
        if (!work.ok)
            *refusal = modeFailureMessage(work);
    };
    task.run(std::move(enter), contextOf(parent, task),
             [parent, &task, refusal, showData = std::move(showData), done = std::move(done)] {
                 if (!task.stopRequested())
                     finish<KeyTestWin>(parent, *refusal, showData, done);
             });
}

} // namespace tovrin::keys::ui
