#include "jobs/TaskWorker.h"

#include <utility>

namespace tovrin::jobs {

TaskWorker::~TaskWorker() { stopAndWait(); }

bool TaskWorker::run(std::function<void()> job, QObject* context, std::function<void()> then)
{
    if (m_busy || !hasEnded())
        return false;
    m_job = std::move(job);
    if (!startWork())
        return false;
    m_busy = true;
    whenEnded(context, [this, then = std::move(then)] {
        m_busy = false;
        if (then)
            then();
        thenRan();
    });
    return true;
}

void TaskWorker::thenRan()
{
    // A then that started the next job keeps the others waiting for it.
    while (!m_busy && !m_whenIdle.empty()) {
        auto [context, f] = std::move(m_whenIdle.front());
        m_whenIdle.erase(m_whenIdle.begin());
        if (context)
            f();
    }
}

void TaskWorker::whenIdle(QObject* context, std::function<void()> f)
{
    if (!m_busy) {
        f();
        return;
    }
    m_whenIdle.emplace_back(context, std::move(f));
}

void TaskWorker::stopThenIdle(QObject* context, std::function<void()> f)
{
    requestStop();
    whenIdle(context, std::move(f));
}

void TaskWorker::work()
{
    if (m_job)
        m_job();
}

} // namespace tovrin::jobs
