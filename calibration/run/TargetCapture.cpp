#include "calibration/run/TargetCapture.h"

#include "device/DeviceOps.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"

#include <algorithm>

namespace tovrin::calib {

bool armTouchData()
{
    if (!device::ArmTouchData()) {
        device::markGoneOnNoReply();
        g_CalDataInitSuc = 0;
        return false;
    }
    g_CalDataInitSuc = 1;
    device::g_isDeviceCommunicate = 1;
    return true;
}

TargetCapture::TargetCapture(TouchCapture& touches, CalibrationRunState& state, TargetPlan plan, CaptureHooks hooks)
    : m_touches(touches)
    , m_state(state)
    , m_plan(std::move(plan))
    , m_hooks(std::move(hooks))
{
}

bool TargetCapture::query(int target, std::uint8_t release, TouchFrame& frame)
{
    ++m_queries;
    const TargetQuery q = m_plan.query(target);
    const int result = readTouchFrame(q.pointIndex, q.position, release, frame);
    m_state.leftCount = frame.left.valid();
    m_state.rightCount = frame.right.valid();
    if (m_plan.paceMs > 0)
        sleepMs(m_plan.paceMs);
    return result != 3;
}

void TargetCapture::showTarget(int target)
{
    m_state.target = target;
    // One redraw request at a time: the window clears the flag when it
    // paints, so a slow window is never flooded.
    if (m_state.repaint.exchange(1) == 0 && m_hooks.redraw)
        m_hooks.redraw();
}

CaptureOutcome TargetCapture::failed(const char* what)
{
    m_failure = what;
    return CaptureOutcome::QueryFailed;
}

CaptureOutcome TargetCapture::run()
{
    m_touches.startRun();
    for (int pass = 0; pass < kIdlePasses; ++pass) {
        if (!go())
            return CaptureOutcome::Interrupted;
        if (m_plan.paceMs > 0)
            sleepMs(m_plan.paceMs);
    }
    if (const CaptureOutcome o = background(); o != CaptureOutcome::Captured)
        return o;
    const CaptureOutcome o = targets();
    if (o == CaptureOutcome::Captured)
        m_state.target = -1;
    return o;
}

CaptureOutcome TargetCapture::background()
{
    // What the cameras see while nobody touches.
    TouchFrame frame;
    for (int f = 1; f <= kBackgroundFrames; ++f) {
        if (!go())
            return CaptureOutcome::Interrupted;
        if (!query(0, m_plan.touchRelease, frame))
            return failed("a touch query of the background failed");
        if (f >= 3)
            m_touches.addBackground(frame);
        if (f == kBackgroundFrames - 1)
            showTarget(0);
    }
    return CaptureOutcome::Captured;
}

CaptureOutcome TargetCapture::targets()
{
    TouchFrame frame;
    int i = 0;
    while (i < m_plan.targets) {
        if (!go())
            return CaptureOutcome::Interrupted;
        if (const int now = m_state.pointIndex.load(); now != i) {
            // The window took a target back: capture it again.
            i = std::clamp(now, 0, m_plan.targets - 1);
            m_touches.restartHold();
            if (m_plan.takenBack)
                m_plan.takenBack(m_touches, i);
            m_state.heldFrames = 0;
            continue;
        }
        showTarget(i);
        if (!query(i, m_plan.touchRelease, frame))
            return failed("a touch query failed");
        const int held = m_touches.feed(frame, i);
        m_state.heldFrames = held;
        if (held < g_WaitFrameCount.load())
            continue;

        const TouchCapture::Choice choice = m_plan.choose(m_touches, i);
        m_state.leftFound = choice.leftFound ? 1 : 0;
        m_state.rightFound = choice.rightFound ? 1 : 0;
        m_touches.restartHold();
        m_state.heldFrames = 0;
        if (choice.moreFingers) {
            // Which spot is the finger would be a guess: the person is asked
            // to touch with one finger, and the hold starts again.
            m_state.request = PersonRequest::OneFinger;
            showTarget(i);
            continue;
        }
        if (!choice.both()) {
            // A camera found nothing: the person touches again.
            showTarget(i);
            continue;
        }
        m_touches.keepChoice(i);
        m_state.request = PersonRequest::None;
        if (m_plan.kept && !m_plan.kept(i, choice)) {
            m_failure = "the captured target could not be kept";
            return CaptureOutcome::KeepFailed;
        }
        if (!sleepMsUnless(kPointPauseMs, m_hooks.stop))
            return CaptureOutcome::Interrupted;
        int expected = i;
        if (!m_state.pointIndex.compare_exchange_strong(expected, i + 1))
            continue;  // taken back meanwhile: the loop picks the new index up
        ++i;
        if (i >= m_plan.targets)
            break;
        // The next target is shown; the finger of the previous one must go first.
        const int previous = i - 1;
        const TargetQuery q = m_plan.query(i);
        int stayed = 0;  // frames the finger has stayed since its point was taken
        const ReleaseResult released = waitForRelease(
            q.pointIndex, q.position, m_plan.firstReleaseAfter,
            [&](const TouchFrame& seen) { return m_plan.stillHeld && m_plan.stillHeld(m_touches, seen, previous); },
            [&] {
                if (!go() || m_state.pointIndex.load() != i)
                    return true;
                showTarget(i);
                ++m_queries;
                return false;
            },
            [&](const TouchFrame& seen) {
                m_state.leftCount = seen.left.valid();
                m_state.rightCount = seen.right.valid();
                // A finger that stays long after its point was taken is
                // asked to lift; the next target waits for that.
                if (seen.result == 2 && ++stayed == kLiftRequestFrames)
                    m_state.request = PersonRequest::LiftFinger;
                if (m_plan.paceMs > 0)
                    sleepMs(m_plan.paceMs);
            });
        if (m_state.request.load() == PersonRequest::LiftFinger)
            m_state.request = PersonRequest::None;
        if (released == ReleaseResult::Failed)
            return failed("a touch query of the release wait failed");
    }
    return CaptureOutcome::Captured;
}

} // namespace tovrin::calib
