#include "DetectionWait.h"

namespace tovrin::update {

DetectionWait::DetectionWait(QObject* parent)
    : QObject(parent)
{
    connect(&m_thread, &device::DetectionThread::sendShowData, this, [this](int code) {
        using namespace device::detection;
        if (code == kApplicationOpened || code == kBootLoaderOpened || code == kNoFrame || code == kLostDuringUpdate)
            m_thread.requestStop();
        Q_EMIT reported(code);
    }, Qt::QueuedConnection);
}

DetectionWait::~DetectionWait()
{
    stop();
}

void DetectionWait::stop()
{
    m_thread.requestStop();
    m_thread.wait();
}

void DetectionWait::start(uint8_t state)
{
    stop();
    device::CheckCount = 0;
    device::DeviceCheckState = state;
    m_thread.prepareStart();
    m_thread.start();
}

} // namespace tovrin::update
