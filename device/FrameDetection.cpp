#include "device/FrameDetection.h"

#include "device/UdevMonitor.h"

#include <utility>

namespace tovrin::device {

void FrameDetection::watchArrivals(QObject* window)
{
    auto* udev = new UdevMonitor(window);
    QObject::connect(udev, &UdevMonitor::deviceAdded, window, [this](const QString&) {
        if (!m_closed && !isRunning())
            restart();
    });
}

void FrameDetection::restart()
{
    DeviceCheckState = kStateOpen;
    if (!m_closed && !isRunning()) {
        m_thread->startWork();
    }
}

void FrameDetection::restartIn(uint8_t state)
{
    if (m_closed)
        return;
    stop();
    m_relay->nextRun();
    CheckCount = 0;
    DeviceCheckState = state;
    m_thread->startWork();
}

void FrameDetection::close()
{
    m_closed = true;
    stop();
}

void FrameDetection::closeThen(QObject* context, std::function<void()> then)
{
    m_closed = true;
    if (m_thread)
        m_thread->stopThen(context, std::move(then));
    else
        then();
}

void FrameDetection::stop()
{
    if (m_thread) {
        m_thread->requestStop();
        m_thread->wait();
    }
}

} // namespace tovrin::device
