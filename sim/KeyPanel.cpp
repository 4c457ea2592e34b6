#include "sim/KeyPanel.h"

#include "sim/SimBytes.h"
#include "sim/TouchMapping.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {

// Where the frame's firmware finds the key layout in the Slave calibration
// record (1354 bytes):
//   830 key counts: left, bottom, right, top (u8 each)
//   834 left rectangles (22 x 8)   1010 bottom (2 x 8)
//   1026 right (22 x 8)            1202 top (2 x 8)
//   rectangle: TopLeft x, y, BottomRight x, y (s16 each)
constexpr size_t kKeyCounts = 830;
constexpr size_t kLeftRects = 834, kBottomRects = 1010, kRightRects = 1026, kTopRects = 1202;

constexpr uint8_t kKeyRecordFlags = 0xC0;  // 0x40, or 0x80 on an extended frame

// The parts of each camera's line the key calibration takes key spots from
// (half pixels), kept clear of by a margin for the frame's noise.
constexpr int kNearFirst = 0, kNearLast = 900, kFarFirst = 600, kFarLast = 1220;
constexpr int kClearance = 30;

int16_t s16(const uint8_t* p) { return static_cast<int16_t>(readU16le(p)); }

// Keys of an edge laid out along [from, to]: every key two units long, one
// unit between keys, a unit and a half more between groups.
std::vector<std::pair<double, double>> alongEdge(const std::vector<int>& groups, double from, double to)
{
    int n = 0;
    for (int g : groups)
        n += std::max(0, g);
    std::vector<std::pair<double, double>> spans;
    if (n == 0 || !(to > from))
        return spans;
    const double units = 3.0 * n + 1.5 * (static_cast<double>(groups.size()) - 1.0);
    const double unit = (to - from) / units;
    double at = from + 0.5 * unit;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (g > 0)
            at += 1.5 * unit;
        for (int k = 0; k < groups[g]; ++k) {
            spans.emplace_back(at, at + 2.0 * unit);
            at += 3.0 * unit;
        }
    }
    return spans;
}

bool anyKeys(const KeyPanel::EdgeGroups& groups)
{
    return std::any_of(groups.begin(), groups.end(), [](const std::vector<int>& edge) {
        return std::any_of(edge.begin(), edge.end(), [](int keys) { return keys > 0; });
    });
}

bool within(double p, int first, int last) { return p >= first + kClearance && p <= last - kClearance; }

// Both cameras see a point of an edge's key inside the parts of their lines
// the key calibration looks at: the left camera is near the left keys, the
// right camera near the others.
bool takeable(const Optics& optics, int edge, double x, double y)
{
    const auto left = optics.position(Side::Left, x, y);
    const auto right = optics.position(Side::Right, x, y);
    if (!left || !right)
        return false;
    const double near = edge == 1 ? *left : *right;
    const double far = edge == 1 ? *right : *left;
    return within(near, kNearFirst, kNearLast) && within(far, kFarFirst, kFarLast);
}

// The longest stretch [from, to] of an edge's strip where every key point
// across the strip is takeable.
std::optional<std::pair<double, double>> takeableStretch(const Optics& optics, int edge, double alongFrom,
                                                        double alongTo, double crossFrom, double crossTo)
{
    const bool vertical = edge == 1 || edge == 2;  // the strip runs down the screen
    auto fits = [&](double t) {
        for (double f : {0.0, 0.5, 1.0}) {
            const double c = crossFrom + f * (crossTo - crossFrom);
            if (!(vertical ? takeable(optics, edge, c, t) : takeable(optics, edge, t, c)))
                return false;
        }
        return true;
    };
    std::optional<std::pair<double, double>> best;
    bool inRun = false;
    double runStart = 0.0;
    constexpr double kStep = 0.5;
    const int steps = static_cast<int>((alongTo - alongFrom) / kStep);
    for (int i = 0; i <= steps + 1; ++i) {
        const double t = alongFrom + i * kStep;
        const bool ok = i <= steps && fits(t);
        if (ok && !inRun) {
            inRun = true;
            runStart = t;
        }
        if (!ok && inRun) {
            const double end = t - kStep;
            if (!best || end - runStart > best->second - best->first)
                best = std::make_pair(runStart, end);
            inRun = false;
        }
    }
    if (best && best->second - best->first > 2.0)
        return std::make_pair(best->first + 1.0, best->second - 1.0);
    return std::nullopt;
}

} // namespace

