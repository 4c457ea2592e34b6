#pragma once
// The two calibration workers: CalibrationThread runs the 16-point
// calibration, FastCalibrationThread the 4-point one (CalibrationJob.h has
// the run and its codes). A window owns one of each, starts the one of the
// chosen mode and stops both before it touches the frame itself.
//
// Codes go out with sendData(int), connected queued to the window's
// recvData(int). The worker holds no widget and shares with the window only
// the run state of RunState.h. A run starts with startWork() and ends at its
// next step once asked to stop (jobs/Worker.h).

#include "calibration/run/CalibrationJob.h"

#include "jobs/Worker.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace tovrin::calib {

class CalibrationThread : public jobs::Worker {
    Q_OBJECT
public:
    // The screen to calibrate (the desktop, in pixels).
    CalibrationThread(int width, int height, QObject* parent = nullptr);
    ~CalibrationThread() override;

    void setScreen(int width, int height);
    // The line-image operations of the run (the device's by default).
    void setFrameImages(std::shared_ptr<FrameImages> images);

    // The report of the last run that ended.
    RunReport report() const;

protected:
    void work() override;
    virtual GridKind kind() const { return GridKind::Sixteen; }
    virtual const char* threadName() const { return "CalibrationThread"; }

private:
    std::atomic<int> m_width;
    std::atomic<int> m_height;
    std::shared_ptr<FrameImages> m_images;
    mutable std::mutex m_reportMutex;
    RunReport m_report;
};

class FastCalibrationThread : public CalibrationThread {
    Q_OBJECT
public:
    using CalibrationThread::CalibrationThread;
    ~FastCalibrationThread() override;

protected:
    GridKind kind() const override { return GridKind::Four; }
    const char* threadName() const override { return "FastCalibrationThread"; }
};

} // namespace tovrin::calib
