// The engineering window and the frame: what it does when the detection
// finds the frame, its status test ends, the frame goes away (also during an
// update), and the codes of its workers.
#include "Tovrin.h"

#include "PreviewPage.h"
#include "TovrinDebugPage.h"

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "shell/Language.h"
#include "shell/Log.h"

#include <QProgressBar>
#include <QTimer>

namespace tovrin::windows {

namespace {

// Message ids of the status texts used here.
namespace msg {
constexpr int Checking = 0, CheckCompleted = 15, NotReady = 16, NotDetected = 17;
constexpr int CalibrationInvalid = 19, LevelingCompleted = 106, CalibrateCompleted = 107;
} // namespace msg

} // namespace

void Tovrin::handleStatusResult(int result, bool keepStatus)
{
    if (!keepStatus)
        showStatus(device::statusMessageId(result));
    switch (result) {
    case device::kStatusNoLink:
        m_connected = false;
        setDeviceFunctionsEnabled(false);
        break;
    case device::kStatusFirmwareNotReady:
    case device::kStatusTimedOut:
        // The firmware must be replaced before anything else can work.
        m_connected = true;
        setOnlyUpdateEnabled();
        break;
    default:
        // The frame answered its status: the jobs may talk to it at once,
        // not only after the next watch step.
        device::g_isDeviceCommunicate = 1;
        // Ready, not leveled/calibrated (the jobs that fix it must be
        // reachable) and faulty (the device test and versions help).
        m_connected = true;
        setDeviceFunctionsEnabled(true);
        break;
    }
}

void Tovrin::handleFrameLost()
{
    m_reported = false;
    device::g_bDevExist = 0;
    m_connected = false;
    m_update.setPrepared(false);
    m_progress->hide();
    showStatus(msg::NotDetected);
    setDeviceFunctionsEnabled(false);
    shell::WriteLog("Open hid device failed!\n");
}

void Tovrin::handleLostDuringUpdate()
{
    // A child window closing with the frame still there changes nothing.
    if (device::g_bDevExist.load())
        return;
    QTimer::singleShot(200, this, [this] {
        if (m_detection.isClosed() || device::g_bDevExist.load())
            return;
        device::UpdateExpected = 0;
        m_detection.restart();
        m_reported = false;
        m_connected = false;
        m_update.setPrepared(false);
        m_progress->hide();
        showStatus(msg::NotDetected);
        setOnlyUpdateEnabled();
    });
}

void Tovrin::recvShowData(int code)
{
    if (m_detection.isClosed())
        return;
    // While an update waits for the frame to come back, the update decides.
    if (m_update.onDetection(code))
        return;
    switch (code) {
    case 1:
        showStatus(msg::LevelingCompleted);
        m_jobs.switchModeThen(device::mode::Work);
        break;
    case 2:
    case 6:
        m_jobs.switchModeThen(device::mode::Work);
        break;
    case 5:
        // A key calibration starts: its run puts the frame in calibration
        // mode itself. A work-mode switch from here would race with it (and
        // could leave the key calibration with a frame in work mode).
        break;
    case device::detection::kLostDuringUpdate:
        handleLostDuringUpdate();
        break;
    case 4:
        ResetButSlot();
        break;
    case device::detection::kAppeared:
        m_reported = false;
        showStatus(msg::Checking);
        break;
    case 8:
        showStatus(msg::CalibrationInvalid);
        break;
    case 9:
        showStatus(msg::CalibrateCompleted);
        break;
    case device::detection::kApplicationOpened: {
        // A second report of the same frame: it stopped answering during a
        // job and answers again. The job's own message stays.
        const bool again = m_reported;
        m_reported = true;
        m_update.setPrepared(false);
        const int result = device::g_getStatusError.load();
        handleStatusResult(result, again);
        if (!again && result == device::kStatusNotCalibrated)
            QTimer::singleShot(0, this, &Tovrin::offerRestore);
        break;
    }
    case device::detection::kBootLoaderOpened:
        // A frame in its boot loader (an update that was cut short, or a
        // unit without firmware) can only be updated, and the update starts
        // from there: it is already prepared.
        m_connected = true;
        m_reported = false;
        m_update.setPrepared(true);
        showStatus(msg::NotReady);
        setOnlyUpdateEnabled();
        break;
    case device::detection::kNoFrame:
        if (!device::UpdateExpected.load())
            handleFrameLost();
        break;
    default:
        break;
    }
}

void Tovrin::recvData(int code)
{
    // The preview worker's codes while it runs; otherwise the debug worker
    // an entry started.
    if (m_debug && m_debug->preview()->isRunning()) {
        previewCode(code);
        return;
    }
    if (m_workerCodes)
        m_workerCodes(code);
}

void Tovrin::previewCode(int code)
{
    PreviewPage* preview = m_debug->preview();
    if (code == 10) {
        preview->frameReady();
    } else if (code == 11) {
        // The worker stopped by itself (link lost, frame failure).
        preview->stop(m_jobs);
    }
}

int Tovrin::FindHidDevice()
{
    // The detection thread does the searching; nothing is requested here.
    return 1;
}

bool Tovrin::MacGetDeviceConfig()
{
    // One open attempt in the window thread. While the detection thread runs
    // it owns the device, so its last report stands.
    if (m_detection.isRunning())
        return isConnected();
    uint16_t productId = 0xFF;
    const bool opened = device::OpenHidDevice(productId);
    shell::WriteLog(opened ? "Open hid device succeed!(FIRST_OPEN_TOOL)\n" : "No hid device!(FIRST_OPEN_TOOL)\n");
    if (opened && (device::isApplicationProductId(productId) || productId == device::kBootLoaderProductId)) {
        shell::LogF("Open hid device success!PID:0x%04x\n", productId);
        device::g_bDevExist = 1;
        m_connected = true;
        const bool bootLoader = productId == device::kBootLoaderProductId;
        showStatus(bootLoader ? msg::NotReady : msg::CheckCompleted);
        if (bootLoader)
            setOnlyUpdateEnabled();
        else
            setDeviceFunctionsEnabled(true);
        return true;
    }
    handleFrameLost();
    return false;
}

void Tovrin::GetDeviceConfig() { MacGetDeviceConfig(); }

} // namespace tovrin::windows
