#include "ReportInbox.h"

namespace tovrin::maintenance {

ReportInbox::ReportInbox(QObject* parent)
    : QObject(parent)
{
    // The notice carries nothing: the reports stay here under the lock.
    connect(this, &ReportInbox::waiting, this, &ReportInbox::deliver, Qt::QueuedConnection);
}

void ReportInbox::post(const ServiceReport& report)
{
    {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(report);
    }
    Q_EMIT waiting();
}

void ReportInbox::deliver()
{
    std::deque<ServiceReport> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_reports);
    }
    for (const ServiceReport& report : taken)
        Q_EMIT received(report);
}

} // namespace tovrin::maintenance
