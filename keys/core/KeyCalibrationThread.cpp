#include "keys/core/KeyCalibrationThread.h"

#include "calibration/run/TargetCapture.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/core/KeyChooser.h"
#include "keys/core/KeyRectangles.h"
#include "keys/core/KeyStore.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"
#include "shell/Settings.h"

namespace tovrin::keys {

uint32_t targetRecord(const KeyTarget& target, bool extendedFrame)
{
    const uint32_t edge = static_cast<uint32_t>(target.edge) | (extendedFrame ? 0x80u : 0x40u);
    return (edge & 0xFFu) | (static_cast<uint32_t>(target.group & 0xFF) << 8) |
           (static_cast<uint32_t>(target.groupKeys & 0xFF) << 16) | (static_cast<uint32_t>(target.index & 0xFF) << 24);
}

QString describeTarget(const KeyTarget& target, const KeyConfiguration& configuration)
{
    if (target.edge < kEdgeLeft || target.edge > kEdgeTop)
        return QStringLiteral("target of no edge");
    const EdgeGroups& groups = configuration.edge(target.edge);
    int key = 1;
    for (int g = 0; g < target.group - 1 && g < kMaxGroups; ++g)
        key += groups.keys[static_cast<size_t>(g)];
    if (target.index >= 2)
        key += target.groupKeys - 1;
    return QStringLiteral("%1 key %2 (group %3), %4 corner")
        .arg(QString::fromLatin1(edgeName(target.edge)).toLower())
        .arg(key)
        .arg(target.group)
        .arg(QLatin1String(target.index % 2 == 0 ? "top-left" : "bottom-right"));
}

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

void KeyCalibrationJob::setTargetLimit(std::chrono::milliseconds limit, KeyRunClock clock)
{
    m_limit = limit;
    m_clock = clock ? std::move(clock) : KeyRunClock([] { return std::chrono::steady_clock::now(); });
}

void KeyCalibrationJob::run(const std::function<void(int)>& send)
{
    m_notTaken.reset();
    const int targets = static_cast<int>(m_depiction.targets.size());
    m_state.startRun(targets, m_width, m_height);
    calib::g_WaitFrameCount = shell::settings::waitFrameCount();
    calib::g_CalDataInitSuc = 0;
    m_extended = device::ExtendedFrameDevice.load() == 1;
    if (targets == 0)
        return;
    shell::LogF("KeyCalibrationThread::run start, %d targets\n", targets);

    if (m_state.stop.load())
        return;
    if (!device::g_bDevExist.load()) {
        send(keycode::kTargetReady);  // the window sees the frame gone and says so
        return;
    }
    if (!calib::armTouchData()) {
        send(keycode::kInitFailed);
        return;
    }
    if (!capture(send))
        return;
    finish(send);
}

bool KeyCalibrationJob::capture(const std::function<void(int)>& send)
{
    calib::TouchCapture touches(m_extended ? 1 : 0, calib::CapturePosition::Vote, "KeyCalibIndex");
    const auto edgeTypeOf = [this](int target) {
        return keyEdgeType(m_depiction.targets[static_cast<size_t>(target)].edge);
    };
    calib::TargetPlan plan;
    plan.targets = static_cast<int>(m_depiction.targets.size());
    plan.query = [this](int target) {
        return calib::TargetQuery{static_cast<uint8_t>(target),
                                  targetRecord(m_depiction.targets[static_cast<size_t>(target)], m_extended)};
    };
    // While a corner waits for its touch the frame is told the finger is
    // wanted down; right after a corner it may take the finger as lifted.
    plan.touchRelease = calib::kReleaseHeld;
    plan.firstReleaseAfter = calib::kReleaseFree;
    plan.choose = [&](calib::TouchCapture& t, int target) {
        const int edgeType = edgeTypeOf(target);
        return t.choose([edgeType](calib::SpotReport& sorted, calib::Side side) { return keySpot(sorted, side, edgeType); },
                        target);
    };
    // The finger of the last corner is still there while the key chooser
    // finds it on both cameras' spots as reported.
    plan.stillHeld = [&](calib::TouchCapture&, const calib::TouchFrame& frame, int previous) {
        const int edgeType = edgeTypeOf(previous);
        calib::SpotReport left = frame.left, right = frame.right;
        return keySpot(left, calib::Side::Left, edgeType).flag == 1 &&
               keySpot(right, calib::Side::Right, edgeType).flag == 1;
    };
    plan.kept = [this](int target, const calib::TouchCapture::Choice& choice) {
        m_oneDLeft[static_cast<size_t>(target)] = choice.left.position;
        m_oneDRight[static_cast<size_t>(target)] = choice.right.position;
        return true;
    };
    plan.paceMs = 1;  // the frame's own pace: never ask faster than a frame a millisecond
    // The time limit counts from when a target is first shown; a target
    // taken back or shown again after a retry keeps its start.
    int timedTarget = -1;
    std::chrono::steady_clock::time_point shownAt{};
    const auto inTime = [&] {
        if (!m_limit)
            return true;
        const int target = m_state.target.load();
        if (target < 0)
            return true;
        const auto now = m_clock();
        if (target != timedTarget) {
            timedTarget = target;
            shownAt = now;
            return true;
        }
        if (now - shownAt <= *m_limit)
            return true;
        m_notTaken = target;
        return false;
    };
    calib::CaptureHooks hooks;
    hooks.go = [this, inTime] { return !m_state.stop.load() && device::g_bDevExist.load() && inTime(); };
    hooks.redraw = [&send] { send(keycode::kTargetReady); };
    hooks.stop = &m_state.stop;

    calib::TargetCapture run(touches, m_state, std::move(plan), std::move(hooks));
    switch (run.run()) {
    case calib::CaptureOutcome::Captured:
        return true;
    case calib::CaptureOutcome::Interrupted:
        if (m_notTaken && !m_state.stop.load() && device::g_bDevExist.load()) {
            const KeyTarget& t = m_depiction.targets[static_cast<size_t>(*m_notTaken)];
            shell::LogF("Key calibration failed: KeyCalibIndex[%d] (%s) not taken in %lld ms\n", *m_notTaken,
                        describeTarget(t, m_depiction.configuration).toUtf8().constData(), static_cast<long long>(m_limit->count()));
            send(keycode::kProcessFailed);
            return false;
        }
        m_notTaken.reset();
        if (!m_state.stop.load() && !device::g_bDevExist.load())
            send(keycode::kTargetReady);  // the window sees the frame gone and says so
        return false;
    case calib::CaptureOutcome::QueryFailed:
    case calib::CaptureOutcome::KeepFailed:
        shell::LogF("Key calibration failed: %s\n", run.failure());
        send(keycode::kProcessFailed);
        return false;
    }
    return false;
}

void KeyCalibrationJob::finish(const std::function<void(int)>& send)
{
    auto fail = [&](const char* why) {
        shell::LogF("Key calibration failed: %s\n", why);
        send(keycode::kProcessFailed);
    };
    auto stopOrGone = [&] {
        if (m_state.stop.load())
            return true;
        if (device::g_bDevExist.load())
            return false;
        send(keycode::kTargetReady);
        return true;
    };
    m_state.progress = 0;
    send(keycode::kProgress);

    // Both units' records are read and checked before anything is written:
    // the key rectangles need the Slave's touch calibration, and a unit
    // without one would be left so by the store.
    records::CalInfo previous, previousMaster;
    if (!records::readCalibrationRecord(records::UnitId::Slave, previous))
        return fail("Slave record not read");
    if (!previous.isValid())
        return fail("Slave record has no touch calibration");
    if (!records::readCalibrationRecord(records::UnitId::Master, previousMaster))
        return fail("Master record not read");
    if (!previousMaster.isValid())
        return fail("Master record has no touch calibration");
    if (stopOrGone())
        return;

    if (m_codes.keepFrameCodes)
        shell::WriteLog("Key calibration: no Tovrin_Key.ini, the frame keeps its key codes\n");
    else if (!writeKeyCodeBlock(m_codes.block()))
        return fail("key code block not stored");
    if (stopOrGone())
        return;

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
    const StoreResult result = evaluateAndStore(slave, previous, previousMaster,
                                                keyArea(rects, width / mapper.plane, height / mapper.plane), mapper, hooks);
    switch (result) {
    case StoreResult::Stored:
        m_state.progress = 100;
        m_state.pointIndex = 0;
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
    : Worker(parent)
{
}

KeyCalibrationThread::~KeyCalibrationThread() { stopAndWait(); }

void KeyCalibrationThread::prepare(const KeyDepiction& depiction, int width, int height, const KeyCodes& codes)
{
    m_depiction = depiction;
    m_width = width;
    m_height = height;
    m_codes = codes;
}

void KeyCalibrationThread::work()
{
    if (m_switchMode.exchange(false)) {
        const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
        if (!mode.ok) {
            m_modeRefusal = mode;
            Q_EMIT sendData(keycode::kModeRefused);
            return;
        }
    }
    KeyCalibrationJob job(m_depiction, m_width, m_height, m_codes, m_state);
    if (m_limit)
        job.setTargetLimit(*m_limit);
    job.run([this](int code) { Q_EMIT sendData(code); });
    m_notTaken = job.targetNotTaken();
    m_oneDLeft = job.oneDLeft();
    m_oneDRight = job.oneDRight();
}

} // namespace tovrin::keys
