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

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace tovrin::device {
struct ModeSwitchOutcome;
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
        std::function<bool()> running;
        std::function<void()> stop;  // stops it and waits for it
        // The log line when the work-mode switch after stopping it fails
        // while the window closes (a printf format with g_isSwitchMode).
        const char* closeLog = "closeEvent :Switch to work mode failed! g_isSwitchMode=%d\n";
    };

    explicit JobLauncher(Hooks hooks) : m_hooks(std::move(hooks)) {}

    void addWorker(Worker worker) { m_workers.push_back(std::move(worker)); }

    // Stops the running workers, then checks the frame (message 14 when it
    // is not connected).
    bool guard();
    // The guard without stopping anything (the preview's own button).
    bool guardOnly();

    // Stops every running worker and waits; when closing, switches to work
    // mode after each one (a failure is logged with the worker's line).
    void stopWorkers(bool closing = false);
    bool anyWorkerRunning() const;

    bool calibrationMode();
    bool workMode();
    bool switchMode(uint8_t modeCode);
    // What switchMode does after a switch another library made: shows its
    // failure (or treats the frame as gone). Returns outcome.ok.
    bool switchFailureShown(const device::ModeSwitchOutcome& outcome);
    // A switch whose failure is only logged (printf format with g_isSwitchMode).
    bool switchModeLogged(uint8_t modeCode, const char* failureLog);

    // The whole pattern around a job. A job that returns false has shown
    // why it stopped and leaves the frame in calibration mode; true: the
    // frame goes back to work mode. Returns whether the job ran and succeeded.
    bool run(const std::function<bool()>& job);

private:
    Hooks m_hooks;
    std::vector<Worker> m_workers;
};

} // namespace tovrin::windows
