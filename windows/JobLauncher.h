#pragma once
// Every job the engineering window starts goes through here, in one order:
// guard (the frame is connected, else message 14), stop the preview and any
// other worker that talks to the frame, calibration mode (0xFF), the job,
// work mode (0x22). A failed switch shows what the status and mode layer
// decided (message 142 with both error words, or 18); a frame that is not
// there at all is the window's device-lost case.
//
// The launcher holds no widgets: the window hands it what it needs to know
// (is the frame connected) and to do (show a status, treat the frame as lost).
//
// It never waits for a worker: a worker asked to stop ends at its next
// check, which may lie behind a request the frame takes seconds to answer.
// The guard asks the running workers to stop and says no; once the last
// has ended, the job the technician asked for is tried again (its retry).
//
// Nor does the window wait for the frame: the window's own short frame
// jobs (a mode switch, a few record reads) run in the launcher's task
// worker, one of its workers like the others, and the window goes on in
// their `then`.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QObject;

namespace tovrin::device {
struct ModeSwitchOutcome;
}

namespace tovrin::jobs {
class TaskWorker;
}

namespace tovrin::windows {

class JobLauncher {
public:
    struct Hooks {
        std::function<bool()> connected;
        std::function<void(int messageId)> showStatus;
        std::function<void()> frameGone;         // g_bDevExist was 0: nothing was sent
        std::function<void()> markNotConnected;  // the frame stopped answering a switch
    };

    // A worker thread that talks to the frame: the preview of the debug
    // page, the FPGA download, the script runner.
    struct Worker {
        QString name;
        // It runs, or was asked to stop and has not ended yet.
        std::function<bool()> running;
        // Asks it to stop and returns at once; whenEnded runs in the window's
        // thread once its run is over (at once when none runs). It is bound
        // to the window or one of its children: it never runs once the
        // window is gone.
        std::function<void(std::function<void()> whenEnded)> stopThen;
        // The log line when the work-mode switch after stopping it fails
        // while the window closes (a printf format with g_isSwitchMode).
        const char* closeLog = "closeEvent :Switch to work mode failed! g_isSwitchMode=%d\n";
    };

    // window: the context of the task worker's `then` (nothing runs once it
    // is gone) and the worker's parent.
    JobLauncher(Hooks hooks, QObject* window) : m_hooks(std::move(hooks)), m_window(window) {}

    void addWorker(Worker worker) { m_workers.push_back(std::move(worker)); }

    // Checks the frame (message 14 when it is not connected) once no worker
    // runs. When one does: asks every running worker to stop, says false at
    // once, and calls retry when the last has ended. A job asked for while
    // the stop is under way takes the place of the one waiting (the latest
    // click wins, and runs once). While the window closes: false, nothing
    // waits.
    bool guard(std::function<void()> retry);
    // The guard without stopping anything (the preview's own button, Step
    // Debug); false while the window closes.
    bool guardOnly();

    // Asks every running worker to stop, without waiting. True when none is
    // left running: the caller goes on (then is not called). False: then
    // runs once the last has ended; a later call's then takes its place.
    // closing: the window closes (from now on nothing else starts), and
    // the frame goes back to work mode after each worker (a failure is
    // logged with the worker's line).
    bool stopWorkers(std::function<void()> then, bool closing = false);
    bool anyWorkerRunning() const;
    // Workers were asked to stop and not all have ended.
    bool stopping() const { return m_pendingStops > 0; }

    // After a switch made elsewhere (a worker, another library): shows its
    // failure (message 142 or 18), or treats the frame as gone. Returns
    // outcome.ok.
    bool switchFailureShown(const device::ModeSwitchOutcome& outcome);
    // A switch in the task worker whose failure is only logged (printf
    // format with g_isSwitchMode); then (may be empty) runs in the window's
    // thread once it has been made, as inTask says.
    void switchModeLoggedThen(uint8_t modeCode, const char* failureLog, std::function<void()> then = {});

    // The window's task worker (made on first use and added to the workers).
    jobs::TaskWorker& task();
    // job in the task worker, then in the window's thread once it has ended.
    // A task under way is waited for first, not stopped. Nothing runs while
    // the window closes; then does not run when another job took the task's
    // place (the guard stopped it).
    void inTask(std::function<void()> job, std::function<void()> then);
    // As inTask, but then also runs when another job took the task's place
    // while job ran, and hears so (superseded): a request that was made is
    // still reported, and nothing more is started from there.
    void inTaskReported(std::function<void()> job, std::function<void(bool superseded)> then);
    // A mode switch in the task worker; a failure is shown as
    // switchFailureShown shows it, then `then` (may be empty) hears whether
    // it took.
    void switchModeThen(uint8_t modeCode, std::function<void(bool ok)> then = {});

    // The whole pattern around a job: the guard here, then calibration mode,
    // the job and (when it returns true) work mode in the task worker. A
    // failed switch is shown; a job that returns false has shown why it
    // stopped (from then) and leaves the frame in calibration mode. then
    // runs in the window's thread with the job's result unless the switch
    // into calibration mode failed, or as inTask says; retry as for guard().
    void runThen(std::function<bool()> job, std::function<void()> retry, std::function<void(bool ok)> then);

private:
    void workerEnded(const char* closeLog);
    // While the window closes: the work-mode switch behind a worker that has
    // ended, in the task worker, then oneStopEnded().
    void closingSwitch(const char* closeLog);
    void oneStopEnded();

    Hooks m_hooks;
    QObject* m_window;
    jobs::TaskWorker* m_task = nullptr;
    std::vector<Worker> m_workers;
    int m_pendingStops = 0;      // workers asked to stop that have not ended yet
    std::function<void()> m_then;  // what runs when the last has ended
    bool m_closing = false;
};

} // namespace tovrin::windows
