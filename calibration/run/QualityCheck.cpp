#include "calibration/run/QualityCheck.h"

#include "calibration/run/CalibrationGrid.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/RunState.h"
#include "calibration/run/TargetCapture.h"
#include "device/UnitOps.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <cmath>

namespace tovrin::calib {

namespace {

QString pxMm(double px, std::optional<double> mmPerPixel)
{
    QString t = QStringLiteral("%1 px").arg(px, 0, 'f', 2);
    if (mmPerPixel)
        t += QStringLiteral(" (%1 mm)").arg(px * *mmPerPixel, 0, 'f', 2);
    return t;
}

} // namespace

CalibrationRunState& checkRunState()
{
    static CalibrationRunState state;
    return state;
}

std::optional<double> configuredMmPerPixel(int width, int height)
{
    const auto inches = diagonalInches(shell::settings::Screen_Size.read());
    if (!inches || width <= 0 || height <= 0)
        return std::nullopt;
    return *inches * 25.4 / std::hypot(double(width), double(height));
}

QualityFigures qualityOf(const AccuracyReport& report, std::optional<double> mmPerPixel)
{
    QualityFigures q;
    q.points = report.count;
    q.meanPx = report.mean;
    q.maxPx = report.max;
    q.worst = report.worst;
    q.mmPerPixel = mmPerPixel;
    return q;
}

QString qualityText(const QualityFigures& q)
{
    return QStringLiteral("mean %1, worst %2 at point %3")
        .arg(pxMm(q.meanPx, q.mmPerPixel), pxMm(q.maxPx, q.mmPerPixel))
        .arg(q.worst);
}

void logQuality(const QualityFigures& q)
{
    shell::LogF("Calibration quality: %d calibration points, %s\n", q.points, qualityText(q).toUtf8().constData());
}

double checkBoundPx()
{
    const int v = shell::readInt(QStringLiteral("Tovrin_Config/CheckBound"), static_cast<int>(kDefaultCheckBoundPx));
    return v >= 1 && v <= 500 ? double(v) : kDefaultCheckBoundPx;
}

std::vector<ScreenPoint> checkTargets(int width, int height)
{
    // Middles of the cells 0, 2, 4, 6, 8 of the 16-point grid: as far from
    // every calibration point as the grid allows.
    const auto grid = screenPoints16(width, height);
    std::vector<ScreenPoint> out;
    for (int cell : {0, 2, 4, 6, 8}) {
        const int i = 4 * (cell / 3) + cell % 3;
        const auto& a = grid[static_cast<size_t>(i)];
        const auto& d = grid[static_cast<size_t>(i + 5)];
        out.push_back({static_cast<std::uint16_t>((a.x + d.x) / 2), static_cast<std::uint16_t>((a.y + d.y) / 2)});
    }
    return out;
}

QString checkText(const CheckReport& r, std::optional<double> mmPerPixel)
{
    int seen = 0;
    for (const CheckPoint& p : r.points)
        seen += p.seen ? 1 : 0;
    return QStringLiteral("check: %1 touches, worst %2, bound %3 px: %4")
        .arg(seen)
        .arg(pxMm(r.maxPx, mmPerPixel))
        .arg(r.boundPx, 0, 'f', 0)
        .arg(r.passed() ? QStringLiteral("passed") : QStringLiteral("failed"));
}

void logCheck(const CheckReport& r, std::optional<double> mmPerPixel)
{
    for (size_t i = 0; i < r.points.size(); ++i) {
        const CheckPoint& p = r.points[i];
        shell::LogF("Calibration check[%d]: target (%d,%d), touch (%.1f,%.1f), error %s\n", static_cast<int>(i),
                    p.target.x, p.target.y, p.x, p.y, pxMm(p.errorPx, mmPerPixel).toUtf8().constData());
    }
    shell::LogF("Calibration %s\n", checkText(r, mmPerPixel).toUtf8().constData());
}

CheckReport runCheck(const records::StClbInfo& block, int variant, int width, int height,
                     const std::function<void(int)>& send, const std::atomic<bool>* stop,
                     const std::function<void(int, const CheckPoint&)>& touched)
{
    CheckReport report;
    report.boundPx = checkBoundPx();
    const std::vector<ScreenPoint> targets = checkTargets(width, height);
    for (const ScreenPoint& t : targets)
        report.points.push_back({t, false, 0.0, 0.0, 0.0});
    const auto say = [&](int c) {
        if (send)
            send(c);
    };
    CalibrationRunState& state = checkRunState();
    state.startRun(static_cast<int>(targets.size()), width, height);
    if (!armTouchData()) {
        say(device::g_bDevExist.load() ? checkcode::Failed : checkcode::DeviceLost);
        return report;
    }
    const FrameMapping mapping(block, variant, planeOfBlock(block, width, height));
    TouchCapture touches(variant, capturePosition(), "CheckIndex");
    TargetPlan plan;
    plan.targets = static_cast<int>(targets.size());
    plan.query = [&](int i) {
        const ScreenPoint p = targets[static_cast<size_t>(i)];
        return TargetQuery{0, packScreenPosition(p.x, p.y)};
    };
    plan.touchRelease = kReleaseFree;
    plan.firstReleaseAfter = kReleaseHeld;
    // A check touch is one finger at a known place: each camera's widest
    // spot of the hold is the finger.
    plan.choose = [](TouchCapture& t, int i) {
        return t.choose(
            [](SpotReport& sorted, Side) {
                Spot s = sorted.valid() > 0 ? sorted.spots[0] : Spot{};
                for (int k = 0; k < sorted.valid(); ++k)
                    sorted.spots[static_cast<size_t>(k)].flag = k == 0 ? 1 : 0;
                s.flag = sorted.valid() > 0 ? 1 : 0;
                return s;
            },
            i);
    };
    plan.stillHeld = [](TouchCapture&, const TouchFrame& frame, int) { return frame.both(); };
    plan.kept = [&](int i, const TouchCapture::Choice& choice) {
        CheckPoint& p = report.points[static_cast<size_t>(i)];
        if (const auto m = mapping.map(choice.left.position, choice.right.position)) {
            p.seen = true;
            p.x = m->x;
            p.y = m->y;
            p.errorPx = std::hypot(m->x - p.target.x, m->y - p.target.y);
        }
        if (touched)
            touched(i, p);
        say(checkcode::TargetReady);
        return true;
    };
    CaptureHooks hooks;
    hooks.go = [&] { return device::g_bDevExist.load() && !(stop && stop->load()); };
    hooks.redraw = [&] { say(checkcode::TargetReady); };
    hooks.stop = stop;
    TargetCapture capture(touches, state, std::move(plan), std::move(hooks));
    const CaptureOutcome outcome = capture.run();
    if (outcome != CaptureOutcome::Captured) {
        if (!device::g_bDevExist.load())
            say(checkcode::DeviceLost);
        else if (!(stop && stop->load()))
            say(checkcode::Failed);
        return report;
    }
    report.finished = true;
    for (const CheckPoint& p : report.points)
        report.maxPx = std::max(report.maxPx, p.seen ? p.errorPx : 1e9);
    return report;
}

CheckThread::CheckThread(QObject* parent)
    : Worker(parent)
{
}

CheckThread::~CheckThread()
{
    stopAndWait();
}

void CheckThread::startCheck(const records::StClbInfo& block, int variant, int width, int height)
{
    if (!hasEnded())
        return;
    m_block = block;
    m_variant = variant;
    m_width = width;
    m_height = height;
    {
        std::lock_guard lock(m_mutex);
        m_report = {};
        m_report.boundPx = checkBoundPx();
        for (const ScreenPoint& t : checkTargets(width, height))
            m_report.points.push_back({t, false, 0.0, 0.0, 0.0});
    }
    startWork();
}

CheckReport CheckThread::report() const
{
    std::lock_guard lock(m_mutex);
    return m_report;
}

void CheckThread::work()
{
    const CheckReport r = runCheck(
        m_block, m_variant, m_width, m_height, [this](int c) { Q_EMIT sendData(c); }, stopFlag(),
        [this](int i, const CheckPoint& p) {
            std::lock_guard lock(m_mutex);
            if (i >= 0 && i < static_cast<int>(m_report.points.size()))
                m_report.points[static_cast<size_t>(i)] = p;
        });
    {
        std::lock_guard lock(m_mutex);
        m_report = r;
    }
    if (!r.finished)
        return;  // runCheck told why, or the window stopped it
    logCheck(r, configuredMmPerPixel(m_width, m_height));
    Q_EMIT sendData(checkcode::Finished);
}

} // namespace tovrin::calib
