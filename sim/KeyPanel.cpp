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

KeyPanel::KeyPanel()
    : m_geometry(calib::CameraModel::typical(1920, 1080))
{
}

void KeyPanel::setScreen(int width, int height)
{
    std::lock_guard lock(m_mutex);
    m_width = width;
    m_height = height;
    m_geometry = calib::CameraModel::typical(width, height, m_geometry.variant);
    layOutLocked();
}

void KeyPanel::setGeometry(const calib::FrameGeometry& geometry)
{
    std::lock_guard lock(m_mutex);
    m_geometry = geometry;
    layOutLocked();
}

calib::FrameGeometry KeyPanel::geometry() const
{
    std::lock_guard lock(m_mutex);
    return m_geometry;
}

int KeyPanel::screenWidth() const
{
    std::lock_guard lock(m_mutex);
    return m_width;
}

int KeyPanel::screenHeight() const
{
    std::lock_guard lock(m_mutex);
    return m_height;
}

void KeyPanel::printKeys(const EdgeGroups& groups)
{
    std::lock_guard lock(m_mutex);
    m_groups = groups;
    layOutLocked();
}

bool KeyPanel::hasPrintedKeys() const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_keys.begin(), m_keys.end(), [](const auto& list) { return !list.empty(); });
}

void KeyPanel::layOutLocked()
{
    // The strips beside the picture lie between the picture and the
    // cameras' own corners, where both cameras see a finger.
    const double w = m_width, h = m_height;
    const double leftCam = std::min(-4.0, m_geometry.left.x / m_geometry.r);
    const double rightCam = std::max(w + 4.0, m_geometry.right.x / m_geometry.r);
    const double topCam = std::min(-4.0, std::min(m_geometry.left.y, m_geometry.right.y));
    for (auto& list : m_keys)
        list.clear();
    for (auto [from, to] : alongEdge(m_groups[0], 0.04 * h, 0.96 * h))
        m_keys[0].push_back({0.8 * leftCam, from, 0.2 * leftCam, to});
    for (auto [from, to] : alongEdge(m_groups[1], 0.04 * h, 0.96 * h))
        m_keys[1].push_back({w + 0.2 * (rightCam - w), from, w + 0.8 * (rightCam - w), to});
    const double margin = -topCam;
    for (auto [from, to] : alongEdge(m_groups[2], 0.70 * w, 0.98 * w))
        m_keys[2].push_back({from, h + 0.2 * margin, to, h + 0.8 * margin});
    for (auto [from, to] : alongEdge(m_groups[3], w - margin, w - 0.05 * margin))
        m_keys[3].push_back({from, 0.7 * topCam, to, 0.25 * topCam});
    if (m_pendingPress) {
        const auto [edge, number] = *m_pendingPress;
        const auto& list = m_keys[static_cast<size_t>(std::clamp(edge, 1, 4) - 1)];
        if (number >= 1 && number <= static_cast<int>(list.size())) {
            const PrintedKey& k = list[static_cast<size_t>(number - 1)];
            m_finger = std::make_pair(k.centreX(), k.centreY());
            m_pendingPress.reset();
        }
    }
}

void KeyPanel::pressWhenPrinted(int edge, int number)
{
    std::lock_guard lock(m_mutex);
    m_pendingPress = std::make_pair(edge, number);
    layOutLocked();
}

std::vector<PrintedKey> KeyPanel::printedKeys(int edge) const
{
    std::lock_guard lock(m_mutex);
    if (edge < 1 || edge > 4)
        return {};
    return m_keys[static_cast<size_t>(edge - 1)];
}

std::optional<PrintedKey> KeyPanel::printedKey(int edge, int number) const
{
    const auto list = printedKeys(edge);
    if (number < 1 || number > static_cast<int>(list.size()))
        return std::nullopt;
    return list[static_cast<size_t>(number - 1)];
}

void KeyPanel::touch(double x, double y)
{
    std::lock_guard lock(m_mutex);
    m_finger = std::make_pair(x, y);
}

bool KeyPanel::touchKey(int edge, int number, double fx, double fy)
{
    const auto key = printedKey(edge, number);
    if (!key)
        return false;
    touch(key->left + fx * (key->right - key->left), key->top + fy * (key->bottom - key->top));
    return true;
}

void KeyPanel::lift()
{
    std::lock_guard lock(m_mutex);
    m_finger.reset();
}

std::optional<std::pair<double, double>> KeyPanel::finger() const
{
    std::lock_guard lock(m_mutex);
    return m_finger;
}

void KeyPanel::setAutoTouch(bool on)
{
    std::lock_guard lock(m_mutex);
    m_autoTouch = on;
    m_autoTarget = -1;
    m_autoDelay = 0;
    if (!on)
        m_finger.reset();
}

