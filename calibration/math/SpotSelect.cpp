#include "calibration/math/SpotSelect.h"

#include "shell/Log.h"

#include <algorithm>
#include <cstdlib>

namespace tovrin::calib {

void TouchHistory::push(const SpotReport& report)
{
    std::move(frames.begin() + 1, frames.end(), frames.begin());
    frames.back() = report;
}

void addBackgroundSpot(BackgroundList& list, const Spot& spot)
{
    const int n = std::clamp(list.count, 0, kBackgroundSpots);
    for (int i = 0; i < n; ++i) {
        Spot& b = list.spots[static_cast<std::size_t>(i)];
        if (b.position == spot.position) {
            b.width = std::max(b.width, spot.width);
            b.strength = std::max(b.strength, spot.strength);
            return;
        }
    }
    if (n < kBackgroundSpots) {
        list.spots[static_cast<std::size_t>(n)] = spot;
        list.count = n + 1;
    }
}

void AccumulateBackground(const SpotReport& left, const SpotReport& right, BackgroundList& leftList,
                          BackgroundList& rightList)
{
    const int nl = left.valid(), nr = right.valid();
    if (nl * nr != 0 || nl + nr == 0)
        return;
    const SpotReport& seen = nl ? left : right;
    BackgroundList& list = nl ? leftList : rightList;
    for (int i = 0; i < seen.valid(); ++i)
        addBackgroundSpot(list, seen.spots[static_cast<std::size_t>(i)]);
}

void AccumulateDeletedSpots(const SpotReport& sorted, BackgroundList& list)
{
    for (int i = 0; i < sorted.valid(); ++i)
        if (sorted.spots[static_cast<std::size_t>(i)].flag == 0)
            addBackgroundSpot(list, sorted.spots[static_cast<std::size_t>(i)]);
}

SpotReport VoteAndSort(const TouchHistory& history)
{
    SpotReport out;
    const SpotReport& newest = history.frames.back();
    for (int s = 0; s < newest.valid(); ++s) {
        const int p = newest.spots[static_cast<std::size_t>(s)].position;
        int count[3] = {0, 0, 0};
        std::uint16_t width[3] = {0, 0, 0}, strength[3] = {0, 0, 0};
        for (const SpotReport& frame : history.frames)
            for (int i = 0; i < frame.valid(); ++i) {
                const Spot& spot = frame.spots[static_cast<std::size_t>(i)];
                const int d = spot.position - p;
                if (d < -1 || d > 1)
                    continue;
                ++count[d + 1];
                width[d + 1] = std::max(width[d + 1], spot.width);
                strength[d + 1] = std::max(strength[d + 1], spot.strength);
            }
        // Ties go to the larger position.
        int k = 2;
        if (count[0] > count[1] && count[0] > count[2])
            k = 0;
        else if (count[1] > count[2])
            k = 1;
        // A spot at p always counts itself, so p - 1 only wins above 0 and
        // p + 1 only when a spot was seen there: k stays a 16-bit position.
        out.spots[static_cast<std::size_t>(out.count++)] = {static_cast<std::uint16_t>(p - 1 + k), width[k],
                                                            strength[k], 1};
    }
    // Selection by width: the widest moves to the front and the spots it
    // passes move back one place, so equal widths keep their order.
    for (int i = 0; i < out.count; ++i) {
        int best = i;
        for (int j = i + 1; j < out.count; ++j)
            if (out.spots[static_cast<std::size_t>(j)].width > out.spots[static_cast<std::size_t>(best)].width)
                best = j;
        std::rotate(out.spots.begin() + i, out.spots.begin() + best, out.spots.begin() + best + 1);
    }
    return out;
}

namespace {

bool inMiddleRange(const Spot& s) { return s.position >= 100 && s.position <= 1000; }

// Distance from the sensor's middle, doubled: |position / 2 - 320| x 2.
int middleDistance(const Spot& s) { return std::abs(int(s.position) - 640); }

struct Decision {
    bool decided = false;
    Spot result;
};

} // namespace

bool splitFinger(const Spot& a, const Spot& b)
{
    if (!inMiddleRange(a) || !inMiddleRange(b))
        return false;
    const int gap = std::abs(int(a.position) - int(b.position)) - a.width - b.width;
    const int wMax = std::max(a.width, b.width), wMin = std::min(a.width, b.width);
    const int sMax = std::max(a.strength, b.strength), sMin = std::min(a.strength, b.strength);
    return gap < 64 && wMax < 3 * wMin && wMin >= 9 && sMax < 2 * sMin;
}

void logFalsePotDelTrail(const FalsePotDelTrail& debugTemp)
{
    shell::LogF("FalsePotDel:debugTemp[0] = %d, debugTemp[1] = %d, debugTemp[2] = %d, debugTemp[3] = %d, "
                "debugTemp[4] = %d, debugTemp[5] = %d\n",
                debugTemp[0], debugTemp[1], debugTemp[2], debugTemp[3], debugTemp[4], debugTemp[5]);
}

Spot FalsePotDel(const BackgroundList& background, SpotReport& sorted, Side side, int columnType,
                 PointTable& table, int pointIndex, SpotMode mode, int variantFlag, FalsePotDelTrail* trail)
{
    FalsePotDelTrail debugTemp{};
    const int n = sorted.valid();
    Spot* spots = sorted.spots.data();
    const bool capture = mode == SpotMode::Capture;
    const bool left = side == Side::Left;
    const Spot none = n > 0 ? Spot{spots[0].position, spots[0].width, spots[0].strength, 0} : Spot{};

    auto finish = [&](Spot result) {
        if (capture && result.flag == 1 && pointIndex >= 0 && pointIndex < kGridPoints) {
            table.position[static_cast<std::size_t>(pointIndex)] = result.position;
            table.set[static_cast<std::size_t>(pointIndex)] = true;
        }
        if (trail)
            *trail = debugTemp;
        else
            logFalsePotDelTrail(debugTemp);
        return result;
    };
    auto isSet = [&](int i) { return i >= 0 && i < kGridPoints && table.set[static_cast<std::size_t>(i)]; };
    auto posOf = [&](int i) { return int(table.position[static_cast<std::size_t>(i)]); };
    // Keep only `keep` flagged; the result is the one kept spot.
    auto only = [&](int keep) {
        for (int i = 0; i < n; ++i)
            spots[i].flag = i == keep ? 1 : 0;
        return spots[keep];
    };

    if (pointIndex < 0 || pointIndex >= kGridPoints)
        return finish(none);

    // 1-2. Range test. The limit in capture mode is the far point already
    // captured (point 3 on the left camera, point 0 on the right one).
    int limit = kRangeLimit;
    if (capture && left && table.set[3])
        limit = table.position[3];
    if (capture && !left && table.set[0])
        limit = table.position[0];
    int candidates[kMaxSpots];
    int nc = 0;
    for (int i = 0; i < n; ++i) {
        if (spots[i].position >= limit || spots[i].position < kRangeLow) {
            spots[i].flag = 0;
            debugTemp[1] = 1;
        } else {
            spots[i].flag = 1;
            candidates[nc++] = i;
            debugTemp[0] = 1;
        }
    }

    // 3. No candidate. The far point itself may lie beyond every limit: there
    // the spot nearest to the sensor's middle is taken.
    if (nc == 0) {
        debugTemp[2] = 1;
        const bool farPoint = (left && pointIndex == 3) || (!left && pointIndex == 0);
        if (capture && farPoint && n > 0) {
            int best = 0;
            for (int i = 1; i < n; ++i)
                if (middleDistance(spots[i]) < middleDistance(spots[best]))
                    best = i;
            spots[best].flag = 1;
            return finish(spots[best]);
        }
        return finish(none);
    }

    // 4. One candidate.
    if (nc == 1) {
        debugTemp[3] = 1;
        return finish(spots[candidates[0]]);
    }

    // 5. Neighbour rules against points already captured.
    debugTemp[4] = pointIndex * 10;
    auto keepAmong = [&](const int* from, int count, auto pred, int* kept) {
        int k = 0;
        for (int i = 0; i < count; ++i)
            if (pred(int(spots[from[i]].position)))
                kept[k++] = from[i];
        return k;
    };
    Decision d;
    // Points 1-3 and 4, 8, 12 have one captured neighbour to go by: only the
    // spots on one side of its position stay (larger positions for the left
    // camera along the first row, smaller ones otherwise).
    auto byOneNeighbour = [&](int ref, bool larger) {
        if (!isSet(ref))
            return;
        int kept[kMaxSpots];
        const int rp = posOf(ref);
        const int k = larger ? keepAmong(candidates, nc, [rp](int p) { return p > rp; }, kept)
                             : keepAmong(candidates, nc, [rp](int p) { return p < rp; }, kept);
        // None kept: nothing here is the finger. Several: undecided.
        d.decided = k <= 1;
        d.result = k == 1 ? only(kept[0]) : none;
    };
    if (pointIndex >= 1 && pointIndex <= 3) {
        byOneNeighbour(pointIndex - 1, left);
    } else if (pointIndex == 4 || pointIndex == 8 || pointIndex == 12) {
        byOneNeighbour(pointIndex - 4, false);
    } else if (pointIndex != 0) {
        const int prev = pointIndex - 1, above = pointIndex - 4;
        int kept[kMaxSpots];
        if (!left) {
            const int ref = isSet(prev) ? prev : (isSet(above) ? above : -1);
            if (ref >= 0) {
                const int rp = posOf(ref);
                if (keepAmong(candidates, nc, [rp](int p) { return p < rp; }, kept) == 1) {
                    d.decided = true;
                    d.result = only(kept[0]);
                }
            }
        } else if (isSet(prev)) {
            const int pp = posOf(prev);
            int k = keepAmong(candidates, nc, [pp](int p) { return p > pp; }, kept);
            if (k > 1 && isSet(above)) {
                int narrowed[kMaxSpots];
                const int ap = posOf(above);
                k = keepAmong(kept, k, [ap](int p) { return p < ap; }, narrowed);
                if (k == 1)
                    kept[0] = narrowed[0];
            } else if (k > 1) {
                k = 0;  // the second filter needs the point above
            }
            if (k == 1) {
                d.decided = true;
                d.result = only(kept[0]);
            }
        }
    }
    if (d.decided)
        return finish(d.result);

    // 6. Generic choice among the candidates (widest first).
    debugTemp[5] = 1;
    const int first = candidates[0];
    if (nc >= 2) {
        Spot& a = spots[candidates[0]];
        const Spot& b = spots[candidates[1]];
        const bool nearPoint = (left && pointIndex == 0) || (!left && pointIndex == 3);
        // A finger close to its camera can show as two spots with a gap.
        if (variantFlag == 0 && nearPoint) {
            if (splitFinger(a, b)) {
                const int wFar = b.position > a.position ? b.width : a.width;
                const int wNear = b.position > a.position ? a.width : b.width;
                const int merged = (int(a.position) + int(b.position) + wFar - wNear) / 2;
                // Widths beyond any real spot could push the middle off the
                // sensor; such a pair is not merged.
                if (merged >= 0 && merged < 2 * 640) {
                    a.position = static_cast<std::uint16_t>(merged);
                    return finish(only(candidates[0]));
                }
            }
        }
        // One clearly dominant spot.
        if (inMiddleRange(a) && inMiddleRange(b) &&
            ((a.width >= 10 && b.width < 4) || (b.width >= 4 && a.width >= 3 * b.width)))
            return finish(only(candidates[0]));
        // The far side of the screen never lies near this camera's axis.
        const bool farSide = (left && columnType == LastColumn) || (!left && columnType == FirstColumn);
        for (int c = 0; c < nc; ++c) {
            Spot& s = spots[candidates[c]];
            if (farSide && s.position < 500)
                s.flag = 0;
            const int nb = std::clamp(background.count, 0, kBackgroundSpots);
            for (int i = 0; i < nb && s.flag; ++i) {
                const Spot& bg = background.spots[static_cast<std::size_t>(i)];
                if (std::abs(int(s.position) - int(bg.position)) <= 1 && std::abs(int(s.width) - int(bg.width)) < 2)
                    s.flag = 0;
            }
        }
        int best = -1;
        for (int c = 0; c < nc; ++c) {
            const int i = candidates[c];
            if (spots[i].flag && (best < 0 || middleDistance(spots[i]) < middleDistance(spots[best])))
                best = i;
        }
        if (best >= 0)
            return finish(only(best));
    }
    // Nothing left: the widest candidate stays the result.
    spots[first].flag = 1;
    return finish(spots[first]);
}

} // namespace tovrin::calib
