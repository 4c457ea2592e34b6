#pragma once
// Inbox: a worker's reports handed to the thread that shows them, in order.
// The worker posts each report in its own thread and it is kept here under
// a lock; the receiving thread is told that reports wait (a notice that
// carries nothing) and takes them all. A queued signal would copy each
// report under Qt's own lock, a bare futex that ThreadSanitizer cannot see,
// so every report with a text in it would be a race to it.
//
//   jobs::Inbox<Report> inbox(window, [](const Report& r) { ...show r... });
//   connect(&worker, &W::sendReport, ..., [&](const Report& r) { inbox.post(r); }, Qt::DirectConnection);
//
// The inbox is built, and its reports received, in the receiving thread.

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

namespace tovrin::jobs {

// The notice that reports wait; it lives in the receiving thread.
class InboxNotice : public QObject {
    Q_OBJECT
public:
    explicit InboxNotice(std::function<void()> deliver);

Q_SIGNALS:
    void waiting();
};

template <class Report>
class Inbox {
public:
    explicit Inbox(std::function<void(const Report&)> receive)
        : m_receive(std::move(receive))
        , m_notice([this] { deliverNow(); })
    {
    }
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // Any thread: keeps the report and says that reports wait.
    void post(const Report& report)
    {
        {
            std::lock_guard lock(m_mutex);
            m_reports.push_back(report);
        }
        Q_EMIT m_notice.waiting();
    }

    // The receiving thread: hands over every report kept now, at once (a
    // worker that was stopped and waited for has nothing more to say).
    void deliverNow()
    {
        std::deque<Report> taken;
        {
            std::lock_guard lock(m_mutex);
            taken.swap(m_reports);
        }
        for (const Report& report : taken)
            m_receive(report);
    }

private:
    std::function<void(const Report&)> m_receive;
    std::mutex m_mutex;
    std::deque<Report> m_reports;
    InboxNotice m_notice;
};

} // namespace tovrin::jobs
