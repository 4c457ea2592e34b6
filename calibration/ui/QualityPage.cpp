#include "calibration/ui/QualityPage.h"

#include "calibration/run/RunState.h"
#include "shell/AppContext.h"

#include <QFont>
#include <QPainter>

namespace tovrin::calib::ui {

namespace {
constexpr int kCompleted = 107;  // "Calibrate completed!"
constexpr int kWarning = 117;    // "warning"
constexpr int kCrossArm = 18;
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

void QualityPage::paint(QPainter& p) const
{
    if (!m_active || m_check.points.empty())
        return;
    const bool running = checking();
    const int current = running ? checkRunState().target.load() : -1;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setPixelSize(16);
    p.setFont(f);
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
        const QColor mark = within ? QColor(0, 150, 40) : QColor(255, 0, 0);
        p.setPen(QPen(mark, 2));
        p.drawEllipse(QPointF(c.x, c.y), 5, 5);
        QString label = QStringLiteral("%1 px").arg(c.errorPx, 0, 'f', 1);
        if (m_figures.mmPerPixel)
            label += QStringLiteral(" / %1 mm").arg(c.errorPx * *m_figures.mmPerPixel, 0, 'f', 1);
        p.drawText(at + QPointF(kCrossArm + 6, -6), label);
    }
    p.restore();
}

} // namespace tovrin::calib::ui
