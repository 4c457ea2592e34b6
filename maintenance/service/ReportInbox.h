#pragma once
// The reports of a service worker (ServiceReport) handed to the thread that
// shows them, in order, through the workers' locked inbox (jobs/Inbox.h).

#include "ServiceReport.h"

#include "jobs/Inbox.h"

#include <QObject>

namespace tovrin::maintenance {

class ReportInbox : public QObject {
    Q_OBJECT
public:
    explicit ReportInbox(QObject* parent = nullptr);

    // Takes the reports of a worker with a sendReport(const ServiceReport&) signal.
    template <class Worker>
    void listenTo(Worker* worker)
    {
        connect(worker, &Worker::sendReport, this, &ReportInbox::post, Qt::DirectConnection);
    }

    // The worker's thread: keeps the report and says that reports wait.
    void post(const tovrin::maintenance::ServiceReport& report) { m_inbox.post(report); }
    // The inbox's thread: hands over every report kept now, at once.
    void deliverNow() { m_inbox.deliverNow(); }

Q_SIGNALS:
    // In the inbox's thread, once per report, in the order they were sent.
    void received(const tovrin::maintenance::ServiceReport& report);

private:
    jobs::Inbox<ServiceReport> m_inbox;
};

} // namespace tovrin::maintenance
