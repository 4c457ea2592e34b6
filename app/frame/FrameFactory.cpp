#include "app/frame/FrameFactory.h"

#include "device/Finger.h"
#include "device/HidLink.h"
#include "device/HidapiTransport.h"
#include "sim/FactoryFrame.h"
#include "sim/SimEnvironment.h"
#include "sim/SimFinger.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <QByteArray>
#include <QtGlobal>

namespace tovrin::app {

bool simulateFromEnvironment()
{
    return qgetenv("TOVRIN_SIMULATE") == "1";
}

ChosenFrame makeFrame(const FrameChoice& choice)
{
    ChosenFrame chosen;
    if (!choice.simulate) {
        chosen.transport = choice.node.empty() ? std::make_shared<device::HidapiTransport>()
                                               : std::make_shared<device::HidapiTransport>(choice.node);
        return chosen;
    }
    std::shared_ptr<sim::SimulatedFrame> frame = sim::makeDefaultSimulatedFrame();
    chosen.unknownItem = QString::fromStdString(sim::applySimulationEnvironment(*frame));
    chosen.transport = sim::makeSimTransport(frame);
    chosen.finger = sim::makeSimFinger(frame);
    chosen.flush = [frame] { return frame->flush(); };
    return chosen;
}

void installFrame(const ChosenFrame& frame)
{
    device::setTransport(frame.transport);
    device::setFinger(frame.finger);
}

void removeFrame()
{
    device::setFinger(nullptr);
    device::setTransport(nullptr);
}

} // namespace tovrin::app
