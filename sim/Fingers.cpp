#include "sim/Fingers.h"
#include "sim/ItemList.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {

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
    : m_opticsConfig(*opticsVariant("typical"))
    , m_rng(1)
{
}

void Fingers::setScreen(int width, int height)
{
    std::lock_guard lock(m_mutex);
    m_width = width;
    m_height = height;
    m_optics.reset();
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

void Fingers::setOptics(const OpticsConfig& config)
{
    std::lock_guard lock(m_mutex);
    m_opticsConfig = config;
    m_optics.reset();
}

OpticsConfig Fingers::opticsConfig() const
{
    std::lock_guard lock(m_mutex);
    return m_opticsConfig;
}

Optics Fingers::optics(int lensFamily) const
{
    std::lock_guard lock(m_mutex);
    return opticsLocked(lensFamily);
}

const Optics& Fingers::opticsLocked(int lensFamily) const
{
    if (!m_optics || m_optics->lensFamily() != lensFamily)
        m_optics.emplace(m_opticsConfig, m_width, m_height, lensFamily);
    return *m_optics;
}

void Fingers::setLensFamily(int lensFamily)
{
    std::lock_guard lock(m_mutex);
    m_family = lensFamily == 1 ? 1 : 0;
}

int Fingers::lensFamily() const
{
    std::lock_guard lock(m_mutex);
    return m_family;
}

void Fingers::readTargetsWith(TargetReader reader)
{
    std::lock_guard lock(m_mutex);
    m_targetReader = std::move(reader);
}

void Fingers::configure(const FingerSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    m_rng.seed(settings.seed);
    m_auto = AutoState::Up;
    m_frames = 0;
    m_wasDown = false;
}

FingerSettings Fingers::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void Fingers::setFaults(const FingerFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

FingerFaults Fingers::faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
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
    if (!m_faults.stuck)
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

std::optional<FingerSight> Fingers::sight(int lensFamily) const
{
    std::lock_guard lock(m_mutex);
    const std::optional<ScreenPointF> at = fingerLocked();
    if (!at)
        return std::nullopt;
    const Optics& optics = opticsLocked(lensFamily);
    auto seen = [&](Side side) -> std::optional<int> {
        const auto p = optics.position(side, at->x, at->y);
        if (!p)
            return std::nullopt;
        return static_cast<int>(std::lround(*p));
    };
    FingerSight s;
    if (!m_faults.blindLeft)
        s.left = seen(Side::Left);
    if (!m_faults.blindRight)
        s.right = seen(Side::Right);
    return s;
}

std::optional<double> Fingers::exactPosition(Side side, double x, double y, int lensFamily) const
{
    std::lock_guard lock(m_mutex);
    const auto p = opticsLocked(lensFamily).position(side, x, y);
    if (!p || !(*p >= 0.0 && *p <= kMaxPosition))
        return std::nullopt;
    return p;
}

void Fingers::addFinger(TouchSpots& spots, double x, double y, const Optics& optics, bool noisy)
{
    for (Side side : {Side::Left, Side::Right}) {
        if ((side == Side::Left && m_faults.blindLeft) || (side == Side::Right && m_faults.blindRight))
            continue;
        const auto exact = optics.position(side, x, y);
        if (!exact)
            continue;
        const long position = noisy ? m_noise[static_cast<size_t>(side)].apply(*exact, m_settings.noise, m_settings.jitter, m_rng)
                                    : std::lround(*exact);
        if (position < 0 || position > kMaxPosition)
            continue;
        // Width: the angle the finger fills, through the lens around the
        // spot's place; brightness falls off with the distance.
        const double span = optics.spotWidth(side, x, y, m_settings.fingerMm);
        const auto width = static_cast<uint16_t>(std::clamp(std::lround(span), 2L, 60L));
        const double distance = optics.distanceMm(side, x, y);
        const auto strength =
            static_cast<uint8_t>(std::clamp(250.0 - 160.0 * distance / optics.diagonalMm(), 60.0, 250.0));
        const TouchSpot spot{static_cast<uint16_t>(position), width, strength};
        if (side == Side::Left)
            addSpot(spots.masterCount, spots.master, spot);
        else
            addSpot(spots.slaveCount, spots.slave, spot);
    }
}

std::optional<ScreenPointF> Fingers::targetLocked(uint32_t word) const
{
    if (m_targetReader) {
        const TargetPlace place = m_targetReader(word, opticsLocked(m_family));
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
        if (m_faults.stuck)
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
    m_autoAt = {place->x + dx, place->y + dy};
    m_pressedTarget = target;
    m_auto = AutoState::Down;
    m_frames = 0;
}

TouchSpots Fingers::report(const TouchRequest& request, int lensFamily)
{
    std::lock_guard lock(m_mutex);
    m_family = lensFamily == 1 ? 1 : 0;
    autoStepLocked(request);
    const Optics& optics = opticsLocked(lensFamily);
    TouchSpots spots;
    const std::optional<ScreenPointF> at = fingerLocked();
    if (at && !m_wasDown) {
        for (SpotNoise& n : m_noise)
            n.touchDown(m_rng);
    }
    m_wasDown = at.has_value();
    if (at) {
        addFinger(spots, at->x, at->y, optics, true);
        if (m_settings.secondFinger)
            addFinger(spots, at->x + kSecondFingerDx, at->y + kSecondFingerDy, optics, false);
    }
    if (m_faults.reflection && !m_faults.blindLeft)
        addSpot(spots.masterCount, spots.master, TouchSpot{kReflectionPosition, 3, 70});
    if (m_faults.edgeSpots && at) {
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

bool applyTouchItem(FingerSettings& s, FingerFaults& faults, std::string_view text)
{
    const Item item = splitItem(text);
    if (!item.hasValue) {
        if (item.name == "auto")
            s.autoTouch = true;
        else if (item.name == "second-finger")
            s.secondFinger = true;
        else if (item.name == "reflection")
            faults.reflection = true;
        else
            return false;
        return true;
    }
    if (item.name == "noise") {
        const auto model = noiseModelNamed(item.value);
        if (!model)
            return false;
        s.noise = *model;
        return true;
    }
    if (item.name == "finger") {
        const auto mm = itemNumber(item.value);
        if (!mm || *mm < 1.0 || *mm > 60.0)
            return false;
        s.fingerMm = *mm;
        return true;
    }
    const auto n = itemInteger(item.value);
    if (!n || *n < 0 || *n > 100000)
        return false;
    if (item.name == "jitter")
        s.jitter = static_cast<int>(std::min(*n, 100LL));
    else if (item.name == "aim")
        s.aim = static_cast<double>(*n);
    else if (item.name == "reaction")
        s.reactionFrames = static_cast<int>(*n);
    else if (item.name == "seed")
        s.seed = static_cast<unsigned>(*n);
    else
        return false;
    return true;
}

} // namespace

std::string applyTouchItems(Fingers& fingers, std::string_view list)
{
    FingerSettings s = fingers.settings();
    FingerFaults faults = fingers.faults();
    std::string firstUnknown;
    for (std::string_view item : splitItems(list))
        if (!applyTouchItem(s, faults, item) && firstUnknown.empty())
            firstUnknown = std::string(item);
    fingers.configure(s);
    fingers.setFaults(faults);
    return firstUnknown;
}

} // namespace tovrin::sim
