#include "DetectionWait.h"

namespace tovrin::update {

DetectionWait::DetectionWait(QObject* parent)
    : QObject(parent)
    , m_relay(&m_thread)
{
    connect(&m_relay, &device::DetectionRelay::code, this, [this](int code) {
        using namespace device::detection;
        if (code == kApplicationOpened || code == kBootLoaderOpened || code == kNoFrame || code == kLostDuringUpdate)
            m_thread.requestStop();
        Q_EMIT reported(code);
    });
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
    m_relay.nextRun();
    device::CheckCount = 0;
    device::DeviceCheckState = state;
    m_thread.startWork();
}

} // namespace tovrin::update