bool KeyPanel::autoTouch() const
{
    std::lock_guard lock(m_mutex);
    return m_autoTouch;
}

void KeyPanel::setFeatureReportId(std::optional<uint8_t> id)
{
    std::lock_guard lock(m_mutex);
    m_featureId = id;
}

bool KeyPanel::answersTouch(const TouchRequest& request)
{
    std::lock_guard lock(m_mutex);
    return m_finger.has_value() || (m_autoTouch && isKeyTargetRecord(request.screenPosition));
}

TouchSpots KeyPanel::touchSpots(const TouchRequest& request)
{
    std::lock_guard lock(m_mutex);
    if (m_autoTouch && isKeyTargetRecord(request.screenPosition))
        followTargetLocked(request);
    if (!m_finger)
        return {};
    return spotsAtLocked(m_finger->first, m_finger->second);
}

std::optional<std::pair<double, double>> KeyPanel::targetCornerLocked(uint32_t record) const
{
    const int edge = record & 0x3F;
    const int group = (record >> 8) & 0xFF;
    const int keys = (record >> 16) & 0xFF;
    const int corner = (record >> 24) & 0xFF;
    const auto& groups = m_groups[static_cast<size_t>(edge - 1)];
    if (group < 1 || group > static_cast<int>(groups.size()))
        return std::nullopt;
    int first = 0;
    for (int g = 0; g < group - 1; ++g)
        first += groups[static_cast<size_t>(g)];
    const int index = first + (corner < 2 ? 0 : keys - 1);
    const auto& list = m_keys[static_cast<size_t>(edge - 1)];
    if (index < 0 || index >= static_cast<int>(list.size()))
        return std::nullopt;
    const PrintedKey& k = list[static_cast<size_t>(index)];
    return corner % 2 == 0 ? std::make_pair(k.left, k.top) : std::make_pair(k.right, k.bottom);
}

void KeyPanel::followTargetLocked(const TouchRequest& request)
{
    // A person: lifts when the run moves on, waits a moment, then touches
    // the corner the target names and holds it.
    constexpr int kFirstWait = 70;  // past the run's background phase
    constexpr int kNextWait = 8;
    if (request.pointIndex != m_autoTarget) {
        m_autoDelay = m_autoTarget < 0 ? kFirstWait : kNextWait;
        m_autoTarget = request.pointIndex;
        m_finger.reset();
        return;
    }
    if (m_finger)
        return;
    if (m_autoDelay > 0) {
        --m_autoDelay;
        return;
    }
    m_finger = targetCornerLocked(request.screenPosition);
}

TouchSpots KeyPanel::spotsAtLocked(double x, double y) const
{
    const calib::CameraModel model(m_geometry);
    TouchSpots spots;
    auto see = [&](calib::Camera camera, uint8_t& count, std::array<TouchSpot, 5>& list) {
        const auto position = model.reportedPosition(camera, x, y);
        if (!position)
            return;
        const calib::CameraPose& pose = camera == calib::Camera::Left ? m_geometry.left : m_geometry.right;
        // A finger of about 24 screen pixels, seen larger the nearer it is.
        const double distance = std::hypot(x * m_geometry.r - pose.x, y - pose.y);
        const double width = std::clamp(8700.0 / std::max(distance, 1.0), 3.0, 60.0);
        count = 1;
        list[0] = {static_cast<uint16_t>(*position), static_cast<uint16_t>(std::lround(width)), 200};
    };
    see(calib::Camera::Left, spots.masterCount, spots.master);
    see(calib::Camera::Right, spots.slaveCount, spots.slave);
    return spots;
}

void KeyPanel::featureReport(uint8_t mode, std::span<const uint8_t> record, uint8_t* report)
{
    std::lock_guard lock(m_mutex);
    if (m_featureId)
        report[0] = *m_featureId;
    if (!m_finger || mode != kModeWork || record.size() < kRecordSize || readU32le(record.data()) != kValidWord)
        return;
    const uint8_t* r = record.data();
    const calib::LensTable table(readU16le(r + kPPos) == 94 ? 1 : 0);
    const records::StCamInfo left = camAt(r + kKeySolution);
    const records::StCamInfo right = camAt(r + kKeySolution + 12);
    const int32_t rFix = s32(r + kKeySolution + 376);
    if (rFix <= 0)
        return;
    const calib::CameraModel model(m_geometry);
    const auto pl = model.reportedPosition(calib::Camera::Left, m_finger->first, m_finger->second);
    const auto pr = model.reportedPosition(calib::Camera::Right, m_finger->first, m_finger->second);
    report[1] = 0;
    report[2] = 0;
    if (!pl || !pr)
        return;
    const calib::MapResult p = calib::mapTouch(table, left, right, left.L_Angle_fix / 1024.0,
                                               right.L_Angle_fix / 1024.0, rFix / 1024.0, *pl, *pr);
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
