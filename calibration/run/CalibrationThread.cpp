#include "calibration/run/CalibrationThread.h"

namespace tovrin::calib {

CalibrationThread::CalibrationThread(int width, int height, QObject* parent)
    : Worker(parent)
    , m_width(width)
    , m_height(height)
    , m_images(makeDeviceFrameImages())
{
}

CalibrationThread::~CalibrationThread()
{
    stopAndWait();
}

FastCalibrationThread::~FastCalibrationThread()
{
    // The run calls this class's kind(): it must end before this part goes.
    stopAndWait();
}

void CalibrationThread::setScreen(int width, int height)
{
    m_width = width;
    m_height = height;
}

void CalibrationThread::setFrameImages(std::shared_ptr<FrameImages> images)
{
    if (hasEnded() && images)
        m_images = std::move(images);
}

RunReport CalibrationThread::report() const
{
    std::lock_guard lock(m_reportMutex);
    return m_report;
}

void CalibrationThread::work()
{
    CalibrationJob::Hooks hooks;
    hooks.send = [this](int c) { Q_EMIT sendData(c); };
    hooks.stop = stopFlag();
    hooks.threadName = threadName();
    hooks.ended = [this](const RunReport& report) {
        std::lock_guard lock(m_reportMutex);
        m_report = report;
    };
    CalibrationJob job(kind(), m_width, m_height, *m_images, hooks);
    job.run();
}

} // namespace tovrin::calib
