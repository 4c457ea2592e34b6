#include "sim/KeyPanel.h"

#include "sim/SimBytes.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {

// Where the frame's firmware finds the key layout in the Slave calibration
// record (1354 bytes):
//   450 key-time solution copy: +0 LCam Po_l4 x, y (s16), +4 L_A (s32),
//       +8 L_Angle_fix (s32); +12 RCam likewise; +376 r_fix (s32)
//   830 key counts: left, bottom, right, top (u8 each)
//   834 left rectangles (22 x 8)   1010 bottom (2 x 8)
//   1026 right (22 x 8)            1202 top (2 x 8)
//   rectangle: TopLeft x, y, BottomRight x, y (s16 each)
//   1218 P_Pos (68 x u16): table B starts with 94
constexpr size_t kRecordSize = 1354;
constexpr size_t kKeySolution = 450;
constexpr size_t kKeyCounts = 830;
constexpr size_t kLeftRects = 834, kBottomRects = 1010, kRightRects = 1026, kTopRects = 1202;
constexpr size_t kPPos = 1218;
constexpr uint32_t kValidWord = 0x46574946;

constexpr uint8_t kKeyRecordFlags = 0xC0;  // 0x40, or 0x80 on an extended frame

int16_t s16(const uint8_t* p) { return static_cast<int16_t>(readU16le(p)); }
int32_t s32(const uint8_t* p) { return static_cast<int32_t>(readU32le(p)); }

records::StCamInfo camAt(const uint8_t* p)
{
    records::StCamInfo c;
    c.Po_l4 = {s16(p), s16(p + 2)};
    c.L_A = s32(p + 4);
    c.L_Angle_fix = s32(p + 8);
    return c;
}

// Keys of an edge laid out along [from, to]: every key two units long, one
// unit between keys, a unit and a half more between groups.
std::vector<std::pair<double, double>> alongEdge(const std::vector<int>& groups, double from, double to)
{
    int n = 0;
    for (int g : groups)
        n += std::max(0, g);
    std::vector<std::pair<double, double>> spans;
    if (n == 0)
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
    m_finger.readTargetsWith([this](uint32_t word, const calib::FrameGeometry& g, int w, int h) {
        return readTarget(word, g, w, h);
    });
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

KeyPanel::Layout KeyPanel::layOut(const EdgeGroups& groups, const calib::FrameGeometry& g, int width, int height)
{
    // The strips beside the picture lie between the picture and the
    // cameras' own corners, where both cameras see a finger.
    const double w = width, h = height;
    const double leftCam = std::min(-4.0, g.left.x / g.r);
    const double rightCam = std::max(w + 4.0, g.right.x / g.r);
    const double topCam = std::min(-4.0, std::min(g.left.y, g.right.y));
    Layout keys;
    for (auto [from, to] : alongEdge(groups[0], 0.04 * h, 0.96 * h))
        keys[0].push_back({0.8 * leftCam, from, 0.2 * leftCam, to});
    for (auto [from, to] : alongEdge(groups[1], 0.04 * h, 0.96 * h))
        keys[1].push_back({w + 0.2 * (rightCam - w), from, w + 0.8 * (rightCam - w), to});
    const double margin = -topCam;
    for (auto [from, to] : alongEdge(groups[2], 0.70 * w, 0.98 * w))
        keys[2].push_back({from, h + 0.2 * margin, to, h + 0.8 * margin});
    for (auto [from, to] : alongEdge(groups[3], w - margin, w - 0.05 * margin))
        keys[3].push_back({from, 0.7 * topCam, to, 0.25 * topCam});
    return keys;
}

KeyPanel::Layout KeyPanel::layout() const
{
    // The fingers first, then the panel's own lock (never the other way).
    const calib::FrameGeometry g = m_finger.geometry();
    const int w = m_finger.screenWidth(), h = m_finger.screenHeight();
    std::lock_guard lock(m_mutex);
    return layOut(m_groups, g, w, h);
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

TargetPlace KeyPanel::readTarget(uint32_t record, const calib::FrameGeometry& geometry, int width, int height) const
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
    const auto list = layOut(m_groups, geometry, width, height)[static_cast<size_t>(edge - 1)];
    if (index < 0 || index >= static_cast<int>(list.size()))
        return place;
    const PrintedKey& k = list[static_cast<size_t>(index)];
    place.at = corner % 2 == 0 ? ScreenPointF{k.left, k.top} : ScreenPointF{k.right, k.bottom};
    return place;
}

void KeyPanel::featureReport(uint8_t mode, int variant, std::span<const uint8_t> record, uint8_t* report)
{
    const std::optional<FingerSight> sight = m_finger.sight(variant);
    std::lock_guard lock(m_mutex);
    if (m_featureId)
        report[0] = *m_featureId;
    if (!sight || mode != kModeWork || record.size() < kRecordSize || readU32le(record.data()) != kValidWord)
        return;
    const uint8_t* r = record.data();
    const calib::LensTable table(readU16le(r + kPPos) == 94 ? 1 : 0);
    const records::StCamInfo left = camAt(r + kKeySolution);
    const records::StCamInfo right = camAt(r + kKeySolution + 12);
    const int32_t rFix = s32(r + kKeySolution + 376);
    if (rFix <= 0)
        return;
    report[1] = 0;
    report[2] = 0;
    if (!sight->left || !sight->right)
        return;
    const calib::MapResult p = calib::mapTouch(table, left, right, left.L_Angle_fix / 1024.0,
                                               right.L_Angle_fix / 1024.0, rFix / 1024.0, *sight->left, *sight->right);
    if (p.parallel())
        return;
    struct Edge {
        uint8_t code;
        size_t countAt;
        size_t rectsAt;
        uint8_t capacity;
    };
    const Edge edges[] = {{1, kKeyCounts, kLeftRects, 22}, {2, kKeyCounts + 2, kRightRects, 22},
                          {3, kKeyCounts + 1, kBottomRects, 2}, {4, kKeyCounts + 3, kTopRects, 2}};
    for (const Edge& e : edges) {
        const int count = std::min<int>(r[e.countAt], e.capacity);
        for (int k = 0; k < count; ++k) {
            const uint8_t* q = r + e.rectsAt + 8 * static_cast<size_t>(k);
            const double l = s16(q), t = s16(q + 2), rr = s16(q + 4), b = s16(q + 6);
            if (p.x >= std::min(l, rr) && p.x <= std::max(l, rr) && p.y >= std::min(t, b) && p.y <= std::max(t, b)) {
                report[1] = e.code;
                report[2] = static_cast<uint8_t>(k + 1);
                return;
            }
        }
    }
}

} // namespace tovrin::sim
