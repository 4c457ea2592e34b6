#include "Detection.h"

#include "Command.h"
#include "DeviceStatus.h"
#include "FrameHold.h"
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
constexpr int kBootLoaderSightings = 4;  // 2 s of tries in a row
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

namespace {

// The window sets the state too (1 on a restart, 3 and 4 during an update),
// at any moment. The thread decides its next state from the one it read at
// the start of its step, so it moves only while that is still the state: a
// state the window set in the meantime wins, and the step's outcome (codes,
// OpenResult, counters) is dropped with it.
bool moveState(uint8_t from, uint8_t to)
{
    return DeviceCheckState.compare_exchange_strong(from, to);
}

} // namespace

void DetectionMachine::step()
{
    const bool engineering = m_variant == Variant::Engineering;
    const uint8_t state = DeviceCheckState.load();
    switch (state) {
    case kStateOpen: {
        const bool ok = OpenHidDevice(m_productId);
        if (!moveState(state, kStateReport))
            break;
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
            if (!moveState(state, kStateReport))
                break;
            OpenResult = 0;
            shell::WriteLog("No hid device!(DEVICE_CHECKING:checkDeviceValue == 2)\n");
        } else if (r == kCheckWrongCollection) {
            if (!moveState(state, kStateReport))
                break;
            CheckCount = 1;
            OpenResult = 2;
            shell::WriteLog("No hid device!(DEVICE_CHECKING:checkDeviceValue == 1)\n");
        } else if (m_reported && !g_bDevExist.load() && frameHeld()) {
            // A job still holds the frame and one of its requests went
            // unanswered: the job decides what that means. Asking for the
            // status in between would put two talkers on the frame, and a
            // frame that is merely still enumerated does not answer for it.
        } else if (m_reported && !g_bDevExist.load() && isApplicationProductId(m_productId)) {
            retestHungFrame();
        } else {
            g_isDeviceCommunicate = 1;
            g_bDevExist = 1;
            if (m_reported)
                break;
            // A newly appeared frame is reported after 8 good checks in a row.
            if (CheckCount.load() + 1 >= kGoodChecksBeforeReport) {
                if (!moveState(state, kStateReport))
                    break;
                CheckCount = 0;
                OpenResult = 1;
            } else {
                ++CheckCount;
                pause(100);
            }
        }
        break;
    }
    case kStateWaitBootLoader:
    case kStateWaitApplication: {
        if (!engineering) {
            moveState(state, kStateOpen);  // the other tools never run an update
            break;
        }
        const bool wantBootLoader = state == kStateWaitBootLoader;
        ++CheckCount;
        bool found = false;
        if (OpenHidDevice(m_productId)) {
            found = wantBootLoader ? m_productId == kBootLoaderProductId : isApplicationProductId(m_productId);
            // Restarted into its application, a frame that keeps coming back
            // as its boot loader has an application that does not start: it
            // is there, and reported as the boot loader it is (a single
            // sighting may still be the boot loader going away).
            if (!wantBootLoader && m_productId == kBootLoaderProductId)
                found = ++m_bootLoaderSightings >= kBootLoaderSightings;
            else
                m_bootLoaderSightings = 0;
            if (found) {
                m_bootLoaderSightings = 0;
                if (!moveState(state, kStateReport))
                    break;
                if (!wantBootLoader) {
                    CheckCount = 0;
                    m_reported = false;
                }
                OpenResult = 1;
            }
        } else {
            m_bootLoaderSightings = 0;
        }
        pause(500);
        // A frame found on the last try is still reported as found.
        if (!found && CheckCount.load() >= kUpdateTries && moveState(state, kStateReport))
            OpenResult = 0;
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
        if (!moveState(state, kStateWatch))
            break;
        CheckCount = 0;
        emitCode(detection::kAppeared);
        break;
    }
    case kStateReport: {
        const int result = OpenResult.load();
        if (result == 1) {
            if (!moveState(state, kStateWatch))
                break;
            g_bDevExist = 1;
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
            if (!moveState(state, kStatePoll))
                break;
            m_reported = false;
            emitCode(detection::kNoFrame);
        }
        break;
    }
    default:
        pause(100);
        break;
    }
}

void DetectionMachine::retestHungFrame()
{
    // A transaction got no reply and marked the frame gone, yet the handle is
    // still ours and the frame still there: it hung. As soon as it answers a
    // status request again it is reported anew (code 13), so the technician
    // goes on without pulling the cable; while it stays silent the watch
    // says nothing and asks again.
    const int result = TestCommunication(m_stop);
    if (m_stop && m_stop->load())
        return;
    if (!lastOutcome().ok()) {
        pause(100);
        return;  // still no answer
    }
    if (DeviceCheckState.load() != kStateWatch)
        return;  // the window took the detection elsewhere meanwhile
    g_isDeviceCommunicate = 1;
    g_bDevExist = 1;
    shell::LogF("Device answers again after a failed transaction! g_getStatusError=%d\n", result);
    emitCode(detection::kApplicationOpened);
}

DetectionThread::DetectionThread(DetectionMachine::Variant variant, QObject* parent)
    : Worker(parent)
    , m_variant(variant)
{
}

DetectionThread::~DetectionThread() { stopAndWait(); }

void DetectionThread::work()
{
    DetectionMachine machine(
        m_variant, [this](int code) { Q_EMIT sendShowData(code); }, stopFlag());
    while (!stopRequested())
        machine.step();
    DeviceCheckState = kStateOpen;
}

DetectionRelay::DetectionRelay(DetectionThread* thread, QObject* parent)
    : QObject(parent)
{
    connect(thread, &DetectionThread::sendShowData, this,
            [this](int c) { Q_EMIT codeOfRun(c, m_run.load()); }, Qt::DirectConnection);
    connect(this, &DetectionRelay::codeOfRun, this, [this](int c, unsigned run) {
        if (run == m_run.load())
            Q_EMIT code(c);
    }, Qt::QueuedConnection);
}

} // namespace tovrin::device
