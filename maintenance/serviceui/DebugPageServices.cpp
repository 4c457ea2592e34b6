#include "DebugPageServices.h"

#include "FlashController.h"
#include "FpgaController.h"
#include "K274_3DebugWin.h"
#include "ScriptController.h"
#include "StepDebugController.h"

#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "device/DeviceStatus.h"

#include <QWidget>

#include <memory>

namespace tovrin::maintenance {

DebugPageServices::DebugPageServices(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
    , m_widgets(widgets)
    , m_hooks(hooks)
    , m_window(window)
    , m_fpga(new FpgaController(widgets, hooks, window))
    , m_script(new ScriptController(widgets, hooks, window))
    , m_step(new StepDebugController(widgets, hooks, this))
    , m_flash(new FlashController(widgets, hooks, window))
{
    // Owned here, so that they are stopped and gone with the page's services.
    m_fpga->setParent(this);
    m_script->setParent(this);
    m_flash->setParent(this);
    m_step->setRunningJob([this] { return runningJob(); });
    // A job may start later than its click (after the jobs it stopped).
    connect(m_fpga, &FpgaController::started, this, &DebugPageServices::updateStepButtons);
    connect(m_script, &ScriptController::started, this, &DebugPageServices::updateStepButtons);
    connect(m_flash, &FlashController::started, this, &DebugPageServices::updateStepButtons);
    connect(m_fpga, &FpgaController::finished, this, &DebugPageServices::updateStepButtons);
    connect(m_script, &ScriptController::finished, this, &DebugPageServices::updateStepButtons);
    connect(m_flash, &FlashController::finished, this, &DebugPageServices::updateStepButtons);
}

// The controllers, children of this object, stop their runs and wait for
// them in their destructors; the page's widgets may be gone already, so
// nothing is said.
DebugPageServices::~DebugPageServices() = default;

void DebugPageServices::FPGAbrowseButSlot() { m_fpga->browse(m_chooser); }
void DebugPageServices::DownloadButSlot() { m_fpga->download(); }
void DebugPageServices::ScriptBrowseButSlot() { m_script->browse(m_chooser); }
void DebugPageServices::RunScriptButSlot() { m_script->run(); }
void DebugPageServices::WriteButSlot() { m_step->write(); }
void DebugPageServices::ReadButSlot() { m_step->read(); }
void DebugPageServices::EraseFlashSlot() { m_flash->erase(); }
void DebugPageServices::ReadFlashSlot() { m_flash->dump(m_chooser); }
void DebugPageServices::WriteFlashSlot() { m_flash->fill(m_chooser); }

QString DebugPageServices::runningJob() const
{
    if (m_fpga->isRunning())
        return QStringLiteral("FPGA download");
    if (m_script->isRunning())
        return QStringLiteral("script");
    if (m_flash->isRunning())
        return QStringLiteral("flash job");
    return {};
}

void DebugPageServices::updateStepButtons()
{
    const bool free = !isBusy();
    for (QWidget* button : {m_widgets.writeButton, m_widgets.readButton})
        if (button)
            button->setEnabled(free);
}

void DebugPageServices::FingerIntoButSlot()
{
    if (!m_hooks.guard([this] { FingerIntoButSlot(); }))
        return;
    // Calibration mode and the Master's threshold in the window's task.
    struct Got {
        device::ModeSwitchOutcome enter;
        ThresholdReading reading;
    };
    auto got = std::make_shared<Got>();
    m_hooks.inTask(
        [got] {
            got->enter = device::SwitchModeChecked(device::mode::Calibration);
            if (got->enter.ok)
                got->reading = readFingerThreshold();
        },
        [this, got] {
            if (!m_hooks.switchFailureShown(got->enter))
                return;  // message 142 is shown
            runDialogThenWork([this, reading = got->reading] {
                K274_3DebugWin dialog(reading, m_hooks.inTask, m_window);
                dialog.exec();
            });
        });
}

void DebugPageServices::DeviceInfoButSlot()
{
    if (!m_hooks.guard([this] { DeviceInfoButSlot(); }))
        return;
    m_hooks.switchModeThen(device::mode::Calibration, [this](bool ok) {
        if (!ok)
            return;
        runDialogThenWork([this] {
            deviceinfo::ReadWriteDeviceInfo dialog(m_window);
            dialog.exec();
        });
    });
}

void DebugPageServices::runDialogThenWork(std::function<void()> dialog)
{
    // From the event loop, not from within the task's then.
    QMetaObject::invokeMethod(
        this,
        [this, dialog = std::move(dialog)] {
            dialog();
            m_hooks.switchModeThen(device::mode::Work, [this](bool ok) {
                if (!ok)
                    m_hooks.markNotConnected();
            });
        },
        Qt::QueuedConnection);
}

bool DebugPageServices::isBusy() const { return m_fpga->isRunning() || m_script->isRunning() || m_flash->isRunning(); }

void DebugPageServices::stopWorkersThen(std::function<void()> whenEnded)
{
    // One count held while the requests go out, one per running job.
    auto left = std::make_shared<int>(1);
    auto oneEnded = [this, left, whenEnded = std::move(whenEnded)] {
        if (--*left > 0)
            return;
        updateStepButtons();
        if (whenEnded)
            whenEnded();
    };
    if (m_fpga->isRunning()) {
        ++*left;
        m_fpga->stopThen(oneEnded);
    }
    if (m_script->isRunning()) {
        ++*left;
        m_script->stopThen(oneEnded);
    }
    if (m_flash->isRunning()) {
        ++*left;
        m_flash->stopThen(oneEnded);
    }
    oneEnded();
}

} // namespace tovrin::maintenance
