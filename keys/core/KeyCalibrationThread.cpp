#include "keys/core/KeyCalibrationThread.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/core/KeyChooser.h"
#include "keys/core/KeyRectangles.h"
#include "keys/core/KeyStore.h"
#include "records/CalibrationRecord.h"
#include "shell/Clock.h"
#include "shell/Log.h"
#include "shell/Settings.h"

namespace tovrin::keys {

void KeyRunState::reset()
{
    initDone = false;
    targetShown = false;
    targetIndex = 0;
    progress = 0;
    heldFrames = 0;
    leftCount = 0;
    rightCount = 0;
    leftFound = false;
    rightFound = false;
    repaintPending = false;
}

uint32_t targetRecord(const KeyTarget& target, bool extendedFrame)
{
    const uint32_t edge = static_cast<uint32_t>(target.edge) | (extendedFrame ? 0x80u : 0x40u);
    return (edge & 0xFFu) | (static_cast<uint32_t>(target.group & 0xFF) << 8) |
           (static_cast<uint32_t>(target.groupKeys & 0xFF) << 16) | (static_cast<uint32_t>(target.index & 0xFF) << 24);
}

namespace {

// Release byte: 0 while a touch is expected or still seen where the last
// target was, 255 once the frame may take the finger as lifted.
constexpr uint8_t kReleaseHeld = 0;
constexpr uint8_t kReleaseFree = 255;

calib::SpotReport toSpots(const std::array<device::Spot, 5>& spots, int count)
{
    calib::SpotReport r;
    r.count = count < 0 ? 0 : (count > calib::kMaxSpots ? calib::kMaxSpots : count);
    for (int i = 0; i < r.count; ++i) {
        const device::Spot& s = spots[static_cast<size_t>(i)];
        r.spots[static_cast<size_t>(i)] = {s.position, s.width, s.strength, 1};
    }
    return r;
}

void logSpots(const char* format, int index, int wait, const calib::SpotReport& r)
{
    const auto& s = r.spots;
    shell::LogF(format, index, wait, s[0].position, s[0].width, s[0].strength, s[1].position, s[1].width, s[1].strength,
                s[2].position, s[2].width, s[2].strength, s[3].position, s[3].width, s[3].strength, s[4].position,
                s[4].width, s[4].strength);
}

} // namespace

KeyCalibrationJob::KeyCalibrationJob(KeyDepiction depiction, int width, int height, KeyCodes codes,
                                     KeyRunState& state)
    : m_depiction(std::move(depiction))
    , m_width(width)
    , m_height(height)
    , m_codes(std::move(codes))
    , m_state(state)
{
    m_oneDLeft.assign(m_depiction.targets.size(), 0);
    m_oneDRight.assign(m_depiction.targets.size(), 0);
}

bool KeyCalibrationJob::stopOrGone(const std::function<void(int)>& send)
{
    if (m_state.stop.load())
        return true;
    if (!device::g_bDevExist.load()) {
        send(keycode::kTargetReady);  // the window sees the frame gone and says so
        return true;
    }
    return false;
}

void KeyCalibrationJob::showTarget(const std::function<void(int)>& send)
{
    // One redraw request at a time: a query answers far faster than a
    // window repaints, and every redraw shows the latest state anyway.
    if (!m_state.repaintPending.exchange(true))
        send(keycode::kTargetReady);
}

int KeyCalibrationJob::query(int target, uint8_t release, calib::SpotReport& left, calib::SpotReport& right)
{
    const size_t t = static_cast<size_t>(std::clamp(target, 0, static_cast<int>(m_depiction.targets.size()) - 1));
    device::TouchReport report;
    const int result = device::ReadTouchPoints(0, static_cast<uint8_t>(target),
                                               targetRecord(m_depiction.targets[t], m_extended), release, report);
    if (result == 3) {
        device::markGoneOnNoReply();
        return result;
    }
    left = toSpots(report.master, report.masterCount());
    right = toSpots(report.slave, report.slaveCount());
    m_state.leftCount = left.valid();
    m_state.rightCount = right.valid();
    // The frame's own pace: never ask faster than a frame a millisecond.
    sleepMs(1);
    return result;
}

void KeyCalibrationJob::run(const std::function<void(int)>& send)
{
    m_state.reset();
    m_state.waitFrames = shell::settings::waitFrameCount();
    m_extended = device::ExtendedFrameDevice.load() == 1;
    if (m_depiction.targets.empty())
        return;
    shell::LogF("KeyCalibrationThread::run start, %d targets\n", static_cast<int>(m_depiction.targets.size()));

    if (stopOrGone(send))
        return;
    if (!device::ArmTouchData()) {
        device::markGoneOnNoReply();
        send(keycode::kInitFailed);
        return;
    }
    m_state.initDone = true;
    device::g_isDeviceCommunicate = 1;
    for (int pass = 0; pass < kIdlePasses; ++pass) {
        if (stopOrGone(send))
            return;
        sleepMs(1);
    }

    // Background: what the cameras see while nobody touches.
    m_backgroundLeft.clear();
    m_backgroundRight.clear();
    for (int frame = 1; frame <= kBackgroundFrames; ++frame) {
        if (stopOrGone(send))
            return;
        calib::SpotReport left, right;
        if (query(0, kReleaseHeld, left, right) == 3) {
            send(keycode::kProcessFailed);
            return;
        }
        if (frame >= 3)
            calib::AccumulateBackground(left, right, m_backgroundLeft, m_backgroundRight);
        if (frame == kShowFirstTargetAfter) {
            m_state.targetShown = true;
            showTarget(send);
        }
    }

    if (!captureAll(send))
        return;
    finish(send);
}

bool KeyCalibrationJob::captureAll(const std::function<void(int)>& send)
{
    const int targets = static_cast<int>(m_depiction.targets.size());
    const int wait = m_state.waitFrames.load();
    int held = 0;
    int current = -1;
    while (true) {
        if (stopOrGone(send))
            return false;
        const int t = m_state.targetIndex.load();
        if (t >= targets)
            return true;
        if (t != current) {  // a new target, or the window stepped back
            current = t;
            held = 0;
            m_state.heldFrames = 0;
        }
        showTarget(send);
        calib::SpotReport left, right;
        const int result = query(t, kReleaseHeld, left, right);
        if (result == 3) {
            send(keycode::kProcessFailed);
            return false;
        }
        if (result != 2) {  // not both cameras: the touch is lost, count again
            held = 0;
            m_state.heldFrames = 0;
            continue;
        }
        if (++held == 1) {
            m_historyLeft.clear();
            m_historyRight.clear();
        }
        m_historyLeft.push(left);
        m_historyRight.push(right);
        m_state.heldFrames = held;
        if (left.valid() >= 2)
            logSpots("KeyCalibIndex[%d](g_WaitFrameCount=%d): OneD_leftPoint-> [0]%d(%d,%d)   [1]%d(%d,%d)   "
                     "[2]%d(%d,%d)   [3]%d(%d,%d)   [4]%d(%d,%d)\n",
                     t, held, left);
        if (right.valid() >= 2)
            logSpots("KeyCalibIndex[%d](g_WaitFrameCount=%d): OneD_rightPoint-> [0]%d(%d,%d)   [1]%d(%d,%d)   "
                     "[2]%d(%d,%d)   [3]%d(%d,%d)   [4]%d(%d,%d)\n",
                     t, held, right);
        if (held < wait)
            continue;

        calib::SpotReport sortedLeft = calib::VoteAndSort(m_historyLeft);
        calib::SpotReport sortedRight = calib::VoteAndSort(m_historyRight);
        shell::LogF("KeyCalibIndex[%d](After the sorting): leftIndex-> %d   rightIndex-> %d \n", t, sortedLeft.valid(),
                    sortedRight.valid());
        const int edgeType = keyEdgeType(m_depiction.targets[static_cast<size_t>(t)].edge);
        const auto leftPoint = chooseKeySpot(sortedLeft, calib::Side::Left, edgeType);
        const auto rightPoint = chooseKeySpot(sortedRight, calib::Side::Right, edgeType);
        shell::LogF("KeyCalibIndex[%d](After the FalsePotDel): Choose_Point: [leftPoint]%d   [rightPoint]%d\n\n", t,
                    leftPoint.value_or(0), rightPoint.value_or(0));
        m_state.leftFound = leftPoint.has_value();
        m_state.rightFound = rightPoint.has_value();
        held = 0;
        m_state.heldFrames = 0;
        if (!leftPoint || !rightPoint)
            continue;  // touch again
        calib::AccumulateDeletedSpots(sortedLeft, m_backgroundLeft);
        calib::AccumulateDeletedSpots(sortedRight, m_backgroundRight);
        m_oneDLeft[static_cast<size_t>(t)] = *leftPoint;
        m_oneDRight[static_cast<size_t>(t)] = *rightPoint;
        if (!sleepMsUnless(kCapturedPauseMs, &m_state.stop))
            return false;
        int expected = t;
        m_state.targetIndex.compare_exchange_strong(expected, t + 1);
        showTarget(send);
        const int next = m_state.targetIndex.load();
        if (next < targets && !releaseWait(next, send))
            return false;
    }
}

bool KeyCalibrationJob::releaseWait(int nextTarget, const std::function<void(int)>& send)
{
    uint8_t release = kReleaseFree;
    while (true) {
        if (stopOrGone(send))
            return false;
        calib::SpotReport left, right;
        const int result = query(nextTarget, release, left, right);
        if (result == 3) {
            send(keycode::kProcessFailed);
            return false;
        }
        if (result != 2)
            return true;
        // Still the old finger where the last target was?
        const int t = std::max(0, nextTarget - 1);
        const int edgeType = keyEdgeType(m_depiction.targets[static_cast<size_t>(t)].edge);
        const bool stillThere = chooseKeySpot(left, calib::Side::Left, edgeType).has_value() &&
                                chooseKeySpot(right, calib::Side::Right, edgeType).has_value();
        release = stillThere ? kReleaseHeld : kReleaseFree;
    }
}

void KeyCalibrationJob::finish(const std::function<void(int)>& send)
{
    auto fail = [&](const char* why) {
        shell::LogF("Key calibration failed: %s\n", why);
        send(keycode::kProcessFailed);
    };
    m_state.progress = 0;
    send(keycode::kProgress);

    if (!writeKeyCodeBlock(m_codes.block()))
        return fail("key code block not stored");
    if (stopOrGone(send))
        return;

    records::CalInfo previous;
    if (!records::readCalibrationRecord(records::UnitId::Slave, previous))
        return fail("Slave record not read");
    if (!previous.isValid())
        return fail("Slave record has no touch calibration");
    const calib::TouchMapper mapper = mapperOfRecord(previous);
    shell::LogF("g_ClbInfoR=%f, CalInfo_R.r_fix=%d\n", mapper.r, previous.solution.r_fix);
    if (!mapTargets(m_depiction.targets, m_oneDLeft, m_oneDRight, mapper))
        return fail("a key corner does not map to a screen point");
    const EdgeRects rects = buildKeyRectangles(m_depiction);
    records::CalInfo slave = previous;
    applyKeyLayout(slave, rects);
    logKeyRectangles(slave, "");

    StoreHooks hooks;
    hooks.progress = [&](int percent) {
        m_state.progress = percent;
        send(keycode::kProgress);
    };
    hooks.stopRequested = [&] { return m_state.stop.load(); };
    // Without keys on an edge the area ends at the calibrated picture's edge.
    const int width = previous.ScreenWidth > 0 ? previous.ScreenWidth : m_width;
    const int height = previous.ScreenHight > 0 ? previous.ScreenHight : m_height;
    const StoreResult result = evaluateAndStore(slave, previous, keyArea(rects, width, height), mapper, hooks);
    switch (result) {
    case StoreResult::Stored:
        m_state.progress = 100;
        m_state.targetIndex = 0;
        send(keycode::kStored);
        return;
    case StoreResult::Rejected:
        // Nothing was written: the windows cannot cover the keys.
        return fail("the image windows do not pass the check");
    case StoreResult::DeviceFailure:
        return fail("records not stored");
    case StoreResult::Stopped:
        return;
    }
}

KeyCalibrationThread::KeyCalibrationThread(QObject* parent)
    : QThread(parent)
{
}

KeyCalibrationThread::~KeyCalibrationThread() { stopAndWait(); }

void KeyCalibrationThread::prepare(const KeyDepiction& depiction, int width, int height, const KeyCodes& codes)
{
    m_depiction = depiction;
    m_width = width;
    m_height = height;
    m_codes = codes;
    m_state.stop = false;
}

void KeyCalibrationThread::stopAndWait()
{
    m_state.stop = true;
    wait();
}

void KeyCalibrationThread::run()
{
    KeyCalibrationJob job(m_depiction, m_width, m_height, m_codes, m_state);
    job.run([this](int code) { Q_EMIT sendData(code); });
    m_oneDLeft = job.oneDLeft();
    m_oneDRight = job.oneDRight();
}

} // namespace tovrin::keys
