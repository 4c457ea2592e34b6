#include "DetectionWait.h"

namespace tovrin::update {

DetectionWait::DetectionWait(QObject* parent)
    : QObject(parent)
{
    // Each code carries the run that sent it: a code still queued from an
    // earlier run is dropped.
    connect(&m_thread, &device::DetectionThread::sendShowData, &m_thread, [this](int code) {
        const unsigned run = m_run.load();
        QMetaObject::invokeMethod(this, [this, code, run] {
            if (run != m_run.load())
                return;
            using namespace device::detection;
            if (code == kApplicationOpened || code == kBootLoaderOpened || code == kNoFrame || code == kLostDuringUpdate)
                m_thread.requestStop();
            Q_EMIT reported(code);
        }, Qt::QueuedConnection);
    }, Qt::DirectConnection);
}

DetectionWait::~DetectionWait()
{
    stop();
}

void DetectionWait::stop()
{
    m_thread.stopAndWait();
}

void DetectionWait::start(uint8_t state)
{
    stop();
    ++m_run;
    device::CheckCount = 0;
    device::DeviceCheckState = state;
    m_thread.startWork();
}

} // namespace tovrin::update