bool isKeyTargetRecord(uint32_t record)
{
    const uint8_t edgeByte = record & 0xFF;
    const int edge = edgeByte & 0x3F;
    const int group = (record >> 8) & 0xFF;
    const int keys = (record >> 16) & 0xFF;
    const int corner = (record >> 24) & 0xFF;
    return (edgeByte & kKeyRecordFlags) != 0 && edge >= 1 && edge <= 4 && group >= 1 && group <= 3 && keys >= 1 &&
           keys <= 22 && corner <= 3;
}

KeyPanel::KeyPanel(Fingers& finger)
    : m_finger(finger)
{
    m_finger.readTargetsWith([this](uint32_t word, const Optics& optics) { return readTarget(word, optics); });
}

KeyPanel::~KeyPanel()
{
    m_finger.readTargetsWith({});
}

void KeyPanel::printKeys(const EdgeGroups& groups)
{
    std::optional<std::pair<int, int>> pending;
    {
        std::lock_guard lock(m_mutex);
        m_groups = groups;
        pending = m_pendingPress;
    }
    if (pending)
        pressWhenPrinted(pending->first, pending->second);
}

bool KeyPanel::hasPrintedKeys() const
{
    std::lock_guard lock(m_mutex);
    return anyKeys(m_groups);
}

KeyPanel::Layout KeyPanel::layOut(const EdgeGroups& groups, const Optics& optics)
{
    // Each edge's strip lies between the picture and the cameras' corners.
    const double w = optics.width(), h = optics.height();
    const PlanePoint camL = optics.camera(Side::Left), camR = optics.camera(Side::Right);
    const double margin = -std::max(camL.y, camR.y);
    struct Strip {
        double alongFrom, alongTo, crossFrom, crossTo;
    };
    const Strip strips[4] = {
        {0.02 * h, 0.98 * h, 0.8 * camL.x, 0.2 * camL.x},
        {0.02 * h, 0.98 * h, w + 0.2 * (camR.x - w), w + 0.8 * (camR.x - w)},
        {0.02 * w, 0.98 * w, h + 0.2 * margin, h + 0.8 * margin},
        {camL.x, camR.x, -0.4 * margin, -0.12 * margin},
    };
    Layout keys;
    for (int e = 0; e < 4; ++e) {
        const std::vector<int>& edgeGroups = groups[static_cast<size_t>(e)];
        if (std::none_of(edgeGroups.begin(), edgeGroups.end(), [](int k) { return k > 0; }))
            continue;
        const Strip& s = strips[e];
        // The top keys sit along the middle half of the top edge, where the
        // windows draw them: both cameras look along that edge and see every
        // point of the strip.
        const auto stretch = e == 3 ? std::make_optional(std::make_pair(0.25 * w, 0.75 * w))
                                    : takeableStretch(optics, e + 1, s.alongFrom, s.alongTo, s.crossFrom, s.crossTo);
        if (!stretch)
            continue;  // no place on this edge where both cameras take a key
        for (auto [from, to] : alongEdge(edgeGroups, stretch->first, stretch->second)) {
            if (e < 2)
                keys[static_cast<size_t>(e)].push_back({s.crossFrom, from, s.crossTo, to});
            else
                keys[static_cast<size_t>(e)].push_back({from, s.crossFrom, to, s.crossTo});
        }
    }
    return keys;
}

const KeyPanel::Layout& KeyPanel::layoutLocked(const Optics& optics) const
{
    const bool same = m_cache && m_cache->groups == m_groups && m_cache->config == optics.config() &&
                      m_cache->width == optics.width() && m_cache->height == optics.height() &&
                      m_cache->family == optics.lensFamily();
    if (!same)
        m_cache = Cached{m_groups, optics.config(), optics.width(), optics.height(), optics.lensFamily(),
                         layOut(m_groups, optics)};
    return m_cache->layout;
}

KeyPanel::Layout KeyPanel::layout() const
{
    // The fingers first, then the panel's own lock (never the other way).
    const Optics optics = m_finger.optics(m_finger.lensFamily());
    std::lock_guard lock(m_mutex);
    return layoutLocked(optics);
}

void KeyPanel::pressWhenPrinted(int edge, int number)
{
    {
        std::lock_guard lock(m_mutex);
        m_pendingPress = std::make_pair(edge, number);
    }
    if (const auto at = keyPoint(edge, number)) {
        m_finger.press(at->x, at->y);
        std::lock_guard lock(m_mutex);
        m_pendingPress.reset();
    }
}

std::vector<PrintedKey> KeyPanel::printedKeys(int edge) const
{
    if (edge < 1 || edge > 4)
        return {};
    return layout()[static_cast<size_t>(edge - 1)];
}

