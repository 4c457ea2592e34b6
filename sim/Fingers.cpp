#include "sim/Fingers.h"
#include "sim/ItemList.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tovrin::sim {

namespace {

using calib::Camera;

constexpr double kFingerMillimetres = 12.0;
// Screens are sized here as a 65-inch (1651 mm diagonal) display: a finger
// covers about 16 pixels of a 1920 x 1080 screen.
constexpr double kScreenDiagonalMillimetres = 1651.0;
constexpr int kMaxPosition = 2 * kLinePixels - 1;  // half pixels

// The second finger of the hand, relative to the first (screen pixels).
constexpr double kSecondFingerDx = 160.0;
constexpr double kSecondFingerDy = 120.0;

constexpr uint16_t kReflectionPosition = 1180;

void addSpot(uint8_t& count, std::array<TouchSpot, 5>& list, const TouchSpot& spot)
{
    // The frame counts every spot it found but sends only five.
    if (count < 5)
        list[count] = spot;
    if (count < 255)
        ++count;
}

void sortByPosition(uint8_t count, std::array<TouchSpot, 5>& list)
{
    const auto n = std::min<size_t>(count, 5);
    std::sort(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(n),
              [](const TouchSpot& a, const TouchSpot& b) { return a.position < b.position; });
}

} // namespace

Fingers::Fingers()
    : m_rng(1)
{
}

void Fingers::setScreen(int width, int height)
{
    std::lock_guard lock(m_mutex);
    m_width = width;
    m_height = height;
    m_model.reset();
}

void Fingers::setGeometry(const calib::FrameGeometry& geometry)
{
    std::lock_guard lock(m_mutex);
    m_geometry = geometry;
    m_model.reset();
}

calib::FrameGeometry Fingers::geometry() const
{
    std::lock_guard lock(m_mutex);
    return geometryLocked();
}

calib::FrameGeometry Fingers::geometryLocked() const
{
    return m_geometry ? *m_geometry : calib::CameraModel::typical(m_width, m_height);
}

void Fingers::readTargetsWith(TargetReader reader)
{
    std::lock_guard lock(m_mutex);
    m_targetReader = std::move(reader);
}

int Fingers::screenWidth() const
{
    std::lock_guard lock(m_mutex);
    return m_width;
}

int Fingers::screenHeight() const
{
    std::lock_guard lock(m_mutex);
    return m_height;
}

void Fingers::configure(const FingerSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    m_rng.seed(settings.seed);
    m_auto = AutoState::Up;
    m_frames = 0;
}

FingerSettings Fingers::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void Fingers::press(double x, double y)
{
    std::lock_guard lock(m_mutex);
    m_mouse = ScreenPointF{x, y};
}

void Fingers::move(double x, double y)
{
    std::lock_guard lock(m_mutex);
    if (m_mouse)
        m_mouse = ScreenPointF{x, y};
}

void Fingers::lift()
{
    std::lock_guard lock(m_mutex);
    if (!m_settings.neverLift)
        m_mouse.reset();
}

std::optional<ScreenPointF> Fingers::position() const
{
    std::lock_guard lock(m_mutex);
    return fingerLocked();
}

std::optional<ScreenPointF> Fingers::fingerLocked() const
{
    if (m_mouse)
        return m_mouse;
    if (m_auto == AutoState::Down)
        return m_autoAt;
    return std::nullopt;
}

std::optional<FingerSight> Fingers::sight(int variant) const
{
    std::lock_guard lock(m_mutex);
    const std::optional<ScreenPointF> at = fingerLocked();
    if (!at)
        return std::nullopt;
    const calib::CameraModel& model = modelLocked(variant);
    FingerSight s;
    if (!m_settings.blindLeft)
        s.left = model.reportedPosition(Camera::Left, at->x, at->y);
    if (!m_settings.blindRight)
        s.right = model.reportedPosition(Camera::Right, at->x, at->y);
    return s;
}

const calib::CameraModel& Fingers::modelLocked(int variant) const
{
    if (!m_model || m_modelVariant != variant) {
        calib::FrameGeometry g = geometryLocked();
        g.variant = variant;
        m_model.emplace(g);
        m_modelVariant = variant;
    }
    return *m_model;
}

std::optional<double> Fingers::exactPosition(Camera camera, double x, double y, int variant) const
{
    std::lock_guard lock(m_mutex);
    const auto p = modelLocked(variant).sensorPosition(camera, x, y);
    if (!p || !(*p >= 0.0 && *p <= kMaxPosition))
        return std::nullopt;
    return p;
}

