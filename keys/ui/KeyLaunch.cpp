#include "keys/ui/KeyLaunch.h"

#include "calibration/ui/RestoreOffer.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/core/KeyEntry.h"
#include "keys/ui/KeyCalibrationWin.h"
#include "keys/ui/KeyTestWin.h"
#include "shell/Log.h"
#include "widgets/FullScreen.h"

namespace tovrin::keys::ui {

namespace {

constexpr int kCommunicateFailed = 14;

int modeFailureMessage(const device::ModeSwitchOutcome& outcome)
{
    return outcome.messageId >= 0 && !outcome.frameLost && !outcome.deviceAbsent ? outcome.messageId
                                                                                 : kCommunicateFailed;
}

template <class Window>
void runModal(Window& window, const std::function<void(int)>& showData)
{
    if (showData)
        QObject::connect(&window, &Window::sendShowData, &window, [showData](int code) { showData(code); });
    widgets::showFullScreenOn(&window);
    window.exec();
}

} // namespace

int runKeyCalibration(QWidget* parent, const std::function<void(int)>& showData)
{
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        shell::LogF("Key Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
        return modeFailureMessage(mode);
    }
    int refusal = keyCalibrationEntryCheck();
    // A touch calibration an unfinished write left invalid can be put back
    // from the journal first.
    if (refusal == kCalibrateFirstMessage && calib::ui::offerJournalRestore(parent) == calib::ui::RestoreOutcome::Restored)
        refusal = keyCalibrationEntryCheck();
    if (refusal != 0) {
        device::SwitchModeChecked(device::mode::Work);
        return refusal;
    }
    KeyCalibrationWin window(parent);
    runModal(window, showData);
    return -1;
}

int runKeyTest(QWidget* parent, const std::function<void(int)>& showData)
{
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok)
        shell::LogF("Key Calibration :Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
    if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load())
        return kCommunicateFailed;
    const device::ModeSwitchOutcome work = device::SwitchModeChecked(device::mode::Work);
    if (!work.ok)
        return modeFailureMessage(work);
    KeyTestWin window(parent);
    runModal(window, showData);
    return -1;
}

} // namespace tovrin::keys::ui
