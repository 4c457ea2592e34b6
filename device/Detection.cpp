#include "Detection.h"

#include "DeviceStatus.h"
#include "HidLink.h"
#include "Transport.h"
#include "UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <algorithm>

namespace tovrin::device {

std::atomic<uint8_t> DeviceCheckState{kStateOpen};
std::atomic<int> OpenResult{0};
std::atomic<uint8_t> CheckCount{0};
std::atomic<int> UpdateExpected{0};

namespace {
constexpr int kGoodChecksBeforeReport = 8;
constexpr int kUpdateTries = 30;
} // namespace

DetectionMachine::DetectionMachine(Variant variant, std::function<void(int)> report, const std::atomic<bool>* stop)
    : m_variant(variant)
    , m_report(std::move(report))
    , m_stop(stop)
{
}

void DetectionMachine::pause(int ms)
{
    sleepMsUnless(ms, m_stop);
}

void DetectionMachine::emitCode(int code)
{
    if (m_report)
        m_report(code);
}

void DetectionMachine::step()
{
    const bool engineering = m_variant == Variant::Engineering;
    switch (DeviceCheckState.load()) {
    case kStateOpen: {
        const bool ok = OpenHidDevice(m_productId);
        DeviceCheckState = kStateReport;
        if (ok) {
            CheckCount = 0;
            OpenResult = 1;
        } else {
            OpenResult = 0;
        }
        break;
    }
    case kStateWatch: {
        pause(100);
        const int r = CheckHidDevice(m_productId);
        if (r == kCheckGone) {
            DeviceCheckState = kStateReport;
            OpenResult = 0;
            shell::WriteLog("No hid device!(DEVICE_CHECKING:checkDeviceValue == 2)\n");
        } else if (r == kCheckWrongCollection) {
            CheckCount = 1;
            DeviceCheckState = kStateReport;
            OpenResult = 2;
            shell::WriteLog("No hid device!(DEVICE_CHECKING:checkDeviceValue == 1)\n");
        } else {
            g_isDeviceCommunicate = 1;
            g_bDevExist = 1;
            if (m_reported)
                break;
            // A newly appeared frame is reported after 8 good checks in a row.
            if (++CheckCount >= kGoodChecksBeforeReport) {
                CheckCount = 0;
                DeviceCheckState = kStateReport;
                OpenResult = 1;
            } else {
                pause(100);
            }
        }
        break;
    }
    case kStateWaitBootLoader:
    case kStateWaitApplication: {
        if (!engineering) {
            DeviceCheckState = kStateOpen;  // the other tools never run an update
            break;
        }
        const bool wantBootLoader = DeviceCheckState.load() == kStateWaitBootLoader;
        ++CheckCount;
        bool found = false;
        if (OpenHidDevice(m_productId)) {
            found = wantBootLoader ? m_productId == kBootLoaderProductId : isApplicationProductId(m_productId);
            if (found) {
                if (!wantBootLoader) {
                    CheckCount = 0;
                    m_reported = false;
                }
                DeviceCheckState = kStateReport;
                OpenResult = 1;
            }
        }
        pause(500);
        // A frame found on the last try is still reported as found.
        if (!found && CheckCount.load() >= kUpdateTries) {
            DeviceCheckState = kStateReport;
            OpenResult = 0;
        }
        break;
    }
    case kStatePoll: {
        pause(100);
        if (!OpenHidDevice(m_productId)) {
            if (engineering && UpdateExpected.load()) {
                pause(200);
                g_bDevExist = 0;
                emitCode(detection::kLostDuringUpdate);
            }
            break;
        }
        DeviceCheckState = kStateWatch;
        CheckCount = 0;
        emitCode(detection::kAppeared);
        break;
    }
    case kStateReport: {
        const int result = OpenResult.load();
        if (result == 1) {
            g_bDevExist = 1;
            DeviceCheckState = kStateWatch;
            m_reported = true;
            shell::LogF("Open hid device success!PID:0x%04x\n", m_productId);
            if (isApplicationProductId(m_productId)) {
                TestCommunication(m_stop);
                if (m_stop && m_stop->load())
                    break;  // the thread is ending: the window no longer listens
                emitCode(detection::kApplicationOpened);
            } else if (m_productId == kBootLoaderProductId) {
                emitCode(detection::kBootLoaderOpened);
            } else {
                emitCode(detection::kNoFrame);
            }
        } else if (result == 0 || result == 2) {
            m_reported = false;
            DeviceCheckState = kStatePoll;
            emitCode(detection::kNoFrame);
        }
        break;
    }
    default:
        pause(100);
        break;
    }
}

DetectionThread::DetectionThread(DetectionMachine::Variant variant, QObject* parent)
    : QThread(parent)
    , m_variant(variant)
{
}

DetectionThread::~DetectionThread()
{
    requestStop();
    wait();
}

void DetectionThread::run()
{
    DetectionMachine machine(
        m_variant, [this](int code) { Q_EMIT sendShowData(code); }, &m_stop);
    while (!m_stop.load())
        machine.step();
    DeviceCheckState = kStateOpen;
}

} // namespace tovrin::device