void Fingers::addFinger(TouchSpots& spots, double x, double y, const calib::CameraModel& model)
{
    const calib::FrameGeometry& g = model.geometry();
    const double diagonal = std::hypot(double(m_width), double(m_height));
    const double finger = kFingerMillimetres * diagonal / kScreenDiagonalMillimetres;
    std::uniform_int_distribution<int> jitter(-m_settings.jitter, m_settings.jitter);
    for (Camera camera : {Camera::Left, Camera::Right}) {
        if ((camera == Camera::Left && m_settings.blindLeft) || (camera == Camera::Right && m_settings.blindRight))
            continue;
        const auto exact = model.sensorPosition(camera, x, y);
        if (!exact)
            continue;
        const int position = static_cast<int>(std::lround(*exact)) + (m_settings.jitter > 0 ? jitter(m_rng) : 0);
        if (position < 0 || position > kMaxPosition)
            continue;
        // Width: the angle the finger fills, through the lens table around
        // the spot's place on the sensor.
        const calib::CameraPose& pose = camera == Camera::Left ? g.left : g.right;
        const double distance = std::max(1.0, std::hypot(x * g.r - pose.x, y - pose.y));
        const double angle = 2.0 * std::atan(finger / 2.0 / distance) * 180.0 / calib::kPi;
        const double column = *exact / 2.0 + pose.shift;
        const double index = model.table().angleIndex(column);
        const double span = model.table().columnAtIndex(index + angle / calib::kAngleStep / 2.0) -
                            model.table().columnAtIndex(index - angle / calib::kAngleStep / 2.0);
        const auto width = static_cast<uint16_t>(std::clamp(std::lround(span), 2L, 60L));
        const auto strength = static_cast<uint8_t>(std::clamp(250.0 - 160.0 * distance / diagonal, 60.0, 250.0));
        const TouchSpot spot{static_cast<uint16_t>(position), width, strength};
        if (camera == Camera::Left)
            addSpot(spots.masterCount, spots.master, spot);
        else
            addSpot(spots.slaveCount, spots.slave, spot);
    }
}

std::optional<ScreenPointF> Fingers::targetLocked(uint32_t word) const
{
    if (m_targetReader) {
        const TargetPlace place = m_targetReader(word, geometryLocked(), m_width, m_height);
        if (place.named)
            return place.at;
    }
    if (word == 0)
        return std::nullopt;  // no target shown
    return ScreenPointF{static_cast<double>(word & 0xFFFF), static_cast<double>(word >> 16)};
}

void Fingers::autoStepLocked(const TouchRequest& request)
{
    if (!m_settings.autoTouch)
        return;
    const uint32_t target = request.screenPosition;
    ++m_frames;
    if (m_auto == AutoState::Down) {
        if (m_settings.neverLift)
            return;
        if (target != m_pressedTarget || m_frames > m_settings.retryFrames) {
            // The tool shows another target (or has not taken this one for
            // long): the person lifts the finger, and touches again after a
            // moment.
            m_auto = AutoState::Up;
            m_frames = 0;
        }
        return;
    }
    const std::optional<ScreenPointF> place = targetLocked(target);
    if (!place) {
        m_frames = 0;
        return;
    }
    if (m_frames < m_settings.reactionFrames)
        return;
    const double x = place->x;
    const double y = place->y;
    double dx = 0.0, dy = 0.0;
    if (m_settings.aim > 0.0) {
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        do {
            dx = unit(m_rng);
            dy = unit(m_rng);
        } while (dx * dx + dy * dy > 1.0);
        dx *= m_settings.aim;
        dy *= m_settings.aim;
    }
    m_autoAt = {x + dx, y + dy};
    m_pressedTarget = target;
    m_auto = AutoState::Down;
    m_frames = 0;
}

TouchSpots Fingers::report(const TouchRequest& request, int variant)
{
    std::lock_guard lock(m_mutex);
    autoStepLocked(request);
    const calib::CameraModel& model = modelLocked(variant);
    TouchSpots spots;
    const std::optional<ScreenPointF> at = fingerLocked();
    if (at) {
        addFinger(spots, at->x, at->y, model);
        if (m_settings.secondFinger)
            addFinger(spots, at->x + kSecondFingerDx, at->y + kSecondFingerDy, model);
    }
    if (m_settings.reflection && !m_settings.blindLeft)
        addSpot(spots.masterCount, spots.master, TouchSpot{kReflectionPosition, 3, 70});
    if (m_settings.edgeSpots && at) {
        for (uint16_t p : {uint16_t{0}, uint16_t{0xFFFF}}) {
            addSpot(spots.masterCount, spots.master, TouchSpot{p, 3, 50});
            addSpot(spots.slaveCount, spots.slave, TouchSpot{p, 3, 50});
        }
    }
    sortByPosition(spots.masterCount, spots.master);
    sortByPosition(spots.slaveCount, spots.slave);
    return spots;
}

// ---- TOVRIN_SIM_TOUCH ------------------------------------------------------------

namespace {

bool parseNumber(std::string_view text, long long& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

bool applyTouchItem(FingerSettings& s, std::string_view item)
{
    const size_t eq = item.find('=');
    const std::string_view name = item.substr(0, eq);
    if (eq == std::string_view::npos) {
        if (name == "auto")
            s.autoTouch = true;
        else if (name == "second-finger")
            s.secondFinger = true;
        else if (name == "reflection")
            s.reflection = true;
        else
            return false;
        return true;
    }
    long long n = 0;
    if (!parseNumber(item.substr(eq + 1), n) || n > 100000)
        return false;
    if (name == "jitter")
        s.jitter = static_cast<int>(std::min(n, 100LL));
    else if (name == "aim")
        s.aim = static_cast<double>(n);
    else if (name == "reaction")
        s.reactionFrames = static_cast<int>(n);
    else if (name == "seed")
        s.seed = static_cast<unsigned>(n);
    else
        return false;
    return true;
}

} // namespace

std::string applyTouchItems(Fingers& fingers, std::string_view list)
{
    FingerSettings s = fingers.settings();
    std::string firstUnknown;
    for (std::string_view item : splitItems(list))
        if (!applyTouchItem(s, item) && firstUnknown.empty())
            firstUnknown = std::string(item);
    fingers.configure(s);
    return firstUnknown;
}

} // namespace tovrin::sim
