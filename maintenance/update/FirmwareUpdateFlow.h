#pragma once
// The window side of a firmware update, without widgets: the engineering
// window and tovrin-cli both drive it.
//
//   idle --start--> preparing --boot loader seen--> transferring --code 4--> finishing --application seen--> idle
//          (frame already in its boot loader: straight to transferring)
//
// Preparing: calibration mode, the image information of Slave then Master,
// Reboot(0x42), then the frame detection waits for the boot loader (product
// 0x0042). Prepared: the image information of both units again, and when
// either image is older than 1.2.0 the calibration sectors (0x11000) of
// Slave then Master are erased; then CFirmwareUpdateThread sends the jobs.
// Finishing: the package path is stored, Reboot(0x55), and the detection
// waits for the application to come back. A frame that was lost, or that an
// update left in its boot loader, stays "prepared": the next update starts
// from there.
//
// The owner shows the status messages, the progress and the button states
// it is told, asks its frame detection to wait when told, and hands over the
// detection's codes with onDetection().
//
// Every step that talks to the frame (the mode switch, the reads, erases and
// restarts around the transfer, and the transfer itself) runs in a worker
// thread; the flow goes on in its own thread when the step is done, so a
// silent frame never holds the owner's event loop.

#include "FirmwareUpdateThread.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace tovrin::update {

class FirmwareUpdateFlow : public QObject {
    Q_OBJECT
public:
    // Starting: the first steps (mode switch, version reads, restart into
    // the boot loader) are under way; the detection's codes meanwhile are
    // the frame restarting, not news for the owner.
    enum class Phase { Idle, Starting, Preparing, Transferring, Finishing };
    enum class Outcome {
        Updated,    // the application came back after the update
        Refused,    // the package was not accepted; the frame was not touched
        Failed,     // a device step failed; the frame may be left in its boot loader
        FrameLost,  // the frame went away (or its boot loader never came)
    };
    Q_ENUM(Outcome)

    explicit FirmwareUpdateFlow(QObject* parent = nullptr);
    ~FirmwareUpdateFlow() override;

    Phase phase() const { return m_phase; }
    // The update-running mark: from the start until the jobs are done.
    bool running() const { return m_running; }
    // The prepared mark: the frame runs its boot loader.
    bool prepared() const { return m_prepared; }
    void setPrepared(bool prepared) { m_prepared = prepared; }
    int progress() const { return m_progress; }
    const QString& packagePath() const { return m_path; }
    uint64_t packageBytes() const { return m_package ? m_package->bytesToSend() : 0; }
    // The package of the last update started (null before).
    std::shared_ptr<const UpdatePackage> package() const { return m_package; }
    CFirmwareUpdateThread& thread() { return *m_thread; }

    // Checks the package and starts the update (the caller has checked that
    // a frame is connected and stopped its other workers).
    void start(const QString& path);

    // A code of the frame detection. True when the update consumed it; the
    // owner handles the others as usual (13 after the update shows the new
    // status test result, 14 outside an update offers the update).
    bool onDetection(int code);

    // Stops the thread and waits (the owner is going away); a step under
    // way ends with its request, and nothing follows it.
    void abort();

Q_SIGNALS:
    void statusChanged(int messageId);
    // Never goes backwards within one update.
    void progressChanged(int percent);
    void progressVisible(bool visible);
    // While locked the owner disables its main buttons.
    void functionsLocked(bool locked);
    // The owner's detection must wait for the frame: state 3 (boot loader) or 4 (application).
    void waitForFrame(uint8_t detectionState);
    // The frame is gone: the owner looks for it again from the start.
    void frameLost();
    void ended(tovrin::update::FirmwareUpdateFlow::Outcome outcome, int messageId);

private:
    void onThreadCode(int code);
    void continuePrepared();
    void startTransfer();
    void finish();
    void showProgress(int percent);
    void end(Outcome outcome, int messageId);
    // there: the frame was there when the failing step ended.
    void failDevice(int messageId, bool there);
    // Runs step in a thread of its own, then then(result) in this object's
    // thread, unless the flow ended or was aborted meanwhile.
    template <typename Result>
    void runStep(std::function<Result()> step, std::function<void(const Result&)> then);

    std::unique_ptr<CFirmwareUpdateThread> m_thread;
    std::shared_ptr<UpdatePackage> m_package;
    QString m_path;
    Phase m_phase = Phase::Idle;
    bool m_running = false;
    bool m_prepared = false;
    int m_progress = 0;
    QPointer<QThread> m_stepThread;
    unsigned m_stepGeneration = 0;
};

} // namespace tovrin::update
