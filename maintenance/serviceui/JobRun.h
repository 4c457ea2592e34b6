#pragma once
// The life of a debug-page job as its controller sees it: from the start of
// a run to the handling of its end, whether another job asked it to stop,
// and who waits for that end. The controller handles the end in its slot
// for the worker's ended() signal:
//
//     if (!m_run.active()) return;
//     const bool stopped = m_run.end();   // another job asked it to stop
//     ... say what happened, Q_EMIT finished(...) ...
//     m_run.notifyEnded();                // then those who waited go on
//
// Before its run a job waits for the frame's switch to calibration mode in
// the window's task: prepare() when it is asked for, and in the switch's
// then `if (!m_run.prepared()) return;` before start(). A stop asked for
// meanwhile (the guard of another job) cancels it.
//
// Nothing here waits, except abandon() for the controller's destructor.

#include "jobs/Worker.h"

#include <functional>
#include <utility>
#include <vector>

namespace tovrin::maintenance {

class JobRun {
public:
    explicit JobRun(jobs::Worker& worker) : m_worker(worker) {}

    // The job was asked for and waits for its switch before the run.
    void prepare() { m_preparing = true; }
    // It still waits (nobody stopped it): it is no longer waiting, and the
    // run may start now.
    bool prepared() { return std::exchange(m_preparing, false); }
    // It waits for its switch, runs, or its end has not been handled yet.
    bool busy() const { return m_preparing || m_active; }

    // Starts a run; true when one began.
    bool start()
    {
        m_preparing = false;
        m_stopAsked = false;
        m_active = m_worker.startWork();
        return m_active;
    }
    // A run is under way, or its end has not been handled yet.
    bool active() const { return m_active; }

    // Asks the run to stop and returns at once; whenEnded runs after
    // notifyEnded(), at once when no run is active (a job waiting for its
    // switch never starts). A run that has ended by itself was not stopped
    // by anyone.
    void stopThen(std::function<void()> whenEnded)
    {
        if (!m_active) {
            m_preparing = false;
            if (whenEnded)
                whenEnded();
            return;
        }
        if (!m_worker.hasEnded())
            m_stopAsked = true;
        if (whenEnded)
            m_whenEnded.push_back(std::move(whenEnded));
        m_worker.requestStop();
    }

    // The end is being handled: the run is no longer active. True when
    // another job had asked it to stop.
    bool end()
    {
        m_active = false;
        return std::exchange(m_stopAsked, false);
    }
    // Those who waited for the end go on (each once).
    void notifyEnded()
    {
        for (const std::function<void()>& f : std::exchange(m_whenEnded, {}))
            f();
    }

    // For the controller's destructor: nobody listens any more, and the run
    // must be over before the controller's fields go.
    void abandon()
    {
        m_whenEnded.clear();
        m_worker.stopAndWait();
    }

private:
    jobs::Worker& m_worker;
    bool m_preparing = false;
    bool m_active = false;
    bool m_stopAsked = false;
    std::vector<std::function<void()>> m_whenEnded;
};

} // namespace tovrin::maintenance