std::optional<PrintedKey> KeyPanel::printedKey(int edge, int number) const
{
    const auto list = printedKeys(edge);
    if (number < 1 || number > static_cast<int>(list.size()))
        return std::nullopt;
    return list[static_cast<size_t>(number - 1)];
}

std::optional<ScreenPointF> KeyPanel::keyPoint(int edge, int number, double fx, double fy) const
{
    const auto key = printedKey(edge, number);
    if (!key)
        return std::nullopt;
    return ScreenPointF{key->left + fx * (key->right - key->left), key->top + fy * (key->bottom - key->top)};
}

void KeyPanel::setFeatureReportId(std::optional<uint8_t> id)
{
    std::lock_guard lock(m_mutex);
    m_featureId = id;
}

TargetPlace KeyPanel::readTarget(uint32_t record, const Optics& optics) const
{
    // Called with the fingers' lock held: only the panel's own state here.
    std::lock_guard lock(m_mutex);
    // Without printed keys the word is a screen point (a touch calibration
    // of a small picture can look like a record).
    if (!anyKeys(m_groups) || !isKeyTargetRecord(record))
        return {};
    TargetPlace place;
    place.named = true;
    const int edge = record & 0x3F;
    const int group = (record >> 8) & 0xFF;
    const int keys = (record >> 16) & 0xFF;
    const int corner = (record >> 24) & 0xFF;
    const auto& groups = m_groups[static_cast<size_t>(edge - 1)];
    if (group < 1 || group > static_cast<int>(groups.size()))
        return place;
    int first = 0;
    for (int g = 0; g < group - 1; ++g)
        first += groups[static_cast<size_t>(g)];
    const int index = first + (corner < 2 ? 0 : keys - 1);
    const auto& list = layoutLocked(optics)[static_cast<size_t>(edge - 1)];
    if (index < 0 || index >= static_cast<int>(list.size()))
        return place;
    const PrintedKey& k = list[static_cast<size_t>(index)];
    place.at = corner % 2 == 0 ? ScreenPointF{k.left, k.top} : ScreenPointF{k.right, k.bottom};
    return place;
}

void KeyPanel::featureReport(const KeyFirmwareView& view, uint8_t* report)
{
    const std::optional<FingerSight> sight = m_finger.sight(view.lensFamily);
    std::lock_guard lock(m_mutex);
    if (m_featureId)
        report[0] = *m_featureId;
    const std::span<const uint8_t> record = view.slaveRecord;
    if (!sight || view.mode != kModeWork || record.size() < kCalibrationRecordSize ||
        readU32le(record.data()) != kCalibrationValidWord)
        return;
    const StoredSolution solution = readSolution(record, kKeySolutionOffset);
    if (!(solution.scale > 0.0))
        return;
    report[1] = 0;
    report[2] = 0;
    if (!sight->left || !sight->right)
        return;
    // Each camera looks for touches inside its unit's window only.
    const int seen[2] = {*sight->left, *sight->right};
    for (size_t u = 0; u < 2; ++u) {
        const auto [start, end] = view.windows[u];
        const double column = seen[u] / 2.0;
        if (start < end && end < kLinePixels && (column < start || column > end))
            return;
    }
    const std::optional<PlanePoint> p = mapTouch(solution, *sight->left, *sight->right);
    if (!p)
        return;
    struct Edge {
        uint8_t code;
        size_t countAt;
        size_t rectsAt;
        uint8_t capacity;
    };
    const uint8_t* r = record.data();
    const Edge edges[] = {{1, kKeyCounts, kLeftRects, 22}, {2, kKeyCounts + 2, kRightRects, 22},
                          {3, kKeyCounts + 1, kBottomRects, 2}, {4, kKeyCounts + 3, kTopRects, 2}};
    for (const Edge& e : edges) {
        const int count = std::min<int>(r[e.countAt], e.capacity);
        for (int k = 0; k < count; ++k) {
            const uint8_t* q = r + e.rectsAt + 8 * static_cast<size_t>(k);
            const double l = s16(q), t = s16(q + 2), rr = s16(q + 4), b = s16(q + 6);
            if (p->x >= std::min(l, rr) && p->x <= std::max(l, rr) && p->y >= std::min(t, b) &&
                p->y <= std::max(t, b)) {
                report[1] = e.code;
                report[2] = static_cast<uint8_t>(k + 1);
                return;
            }
        }
    }
}

} // namespace tovrin::sim
