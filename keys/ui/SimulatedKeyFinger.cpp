#include "keys/ui/SimulatedKeyFinger.h"

#include "device/HidLink.h"
#include "sim/KeyPanel.h"
#include "sim/SimTransport.h"

#include <algorithm>

namespace tovrin::keys::ui {

sim::KeyPanel* simulatedKeyPanel()
{
    auto* transport = dynamic_cast<sim::SimTransport*>(device::currentTransport().get());
    return transport && transport->frame() ? &transport->frame()->keyPanel() : nullptr;
}

void printSimulatedKeys(const KeyConfiguration& configuration)
{
    sim::KeyPanel* panel = simulatedKeyPanel();
    if (!panel || panel->hasPrintedKeys() || checkConfiguration(configuration) != LayoutCheck::Ok)
        return;
    sim::KeyPanel::EdgeGroups groups;
    for (Edge e : kEdgeOrder) {
        const EdgeGroups& g = configuration.edge(e);
        for (int i = 0; i < g.groupCount; ++i)
            groups[static_cast<size_t>(e - 1)].push_back(g.keys[static_cast<size_t>(i)]);
    }
    panel->printKeys(groups);
}

void pressSimulatedFinger(const KeyDepiction& d, const QPoint& at)
{
    sim::KeyPanel* panel = simulatedKeyPanel();
    if (!panel || d.width <= 0 || d.height <= 0)
        return;
    // A drawn key (a few pixels of slack, so that its far corner counts):
    // the same place on the printed key.
    constexpr int kSlack = 6;
    for (Edge e : kEdgeOrder) {
        const auto& keys = d.edgeKeys(e);
        for (size_t i = 0; i < keys.size(); ++i) {
            const QRect& k = keys[i];
            if (!k.adjusted(-kSlack, -kSlack, kSlack, kSlack).contains(at))
                continue;
            const double fx = std::clamp((at.x() - k.x()) / double(std::max(1, k.width())), 0.0, 1.0);
            const double fy = std::clamp((at.y() - k.y()) / double(std::max(1, k.height())), 0.0, 1.0);
            panel->touchKey(e, static_cast<int>(i) + 1, fx, fy);
            return;
        }
    }
    // The projection area stands for the whole picture.
    const QRect& area = d.projection;
    if (area.contains(at)) {
        const double fx = (at.x() - area.x()) / double(std::max(1, area.width()));
        const double fy = (at.y() - area.y()) / double(std::max(1, area.height()));
        panel->touch(fx * panel->screenWidth(), fy * panel->screenHeight());
    }
}

void releaseSimulatedFinger()
{
    if (sim::KeyPanel* panel = simulatedKeyPanel())
        panel->lift();
}

} // namespace tovrin::keys::ui
