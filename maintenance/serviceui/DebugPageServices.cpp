#include "DebugPageServices.h"

#include "FlashController.h"
#include "FpgaController.h"
#include "K274_3DebugWin.h"
#include "ScriptController.h"
#include "StepDebugController.h"

#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "device/DeviceStatus.h"

namespace tovrin::maintenance {

DebugPageServices::DebugPageServices(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
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
}

DebugPageServices::~DebugPageServices() { stopWorkers(); }

void DebugPageServices::FPGAbrowseButSlot() { m_fpga->browse(m_chooser); }
void DebugPageServices::DownloadButSlot() { m_fpga->download(); }
void DebugPageServices::ScriptBrowseButSlot() { m_script->browse(m_chooser); }
void DebugPageServices::RunScriptButSlot() { m_script->run(); }
void DebugPageServices::WriteButSlot() { m_step->write(); }
void DebugPageServices::ReadButSlot() { m_step->read(); }
void DebugPageServices::EraseFlashSlot() { m_flash->erase(); }
void DebugPageServices::ReadFlashSlot() { m_flash->dump(m_chooser); }
void DebugPageServices::WriteFlashSlot() { m_flash->fill(m_chooser); }

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
}

} // namespace tovrin::maintenance
