#include "DebugPageServices.h"

#include "FlashController.h"
#include "FpgaController.h"
#include "K274_3DebugWin.h"
#include "ScriptController.h"
#include "StepDebugController.h"

#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "device/DeviceStatus.h"

#include <QWidget>

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
    connect(m_fpga, &FpgaController::finished, this, &DebugPageServices::updateStepButtons);
    connect(m_script, &ScriptController::finished, this, &DebugPageServices::updateStepButtons);
    connect(m_flash, &FlashController::finished, this, &DebugPageServices::updateStepButtons);
}

DebugPageServices::~DebugPageServices()
{
    // The page's widgets may be gone already: nothing is said.
    m_fpga->stop(true);
    m_script->stop(true);
    m_flash->stop(true);
}

void DebugPageServices::FPGAbrowseButSlot() { m_fpga->browse(m_chooser); }
void DebugPageServices::DownloadButSlot()
{
    m_fpga->download();
    updateStepButtons();
}
void DebugPageServices::ScriptBrowseButSlot() { m_script->browse(m_chooser); }
void DebugPageServices::RunScriptButSlot()
{
    m_script->run();
    updateStepButtons();
}
void DebugPageServices::WriteButSlot() { m_step->write(); }
void DebugPageServices::ReadButSlot() { m_step->read(); }
void DebugPageServices::EraseFlashSlot()
{
    m_flash->erase();
    updateStepButtons();
}
void DebugPageServices::ReadFlashSlot()
{
    m_flash->dump(m_chooser);
    updateStepButtons();
}
void DebugPageServices::WriteFlashSlot()
{
    m_flash->fill(m_chooser);
    updateStepButtons();
}

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
    if (!m_hooks.guard())
        return;
    if (!m_hooks.switchMode(device::mode::Calibration))
        return;  // message 142 is shown
    K274_3DebugWin dialog(m_window);
    dialog.exec();
    if (!m_hooks.switchMode(device::mode::Work))
        m_hooks.markNotConnected();
}

void DebugPageServices::DeviceInfoButSlot()
{
    if (!m_hooks.guard())
        return;
    if (!m_hooks.switchMode(device::mode::Calibration))
        return;
    deviceinfo::ReadWriteDeviceInfo dialog(m_window);
    dialog.exec();
    if (!m_hooks.switchMode(device::mode::Work))
        m_hooks.markNotConnected();
}

void DebugPageServices::previewFrameTaken() { m_step->previewFrameTaken(); }

bool DebugPageServices::isBusy() const { return m_fpga->isRunning() || m_script->isRunning() || m_flash->isRunning(); }

void DebugPageServices::stopWorkers()
{
    m_fpga->stop();
    m_script->stop();
    m_flash->stop();
    updateStepButtons();
}

} // namespace tovrin::maintenance
