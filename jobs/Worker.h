#pragma once
// Worker: the one life of every worker thread. A worker keeps only its job
// (work()); the base owns the rest:
//
//   startWork()     starts a run unless one is under way; a restart first
//                   reads the end of the last run (below), so what that run
//                   wrote is ordered before what the new one writes.
//   requestStop()   asks the run to end and returns at once; the job looks
//                   at stopRequested() (or hands stopFlag() to its waits)
//                   between its steps.
//   ended()         the signal that the run is over, in the worker object's
//                   thread (the window's). Everything the run wrote may be
//                   read from there on.
//   stopThen(c, f)  for windows: asks to stop and calls f in c's thread once
//                   the run has ended (at once when none runs). A window
//                   never waits on the GUI thread for a worker that may sit
//                   in a 20 s transaction.
//   whenEnded(c, f) calls f in c's thread once the run has ended, without
//                   asking it to stop (a job that must run to its end).
//   stopAndWait()   asks to stop and waits: the command line, tests and
//                   destructors. waitEnded(ms) waits with a bound.
//
// The end of a run is an atomic flag written as the last act of run() and
// read (acquire) before a restart, in ended() and after every wait: a race
// checker does not see the lock behind QThread::isRunning() and wait(), so
// without it every result read after a run would look like a race to it.
//
// A worker's destructor calls stopAndWait() first: the run must be over
// before the worker's own fields go away.

#include <QEvent>
#include <QThread>

#include <atomic>
#include <functional>

namespace tovrin::jobs {

class Worker : public QThread {
    Q_OBJECT
public:
    explicit Worker(QObject* parent = nullptr);
    ~Worker() override;

    // Starts a run unless one is under way (false then): clears the stop
    // request, calls beforeRun() in the caller's thread, starts the thread.
    bool startWork();
    // Asks the run to end at its next check; returns at once.
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    // requestStop(), then waits for the run to end (and calls stopping()
    // once more: the run may have set its shared flags again meanwhile).
    void stopAndWait();
    // Waits at most ms for the run to end; true when it has (or none ran).
    bool waitEnded(int ms);
    // requestStop(); `then` runs in context's thread when the run has ended,
    // at once when no run is under way. Nothing runs when context is gone.
    void stopThen(QObject* context, std::function<void()> then);
    // `then` runs in context's thread when the run has ended, at once when
    // no run is under way; the run is not asked to stop.
    void whenEnded(QObject* context, std::function<void()> then);
    // No run is under way (a run that has ended counts as ended even while
    // its thread still winds down).
    bool hasEnded() const { return m_ended.load(std::memory_order_acquire); }

Q_SIGNALS:
    // The worker's codes to its window (the table is each worker's own).
    void sendData(int code);
    // The run is over; emitted in the worker object's thread.
    void ended();

protected:
    // The job, in the worker's thread. It ends when it returns.
    virtual void work() = 0;
    // In startWork(), before the thread starts: the fields of a run are reset here.
    virtual void beforeRun() {}
    // In requestStop(), in the caller's thread: shared flags the job watches
    // besides its own stop request.
    virtual void stopping() {}
    const std::atomic<bool>* stopFlag() const { return &m_stop; }
    // The job stops itself (as if asked) without the stopping() hook.
    void markStopped() { m_stop.store(true); }

    bool event(QEvent* e) override;

private:
    void run() final;
    static QEvent::Type runEndedEvent();
    using QThread::start;      // startWork() is the way in
    using QThread::terminate;  // a worker is never killed in a transaction

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{true};
};

} // namespace tovrin::jobs
