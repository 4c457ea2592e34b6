#include "calibration/ui/QualityPage.h"

#include "calibration/run/RunState.h"
#include "shell/AppContext.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tovrin::calib::ui {

namespace {
constexpr int kCompleted = 107;  // "Calibrate completed!"
constexpr int kWarning = 117;    // "warning"
constexpr int kCrossArm = 18;
constexpr int kLabelGap = 6;

QFont markFont()
{
    QFont f;
    f.setPixelSize(16);
    return f;
}
} // namespace

QualityPage::QualityPage(QObject* parent)
    : QObject(parent)
    , m_thread(new CheckThread(this))
{
    connect(m_thread, &CheckThread::sendData, this, &QualityPage::recvCheck, Qt::QueuedConnection);
}

QualityPage::~QualityPage()
{
    m_thread->stopAndWait();
}

void QualityPage::begin(const RunReport& report, QSize screen)
{
    m_thread->stopAndWait();
    m_active = true;
    m_checked = false;
    m_screen = screen;
    m_report = report;
    m_check = {};
    m_figures = qualityOf(report.accuracy, configuredMmPerPixel(screen.width(), screen.height()));
    logQuality(m_figures);
    Q_EMIT changed();
}

void QualityPage::end()
{
    m_thread->stopAndWait();
    m_active = false;
    m_checked = false;
}

void QualityPage::stopCheckThen(QObject* context, std::function<void()> then)
{
    m_thread->stopThen(context, std::move(then));
}

bool QualityPage::checking() const
{
    return !m_thread->hasEnded();
}

void QualityPage::startCheck()
{
    if (!m_active || checking())
        return;
    m_checked = false;
    m_thread->startCheck(m_report.block, m_report.variant, m_screen.width(), m_screen.height());
    m_check = m_thread->report();
    Q_EMIT changed();
}

void QualityPage::recvCheck(int code)
{
    if (!m_active)
        return;
    m_check = m_thread->report();
    if (code == checkcode::Finished)
        m_checked = true;
    Q_EMIT changed();
}

QString QualityPage::statusText() const
{
    const auto& texts = shell::context();
    QString t = (warning() ? texts.text(kWarning) + QStringLiteral(": ") : QString()) + texts.text(kCompleted);
    t += QStringLiteral("\ncalibration points: ") + qualityText(m_figures);
    if (m_checked)
        t += QLatin1Char('\n') + checkText(m_check, m_figures.mmPerPixel);
    return t;
}

QString QualityPage::markText(const CheckPoint& c) const
{
    QString label = QStringLiteral("%1 px").arg(c.errorPx, 0, 'f', 1);
    if (m_figures.mmPerPixel)
        label += QStringLiteral(" / %1 mm").arg(c.errorPx * *m_figures.mmPerPixel, 0, 'f', 1);
    return label;
}

QRect QualityPage::labelRect(int i) const
{
    const CheckPoint& c = m_check.points[static_cast<size_t>(i)];
    const QSize text = QFontMetrics(markFont()).size(Qt::TextSingleLine, markText(c));
    const int x = c.target.x, y = c.target.y;
    const int left = x < m_screen.width() / 2 ? x - kCrossArm - kLabelGap - text.width() : x + kCrossArm + kLabelGap;
    return QRect(left, y - kLabelGap - text.height(), text.width(), text.height());
}

QRect QualityPage::markArea(int i) const
{
    const CheckPoint& c = m_check.points[static_cast<size_t>(i)];
    const QRect cross(c.target.x - kCrossArm, c.target.y - kCrossArm, 2 * kCrossArm + 1, 2 * kCrossArm + 1);
    return c.seen ? cross.united(labelRect(i)) : cross;
}

QRect QualityPage::statusArea(QSize size)
{
    const std::vector<ScreenPoint> targets = checkTargets(size.width(), size.height());
    int topRow = size.height(), middle = 0;
    for (const ScreenPoint& t : targets) {
        topRow = std::min<int>(topRow, t.y);
        if (std::abs(t.y - size.height() / 2) < std::abs(middle - size.height() / 2))
            middle = t.y;
    }
    const int labelHeight = QFontMetrics(markFont()).height();
    const int top = topRow + kCrossArm + kLabelGap;
    const int bottom = middle - kCrossArm - 2 * kLabelGap - labelHeight;
    const int width = size.width() * 8 / 10;
    return QRect((size.width() - width) / 2, top, width, std::max(0, bottom - top));
}

void QualityPage::paint(QPainter& p) const
{
    if (!m_active || m_check.points.empty())
        return;
    const bool running = checking();
    const int current = running ? checkRunState().target.load() : -1;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(markFont());
    for (int i = 0; i < static_cast<int>(m_check.points.size()); ++i) {
        const CheckPoint& c = m_check.points[static_cast<size_t>(i)];
        const QPointF at(c.target.x, c.target.y);
        const QColor colour = i == current ? QColor(0, 38, 102) : QColor(150, 150, 150);
        p.setPen(QPen(colour, i == current ? 3 : 2));
        p.drawLine(at - QPointF(kCrossArm, 0), at + QPointF(kCrossArm, 0));
        p.drawLine(at - QPointF(0, kCrossArm), at + QPointF(0, kCrossArm));
        if (!c.seen)
            continue;
        const bool within = c.errorPx <= m_check.boundPx;
        p.setPen(QPen(within ? QColor(0, 150, 40) : QColor(255, 0, 0), 2));
        p.drawEllipse(QPointF(c.x, c.y), 5, 5);
        p.drawText(labelRect(i), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, markText(c));
    }
    p.restore();
}

} // namespace tovrin::calib::ui
