#include "PreviewPage.h"

#include "JobLauncher.h"
#include "device/DeviceStatus.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace tovrin::windows {

namespace {
constexpr int kDrawAfterMs = 100;
} // namespace

PreviewPage::PreviewPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewPage"));
    setMinimumHeight(2 * kPreviewHeight + 12);
    m_master = renderPreviewImage({}, 0, {});
    m_slave = m_master;
}

PreviewPage::~PreviewPage()
{
    if (m_source && m_source->isRunning())
        m_source->stop();
}

void PreviewPage::setSource(std::unique_ptr<PreviewSource> source)
{
    m_source = std::move(source);
}

void PreviewPage::setCompressed(bool compressed)
{
    if (m_source)
        m_source->setCompressed(compressed);
}

void PreviewPage::start(JobLauncher& jobs)
{
    if (!m_source || m_running || m_stopping)
        return;
    m_running = true;
    Q_EMIT runningChanged(true);
    // The worker starts once the switch has been made, unless the preview
    // was stopped meanwhile.
    jobs.switchModeLoggedThen(device::mode::Calibration, "Preview :Switch to calibration mode failed! g_isSwitchMode=%d\n",
                              [this] {
                                  if (!m_running || m_stopping || !m_source || m_source->isRunning())
                                      return;
                                  if (!m_source->start()) {
                                      m_running = false;
                                      Q_EMIT runningChanged(false);
                                  }
                              });
}

void PreviewPage::stop(JobLauncher& jobs, bool backToWork, std::function<void()> whenEnded)
{
    if (m_stopping) {
        if (whenEnded)
            m_whenStopped.push_back(std::move(whenEnded));
        return;
    }
    if (!m_running) {
        if (whenEnded)
            whenEnded();
        return;
    }
    m_running = false;
    m_stopping = true;
    Q_EMIT runningChanged(false);
    if (whenEnded)
        m_whenStopped.push_back(std::move(whenEnded));
    if (!m_source) {
        workerEnded(jobs, backToWork);
        return;
    }
    m_source->stopThen(this, [this, &jobs, backToWork] { workerEnded(jobs, backToWork); });
}

void PreviewPage::workerEnded(JobLauncher& jobs, bool backToWork)
{
    m_stopping = false;
    // Requests the worker did not get to are not dropped: with the worker
    // ended they go out now, before the frame returns to work mode.
    if (m_source)
        for (PreviewSource::Request& r : m_source->takeUnmade())
            jobs.inTaskReported(std::move(r.job), [then = std::move(r.then)](bool) {
                if (then)
                    then();
            });
    if (backToWork)
        jobs.switchModeLoggedThen(device::mode::Work, "Preview :Switch to work mode failed! g_isSwitchMode=%d\n");
    for (const std::function<void()>& f : std::exchange(m_whenStopped, {}))
        f();
}

void PreviewPage::betweenFrames(JobLauncher& jobs, std::function<void()> job, std::function<void()> then)
{
    std::function<void()> guarded = [page = QPointer<PreviewPage>(this), then = std::move(then)] {
        if (page && then)
            then();
    };
    if ((m_running || m_stopping) && m_source && m_source->betweenFrames({job, guarded}))
        return;
    jobs.inTaskReported(std::move(job), [guarded = std::move(guarded)](bool) { guarded(); });
}

void PreviewPage::frameReady()
{
    if (!m_running)
        return;
    QTimer::singleShot(kDrawAfterMs, this, [this] {
        m_frameReady = true;
        update();
    });
}

void PreviewPage::takeFrame()
{
    PreviewFrame frame;
    if (m_source && m_source->takeFrame(frame)) {
        m_master = renderPreviewImage(frame.master, frame.lines, frame.masterMarkers);
        m_slave = renderPreviewImage(frame.slave, frame.lines, frame.slaveMarkers);
    }
    m_frameReady = false;
    Q_EMIT frameShown();
}

void PreviewPage::paintEvent(QPaintEvent*)
{
    if (m_frameReady)
        takeFrame();
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 24, 40));
    // Master above Slave, each scaled to half the page with a small gap.
    const int gap = 4;
    const int h = (height() - 3 * gap) / 2;
    const QRect masterRect(gap, gap, width() - 2 * gap, h);
    const QRect slaveRect(gap, 2 * gap + h, width() - 2 * gap, h);
    painter.drawImage(masterRect, m_master);
    painter.drawImage(slaveRect, m_slave);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(masterRect.adjusted(6, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Master"));
    painter.drawText(slaveRect.adjusted(6, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Slave"));
}

} // namespace tovrin::windows
