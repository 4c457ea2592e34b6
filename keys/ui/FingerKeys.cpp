#include "keys/ui/FingerKeys.h"

#include "device/Finger.h"

#include <algorithm>

namespace tovrin::keys::ui {

void printKeysForFinger(const KeyConfiguration& configuration)
{
    const auto finger = device::finger();
    if (!finger || finger->hasPrintedKeys() || checkConfiguration(configuration) != LayoutCheck::Ok)
        return;
    finger->printKeys(groupSizesByEdge(configuration));
}

std::optional<QPointF> fingerKeyTouch(const KeyDepiction& d, const QPointF& windowPoint)
{
    const auto finger = device::finger();
    if (!finger || d.width <= 0 || d.height <= 0)
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
            return finger->keyPoint(e, static_cast<int>(i) + 1, fx, fy);
        }
    }
    // The projection area stands for the whole picture.
    const QRect& area = d.projection;
    if (!area.contains(at))
        return std::nullopt;
    const double fx = (windowPoint.x() - area.x()) / double(std::max(1, area.width()));
    const double fy = (windowPoint.y() - area.y()) / double(std::max(1, area.height()));
    const QSize screen = finger->screen();
    return QPointF(fx * screen.width(), fy * screen.height());
}

} // namespace tovrin::keys::ui
