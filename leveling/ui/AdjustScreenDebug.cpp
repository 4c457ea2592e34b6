// AdjustScreenWin: the image-debug panel's slots, the requests the leveling
// thread hands back to the window, SaveData and the sensor test.
#include "AdjustScreenWin.h"

#include "ImageDebugPanel.h"
#include "widgets/WindowKit.h"

#include "device/UnitOps.h"
#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/DebugRequests.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/SampleData.h"
#include "leveling/core/SensorTest.h"
#include "shell/AppContext.h"
#include "shell/Folders.h"
#include "widgets/MyMessageBox.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

namespace tovrin::leveling {

namespace {
QString text(int id) { return shell::context().text(id); }
} // namespace

void AdjustScreenWin::panelBox(const QString& message)
{
    if (message.isEmpty())
        return;
    widgets::MyMessageBox::setAnswer(0);
    widgets::MyMessageBox box(this, text(3), message, 1, 1);
}

// The request slots only set their flag; the leveling thread reports the
// request between two frames and the window serves it then.
void AdjustScreenWin::ResetFpgaButSlot() { debugRequest(kResetFpga) = 1; }
void AdjustScreenWin::WriteButSlot() { debugRequest(kRegisterWrite) = 1; }
void AdjustScreenWin::ReadButSlot() { debugRequest(kRegisterRead) = 1; }
void AdjustScreenWin::FlashWriteButSlot() { debugRequest(kFlashWrite) = 1; }
void AdjustScreenWin::FlashReadButSlot() { debugRequest(kFlashRead) = 1; }
void AdjustScreenWin::UpdateBKButSlot() { debugRequest(kUpdateBK) = 1; }
void AdjustScreenWin::WriteColumnButSlot() { debugRequest(kWriteColumn) = 1; }

void AdjustScreenWin::SlaveCButSlot()
{
    if (m_panel)
        device::SelectedUnitIsSlave = m_panel->regSlave->isChecked() ? 1 : 0;
}

void AdjustScreenWin::OnlyLastLineSlot()
{
    if (m_panel)
        g_OnlyLastLine = m_panel->onlyLastLine->isChecked() ? 1 : 0;
}

void AdjustScreenWin::ClosePreviewSlot()
{
    if (!m_panel || g_WindowClosing.load())
        return;
    if (m_panel->closePreview->isChecked()) {
        g_PreviewRun = 0;  // the thread stops with code 18
        return;
    }
    g_PreviewRun = 1;
    supersedeExposure();
    if (exposureThreadRunning())
        m_exposureThread->requestStop();
    resumeLeveling();
}

void AdjustScreenWin::serveDebugRequest(int code)
{
    if (!m_panel) {
        debugRequest(code) = 0;
        return;
    }
    // The request is served to its end before its flag is cleared: the
    // leveling thread waits for the flag, so only one thread talks to the frame.
    QString message;
    switch (code) {
    case kResetFpga:
        widgets::runBesideGui([&] { message = resetFpga(); });
        break;
    case kRegisterWrite:
    case kRegisterRead: {
        const QString address = m_panel->regAddress->text();
        const QString value = m_panel->regValue->text();
        const bool sensor = m_panel->sensor->isChecked();
        RegisterResult r;
        widgets::runBesideGui([&] {
            r = code == kRegisterWrite ? writeRegister(address, value, sensor) : readRegister(address, sensor);
        });
        message = r.error;
        if (r.error.isEmpty()) {
            m_panel->regAddress->setText(r.addressText);
            m_panel->regValue->setText(r.valueText);
        }
        break;
    }
    case kFlashWrite: {
        const int unit = m_panel->flashSlave->isChecked() ? kSlave : kMaster;
        const PanelSettings settings = m_panel->settings();
        widgets::runBesideGui([&] { message = flashWriteSettings(unit, settings); });
        break;
    }
    case kFlashRead: {
        const int unit = m_panel->flashSlave->isChecked() ? kSlave : kMaster;
        FlashReadResult r;
        widgets::runBesideGui([&] { r = flashReadSettings(unit); });
        message = r.error;
        if (r.fields)
            m_panel->showSettings(*r.fields);
        break;
    }
    case kUpdateBK: {
        const int unit = m_panel->bkSlave->isChecked() ? kSlave : kMaster;
        const bool white = m_panel->whiteZone->isChecked();
        const bool black = m_panel->blackZone->isChecked();
        widgets::runBesideGui([&] { message = updateBackground(unit, white, black); });
        break;
    }
    case kWriteColumn: {
        const QString ls = m_panel->leftStart->text(), le = m_panel->leftEnd->text();
        const QString rs = m_panel->rightStart->text(), re = m_panel->rightEnd->text();
        widgets::runBesideGui([&] { message = writeColumns(ls, le, rs, re); });
        break;
    }
    default:
        break;
    }
    debugRequest(code) = 0;
    panelBox(message);
}

void AdjustScreenWin::SaveDataButSlot()
{
    const int counter = g_SampleCounter.load();
    const SampleFolder sample = prepareSampleFolder(QDir(shell::dataPath()).absolutePath(), counter);
    FrameBytes master{}, slave{};
    m_frames.copyPublished(master, slave);
    const bool ok = sample.ok && grab().save(samplePicturePath(sample)) && writeSampleFrames(sample, master, slave);
    if (!ok) {
        panelBox(QStringLiteral("Save Failed!"));
        return;
    }
    g_SampleCounter = counter + 1;
    panelBox(QStringLiteral("Save Success!"));
}

void AdjustScreenWin::runSensorTest()
{
    if (m_sensorTestRunning)
        return;
    m_sensorTestRunning = true;
    SensorTestResult result;
    widgets::runBesideGui([&] { result = leveling::runSensorTest(); });
    m_sensorTestRunning = false;
    if (!result.ok) {
        // The leveling thread stays waiting until the window is left.
        m_hint->setText(text(14));
        return;
    }
    const QString warning = sensorTestWarning(result);
    if (!warning.isEmpty()) {
        widgets::MyMessageBox::setAnswer(0);
        widgets::MyMessageBox box(this, text(117), warning, 1, 1);
    }
    g_SensorTestPending = 0;
}

} // namespace tovrin::leveling
