#pragma once
// ExposureThread: asks the frame to choose the exposure of the Master, then
// of the Slave, and reports each result (codes in LevelingCodes.h,
// namespace exposure). The firmware measures and chooses; the thread keeps
// the word, the columns that come with it and the out-of-range mark of
// each unit in the shared leveling state.
//
// The leveling window starts it after stopping CImagePreviewThread, so the
// two never talk to the frame at once.

#include <QThread>

#include <atomic>

namespace tovrin::leveling {

class ExposureThread : public QThread {
    Q_OBJECT
public:
    explicit ExposureThread(QObject* parent = nullptr);
    ~ExposureThread() override;

    // Clears the stop flag and starts the run.
    void startExposure();
    // Asks the run to end and returns at once; it ends after the request it
    // is in (a window goes on when it has ended, isRunning).
    void requestStop() { m_stop = true; }
    // Asks the run to end and waits for it (command line, tests).
    void stopExposure();

Q_SIGNALS:
    void sendData(int code);

protected:
    void run() override;

private:
    // The checks before each request: false when the run must end (device
    // lost is reported with code 6).
    bool mayGoOn();
    bool askUnit(int unit);
    void runUnits();

    std::atomic<bool> m_stop{false};
    // Set as the last act of run(); read by a restart (see CImagePreviewThread).
    std::atomic<bool> m_ended{true};
};

} // namespace tovrin::leveling
