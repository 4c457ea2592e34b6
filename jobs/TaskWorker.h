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

#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

namespace tovrin::jobs {

class TaskWorker : public Worker {
    Q_OBJECT
public:
    using Worker::Worker;
    ~TaskWorker() override;

    // Starts job; then runs in context's thread when it has ended (never once
    // context is gone). False, and nothing runs, while the worker is busy.
    bool run(std::function<void()> job, QObject* context, std::function<void()> then);

    // A job runs, or has ended and its then has not run yet (an end not yet
    // heard in the window's thread). The window's thread only, as below.
    bool busy() const { return m_busy; }
    // f runs once the worker is no longer busy (at once when it is not), in
    // context's thread; never once context is gone.
    void whenIdle(QObject* context, std::function<void()> f);
    // Asks the job to stop (a then not yet run finds stopRequested()), then
    // whenIdle.
    void stopThenIdle(QObject* context, std::function<void()> f);

protected:
    void work() override;

private:
    void thenRan();

    std::function<void()> m_job;
    bool m_busy = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_whenIdle;
};

} // namespace tovrin::jobs
