#include "jobs/TaskWorker.h"

#include <utility>

namespace tovrin::jobs {

TaskWorker::~TaskWorker() { stopAndWait(); }

bool TaskWorker::run(std::function<void()> job, QObject* context, std::function<void()> then)
{
    if (!hasEnded())
        return false;
    m_job = std::move(job);
    if (!startWork())
        return false;
    whenEnded(context, std::move(then));
    return true;
}

void TaskWorker::work()
{
    if (m_job)
        m_job();
}

} // namespace tovrin::jobs
