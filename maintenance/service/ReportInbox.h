#pragma once
// A worker's reports handed to the thread that shows them, in order. The
// worker's signal is taken in the worker's own thread and the report kept
// here under a lock; the receiving thread is told that reports wait and
// takes them all. (A queued signal would copy each report under Qt's own
// lock, a bare futex that ThreadSanitizer cannot see, so every report would
// be a race to it.)

#include "ServiceReport.h"

#include <QObject>

#include <deque>
#include <mutex>

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
    void post(const tovrin::maintenance::ServiceReport& report);
    // The inbox's thread: hands over every report kept now, at once (a
    // worker that was stopped and waited for has nothing more to say).
    void deliverNow() { deliver(); }

Q_SIGNALS:
    // In the inbox's thread, once per report, in the order they were sent.
    void received(const tovrin::maintenance::ServiceReport& report);
    void waiting();

private:
    void deliver();

    std::mutex m_mutex;
    std::deque<ServiceReport> m_reports;
};

} // namespace tovrin::maintenance
