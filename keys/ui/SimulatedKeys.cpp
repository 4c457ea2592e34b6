#include "keys/ui/SimulatedKeys.h"

#include "device/HidLink.h"
#include "sim/Fingers.h"
#include "sim/KeyPanel.h"
#include "sim/SimTransport.h"

#include <algorithm>

namespace tovrin::keys::ui {

namespace {

// The simulated frame behind the device link, or null.
sim::SimulatedFrame* simulatedFrame()
{
    auto* transport = dynamic_cast<sim::SimTransport*>(device::currentTransport().get());
    return transport ? transport->frame().get() : nullptr;
}

} // namespace

void printSimulatedKeys(const KeyConfiguration& configuration)
{
    sim::SimulatedFrame* frame = simulatedFrame();
    if (!frame || frame->keyPanel().hasPrintedKeys() || checkConfiguration(configuration) != LayoutCheck::Ok)
        return;
    frame->keyPanel().printKeys(groupSizesByEdge(configuration));
}

std::optional<QPointF> simulatedKeyTouch(const KeyDepiction& d, const QPointF& windowPoint)
{
    sim::SimulatedFrame* frame = simulatedFrame();
    if (!frame || d.width <= 0 || d.height <= 0)
        return std::nullopt;
    const QPoint at = windowPoint.toPoint();
    constexpr int kSlack = 6;
    for (Edge e : kEdgeOrder) {
        const auto& keys = d.edgeKeys(e);
        for (size_t i = 0; i < keys.size(); ++i) {
            const QRect& k = keys[i];
            if (!k.adjusted(-kSlack, -kSlack, kSlack, kSlack).contains(at))
                continue;
            const double fx = std::clamp((windowPoint.x() - k.x()) / double(std::max(1, k.width())), 0.0, 1.0);
            const double fy = std::clamp((windowPoint.y() - k.y()) / double(std::max(1, k.height())), 0.0, 1.0);
            const auto p = frame->keyPanel().keyPoint(e, static_cast<int>(i) + 1, fx, fy);
            if (!p)
                return std::nullopt;
            return QPointF(p->x, p->y);
        }
    }
    // The projection area stands for the whole picture.
    const QRect& area = d.projection;
    if (!area.contains(at))
        return std::nullopt;
    const double fx = (windowPoint.x() - area.x()) / double(std::max(1, area.width()));
    const double fy = (windowPoint.y() - area.y()) / double(std::max(1, area.height()));
    return QPointF(fx * frame->fingers().screenWidth(), fy * frame->fingers().screenHeight());
}

} // namespace tovrin::keys::ui
