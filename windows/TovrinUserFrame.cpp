// TovrinUser and the frame: preparing it once the detection has found it
// ready, and handing it back when a run is rejected or the window is left.
// Every step that talks to the frame runs in a worker; the window goes on
// and continues in its thread when the step has ended.
#include "TovrinUser.h"
#include "TovrinUserTexts.h"

#include "calibration/run/RunState.h"
#include "calibration/ui/RestoreOffer.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/WindowKit.h"

#include <QCloseEvent>

#include <memory>
#include <utility>

namespace tovrin::windows {

using calib::FourCalib_en;
namespace msg = usermsg;

void TovrinUser::startWithFrame()
{
    showStatus(msg::Initializing);
    // Calibration mode and, for a frame that reported itself not calibrated,
    // what the journal could put back: in a worker, the window goes on.
    struct Switched {
        device::ModeSwitchOutcome mode;
        std::vector<records::JournalEntry> restorePlan;
    };
    auto got = std::make_shared<Switched>();
    const bool offer = std::exchange(m_offerRestore, false);
    m_frameTask.run(
        [got, offer] {
            got->mode = device::SwitchModeChecked(device::mode::Calibration);
            if (offer && !got->mode.deviceAbsent && !got->mode.frameLost)
                got->restorePlan = calib::ui::journalRestorePlan();
        },
        this, [this, got] {
            if (m_exiting)
                return;
            const device::ModeSwitchOutcome& outcome = got->mode;
            if (!outcome.ok) {
                shell::LogF("Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n",
                            device::g_isSwitchMode.load());
                if (outcome.deviceAbsent) {
                    noFrame();
                    return;
                }
                if (outcome.frameLost) {
                    m_connected = false;
                    showStatus(msg::CommunicateFailed);
                    setButtonsEnabled(false);
                    return;
                }
            }
            const bool restore = !got->restorePlan.empty() && calib::ui::askToRestore(this);
            readFrameThenStart(restore ? got->restorePlan : std::vector<records::JournalEntry>{});
        });
}

void TovrinUser::readFrameThenStart(std::vector<records::JournalEntry> restorePlan)
{
    struct Read {
        int fourCalib = 0;
        bool versionRead = false;
        uint32_t version = 0;
    };
    auto got = std::make_shared<Read>();
    m_frameTask.run(
        [got, plan = std::move(restorePlan)] {
            if (!plan.empty())
                calib::ui::restoreJournal(plan);
            // The 16/4-point choice is kept in the Slave's screen record.
            records::ScreenRecord record;
            got->fourCalib = records::readScreenRecord(record) && record.isValid() && record.FourCalib_en == 1 ? 1 : 0;
            got->versionRead = records::readVersionRecord(records::UnitId::Slave);
            got->version = records::g_ImageVersion[1].load();
        },
        this, [this, got] {
            if (m_exiting)
                return;
            FourCalib_en = got->fourCalib;
            if (got->versionRead)
                m_versionLabel->setText(userVersionPrefix() + QStringLiteral("     ") + update::firmwareIdText(got->version));
            else
                m_versionLabel->setText(userVersionPrefix());
            startCalibrationRun();
        });
}

void TovrinUser::handFrameBack(std::function<void(bool)> then)
{
    if (m_handedBack || !isConnected()) {
        then(true);
        return;
    }
    m_handedBack = true;
    // Keep the chosen calibration mode for the next start. A frame that
    // took neither that nor work mode has not finished the calibration.
    handBackThen(calib::WorkModeAfter::UnlessGone, [this, then](const calib::HandBackResult& result) {
        if (!result.kept) {
            shell::LogF("Calibration: the screen record could not be written back\n");
            showStatus(device::g_bDevExist.load() ? msg::ProcessFailed : msg::PulledOut);
        }
        if (result.switched && !result.work.ok) {
            device::markSwitchFailure();
            showStatus(msg::EquipmentAnomalies);
            shell::LogF("Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        }
        then(result.kept && result.work.ok);
    });
}

void TovrinUser::closeEvent(QCloseEvent* event)
{
    if (m_saving && running()) {
        // The save goes on to its end; the page then says what was stored
        // and the exit button leaves.
        event->ignore();
        if (!m_closeAfterSave)
            shell::LogF("Calibration: closing waits for the save to end\n");
        m_closeAfterSave = true;
        return;
    }
    if (m_exiting) {
        event->ignore();  // the exit under way closes the window or says why not
        return;
    }
    if (!m_detection.isClosed()) {
        event->ignore();
        exitHandling();
        return;
    }
    QDialog::closeEvent(event);
}

void TovrinUser::exitHandling()
{
    m_exiting = true;
    m_typeButton->setButtonEnabled(false);
    m_resetButton->setButtonEnabled(false);
    m_focus.show(3);
    // A run that has not begun configures no environment; one under way
    // finishes it before it looks at the stop request.
    calib::g_CalibEnvironment = 0;
    // The detection, the frame's preparation, the runs: each has ended
    // before the frame is handed back and its link closed.
    m_detection.closeThen(this, [this] {
        m_frameTask.whenEnded(this, [this] { stopRunsThen([this] { handBackAndClose(); }); });
    });
}

void TovrinUser::handBackAndClose()
{
    m_quality->end();
    placeWidgets();
    m_calibrating = false;
    update();
    handFrameBack([this](bool handedBack) {
        device::CloseHidDevice();
        widgets::endLog();
        m_exiting = false;
        // Without the frame handed back what went wrong stays on the page
        // (the window's end is the program's end); the next exit leaves.
        // Closed from the event loop: this may run inside the close event,
        // where another close() does nothing.
        if (handedBack)
            QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    });
}

} // namespace tovrin::windows
