#include "calibration/run/TouchCapture.h"

#include "device/Command.h"
#include "device/DeviceOps.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <algorithm>
#include <cstdlib>

namespace tovrin::calib {

namespace {

SpotReport toReport(const std::array<device::Spot, 5>& spots, int count)
{
    SpotReport r;
    r.count = std::clamp(count, 0, kMaxSpots);
    for (int i = 0; i < r.count; ++i) {
        const device::Spot& s = spots[static_cast<size_t>(i)];
        r.spots[static_cast<size_t>(i)] = {s.position, s.width, s.strength, 1};
    }
    return r;
}

void logBackground(const char* side, const char* before, const BackgroundList& list)
{
    for (int i = 0; i < std::clamp(list.count, 0, kBackgroundSpots); ++i) {
        const Spot& s = list.spots[static_cast<size_t>(i)];
        shell::LogF("(64 array)%sPoint-> %s[%d]: %d(%d,%d)\n", side, before, i, s.position, s.width, s.strength);
    }
}

} // namespace

int readTouchFrame(std::uint8_t pointIndex, std::uint32_t screenPosition, std::uint8_t releaseByte, TouchFrame& out)
{
    device::TouchReport report;
    out = TouchFrame{};
    out.result = device::ReadTouchPoints(0, pointIndex, screenPosition, releaseByte, report);
    if (out.result == 3) {
        device::markGoneOnNoReply();
        return out.result;
    }
    out.left = toReport(report.master, report.masterCount());
    out.right = toReport(report.slave, report.slaveCount());
    return out.result;
}

TouchCapture::TouchCapture(int variantFlag, CapturePosition method, const char* logName)
    : m_variant(variantFlag)
    , m_method(method)
    , m_logName(logName)
{
}

// "[0]%d(%d,%d)   [1]..." over all five entries of a report.
void TouchCapture::logSpots(const char* stage, int index, const char* name, const SpotReport& r) const
{
    const auto& s = r.spots;
    shell::LogF("%s[%d]%s: %s-> [0]%d(%d,%d)   [1]%d(%d,%d)   [2]%d(%d,%d)   [3]%d(%d,%d)   [4]%d(%d,%d)\n", m_logName,
                index, stage, name, s[0].position, s[0].width, s[0].strength, s[1].position, s[1].width,
                s[1].strength, s[2].position, s[2].width, s[2].strength, s[3].position, s[3].width, s[3].strength,
                s[4].position, s[4].width, s[4].strength);
}

// The same with each spot's flag.
void TouchCapture::logFlaggedSpots(int index, const char* name, const SpotReport& r) const
{
    const auto& s = r.spots;
    shell::LogF("%s[%d](After the FalsePotDel): %s-> [0]%d(%d,%d,%d)   [1]%d(%d,%d,%d)   [2]%d(%d,%d,%d)   "
                "[3]%d(%d,%d,%d)   [4]%d(%d,%d,%d)\n",
                m_logName, index, name, s[0].position, s[0].width, s[0].strength, s[0].flag, s[1].position,
                s[1].width, s[1].strength, s[1].flag, s[2].position, s[2].width, s[2].strength, s[2].flag,
                s[3].position, s[3].width, s[3].strength, s[3].flag, s[4].position, s[4].width, s[4].strength,
                s[4].flag);
}

void TouchCapture::logTable(int index, const char* name, const PointTable& t) const
{
    for (int i = 0; i < kGridPoints; i += 4) {
        const auto at = [&](int k) { return t.position[static_cast<size_t>(k)]; };
        const auto set = [&](int k) { return t.set[static_cast<size_t>(k)] ? 1 : 0; };
        shell::LogF("%s[%d] g_CalPoints.%s: [%d]%d(%d), [%d]%d(%d), [%d]%d(%d), [%d]%d(%d)\n", m_logName, index, name,
                    i, at(i), set(i), i + 1, at(i + 1), set(i + 1), i + 2, at(i + 2), set(i + 2), i + 3, at(i + 3),
                    set(i + 3));
    }
}

std::uint16_t HoldTrack::robustPosition(std::uint16_t chosen) const
{
    std::array<int, kMaxHeldFrames> values{};
    int n = 0;
    for (int f = 0; f < count; ++f) {
        const SpotReport& r = frames[static_cast<size_t>(f)];
        int best = -1, bestDistance = kGate + 1;
        for (int i = 0; i < r.valid(); ++i) {
            const int d = std::abs(int(r.spots[static_cast<size_t>(i)].position) - int(chosen));
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        if (best >= 0)
            values[static_cast<size_t>(n++)] = r.spots[static_cast<size_t>(best)].position;
    }
    if (n == 0)
        return chosen;
    std::sort(values.begin(), values.begin() + n);
    const int trim = n / 4;
    long sum = 0;
    for (int i = trim; i < n - trim; ++i)
        sum += values[static_cast<size_t>(i)];
    const long kept = n - 2 * trim;
    return static_cast<std::uint16_t>((2 * sum + kept) / (2 * kept));  // nearest, halves up
}

void TouchCapture::startRun()
{
    m_bgLeft.clear();
    m_bgRight.clear();
    m_tableLeft.clear();
    m_tableRight.clear();
    restartHold();
}

void TouchCapture::restartHold()
{
    m_held = 0;
    m_historyLeft.clear();
    m_historyRight.clear();
    m_trackLeft.clear();
    m_trackRight.clear();
}

void TouchCapture::addBackground(const TouchFrame& frame)
{
    AccumulateBackground(frame.left, frame.right, m_bgLeft, m_bgRight);
}

int TouchCapture::feed(const TouchFrame& frame, int logIndex)
{
    if (!frame.both()) {
        m_held = 0;
        return 0;
    }
    if (++m_held == 1) {
        m_historyLeft.clear();
        m_historyRight.clear();
        m_trackLeft.clear();
        m_trackRight.clear();
    }
    m_historyLeft.push(frame.left);
    m_historyRight.push(frame.right);
    m_trackLeft.push(frame.left);
    m_trackRight.push(frame.right);
    if (frame.left.valid() >= 2 || frame.right.valid() >= 2) {
        const std::string prefix = "(g_WaitFrameCount=" + std::to_string(m_held) + ")";
        logSpots(prefix.c_str(), logIndex, "OneD_leftPoint", frame.left);
        logSpots(prefix.c_str(), logIndex, "OneD_rightPoint", frame.right);
    }
    return m_held;
}

TouchCapture::Choice TouchCapture::choose(int gridIndex, int columnType, int logIndex)
{
    const Choice c = chooseWith(
        [&](SpotReport& sorted, Side side) {
            return FalsePotDel(side == Side::Left ? m_bgLeft : m_bgRight, sorted, side, columnType,
                               side == Side::Left ? m_tableLeft : m_tableRight, gridIndex, SpotMode::Capture,
                               m_variant);
        },
        logIndex, ChoiceLog::WithFlags);
    m_tablesUsed = true;
    return c;
}

TouchCapture::Choice TouchCapture::choose(const SpotChooser& chooser, int logIndex)
{
    m_tablesUsed = false;
    return chooseWith(chooser, logIndex, ChoiceLog::PositionsOnly);
}

TouchCapture::Choice TouchCapture::chooseWith(const SpotChooser& chooser, int logIndex, ChoiceLog line)
{
    m_sortedLeft = VoteAndSort(m_historyLeft);
    m_sortedRight = VoteAndSort(m_historyRight);
    shell::LogF("%s[%d](After the sorting): leftIndex-> %d   rightIndex-> %d \n", m_logName, logIndex,
                m_sortedLeft.valid(), m_sortedRight.valid());
    logSpots("(After the sorting)", logIndex, "OneD_leftPoint", m_sortedLeft);
    logSpots("(After the sorting)", logIndex, "OneD_rightPoint", m_sortedRight);

    Choice c;
    c.left = chooser(m_sortedLeft, Side::Left);
    c.right = chooser(m_sortedRight, Side::Right);
    c.leftFound = c.left.flag == 1;
    c.rightFound = c.right.flag == 1;
    if (m_method == CapturePosition::Average) {
        if (c.leftFound)
            c.left.position = m_trackLeft.robustPosition(c.left.position);
        if (c.rightFound)
            c.right.position = m_trackRight.robustPosition(c.right.position);
    }
    logFlaggedSpots(logIndex, "OneD_leftPoint", m_sortedLeft);
    logFlaggedSpots(logIndex, "OneD_rightPoint", m_sortedRight);
    if (line == ChoiceLog::WithFlags)
        shell::LogF("%s[%d](After the FalsePotDel): Choose_Point: [leftPoint]%d(%d)   [rightPoint]%d(%d)\n\n",
                    m_logName, logIndex, c.left.position, c.left.flag, c.right.position, c.right.flag);
    else
        shell::LogF("%s[%d](After the FalsePotDel): Choose_Point: [leftPoint]%d   [rightPoint]%d\n\n", m_logName,
                    logIndex, c.leftFound ? c.left.position : 0, c.rightFound ? c.right.position : 0);
    return c;
}

void TouchCapture::keepChoice(int logIndex)
{
    if (m_tablesUsed) {
        logTable(logIndex, "LImg", m_tableLeft);
        logTable(logIndex, "RImg", m_tableRight);
    }
    AccumulateDeletedSpots(m_sortedLeft, m_bgLeft);
    AccumulateDeletedSpots(m_sortedRight, m_bgRight);
    m_lastRelease = {};  // the release wait of this point begins
    shell::LogF("(64 array)leftPointTotal = %d, rightPointTotal = %d\n", m_bgLeft.count, m_bgRight.count);
    logBackground("left", "leftBefore", m_bgLeft);
    logBackground("right", "rightBefore", m_bgRight);
}

namespace {

int unexplainedSpots(const SpotReport& r, const BackgroundList& background, bool nearCamera)
{
    std::array<Spot, kMaxSpots> left{};
    int n = 0;
    const int nb = std::clamp(background.count, 0, kBackgroundSpots);
    for (int i = 0; i < r.valid(); ++i) {
        const Spot& s = r.spots[static_cast<size_t>(i)];
        if (s.position < kRangeLow || s.position >= kRangeLimit)
            continue;
        bool known = false;
        for (int k = 0; k < nb && !known; ++k) {
            const Spot& bg = background.spots[static_cast<size_t>(k)];
            known = std::abs(int(s.position) - int(bg.position)) <= 1 && std::abs(int(s.width) - int(bg.width)) < 2;
        }
        if (!known)
            left[static_cast<size_t>(n++)] = s;
    }
    if (n == 2 && nearCamera && splitFinger(left[0], left[1]))
        return 1;
    return n;
}

} // namespace

bool TouchCapture::moreThanOneFinger(int gridIndex) const
{
    const int frames = std::min(m_held, kHistoryFrames);
    if (frames == 0)
        return false;
    int seen[2] = {0, 0};
    for (int f = kHistoryFrames - frames; f < kHistoryFrames; ++f) {
        const auto at = static_cast<size_t>(f);
        // The split of a finger close to its camera is merged only where the
        // spot choice merges it (variant 0, the point nearest that camera).
        if (unexplainedSpots(m_historyLeft.frames[at], m_bgLeft, m_variant == 0 && gridIndex == 0) >= 2)
            ++seen[0];
        if (unexplainedSpots(m_historyRight.frames[at], m_bgRight, m_variant == 0 && gridIndex == 3) >= 2)
            ++seen[1];
    }
    if (4 * seen[0] <= frames && 4 * seen[1] <= frames)
        return false;
    shell::LogF("%s: more spots than one finger at point %d: left in %d, right in %d of %d held frames\n", m_logName,
                gridIndex, seen[0], seen[1], frames);
    return true;
}

bool TouchCapture::stillHeld(const TouchFrame& frame, int previousIndex, int columnType)
{
    if (!frame.both())
        return false;
    TouchHistory left, right;
    left.push(frame.left);
    right.push(frame.right);
    SpotReport sortedLeft = VoteAndSort(left);
    SpotReport sortedRight = VoteAndSort(right);
    ReleaseCheck l, r;
    l.flag = FalsePotDel(m_bgLeft, sortedLeft, Side::Left, columnType, m_tableLeft, previousIndex,
                         SpotMode::Release, m_variant, &l.trail)
                 .flag;
    r.flag = FalsePotDel(m_bgRight, sortedRight, Side::Right, columnType, m_tableRight, previousIndex,
                         SpotMode::Release, m_variant, &r.trail)
                 .flag;
    // A finger held for seconds is checked at every frame: the log keeps
    // the changes, not thousands of equal lines.
    for (size_t side = 0; side < 2; ++side) {
        const ReleaseCheck& now = side == 0 ? l : r;
        if (now == m_lastRelease[side])
            continue;
        m_lastRelease[side] = now;
        logFalsePotDelTrail(now.trail);
    }
    return l.flag == 1 && r.flag == 1;
}

void TouchCapture::forgetFrom(int gridIndex)
{
    for (int i = std::max(0, gridIndex); i < kGridPoints; ++i) {
        m_tableLeft.set[static_cast<size_t>(i)] = false;
        m_tableRight.set[static_cast<size_t>(i)] = false;
    }
    restartHold();
}

ReleaseResult waitForRelease(std::uint8_t pointIndex, std::uint32_t position, std::uint8_t firstRelease,
                             const std::function<bool(const TouchFrame&)>& stillHeld,
                             const std::function<bool()>& interrupted,
                             const std::function<void(const TouchFrame&)>& seen)
{
    std::uint8_t release = firstRelease;
    for (;;) {
        if (interrupted && interrupted())
            return ReleaseResult::Interrupted;
        TouchFrame frame;
        if (readTouchFrame(pointIndex, position, release, frame) == 3)
            return ReleaseResult::Failed;
        if (seen)
            seen(frame);
        if (frame.result != 2)
            return ReleaseResult::Released;
        release = stillHeld && stillHeld(frame) ? kReleaseHeld : kReleaseFree;
    }
}

} // namespace tovrin::calib
