#pragma once
// TaskWorker: a window's short frame job that needs no worker class of its
// own (a mode switch and a few record reads, say). The job runs in the
// worker's thread and writes its results where it was told (a shared_ptr it
// holds, never the window); `then` runs in the window's thread once the job
// has ended, and may read them from there on.
//
//   auto got = std::make_shared<Got>();
//   m_task.run([got] { got->mode = device::SwitchModeChecked(...); },
//              this, [this, got] { show(got->mode); });

#include "jobs/Worker.h"

#include <functional>

namespace tovrin::jobs {

class TaskWorker : public Worker {
    Q_OBJECT
public:
    using Worker::Worker;
    ~TaskWorker() override;

    // Starts job; then runs in context's thread when it has ended (never once
    // context is gone). False, and nothing runs, while a job is under way.
    bool run(std::function<void()> job, QObject* context, std::function<void()> then);

protected:
    void work() override;

private:
    std::function<void()> m_job;
};

} // namespace tovrin::jobs
