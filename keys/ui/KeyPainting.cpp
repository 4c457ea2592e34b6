#include "keys/ui/KeyPainting.h"

#include <QPainter>

namespace tovrin::keys::ui {

int targetRadius(int windowHeight)
{
    return std::max(8, windowHeight / 70);
}

void paintKeyScene(QPainter& p, const KeyScene& scene)
{
    if (!scene.depiction)
        return;
    const KeyDepiction& d = *scene.depiction;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(d.projection);
    if (!scene.projectionText.isEmpty()) {
        p.setPen(QColor(0, 38, 102));
        const QRect inner = d.projection.adjusted(d.width / 40, d.height / 40, -d.width / 40, -d.height / 40);
        p.drawText(inner, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, scene.projectionText);
        p.setPen(QPen(Qt::black, 1));
    }
    for (Edge e : kEdgeOrder) {
        const auto& keys = d.edgeKeys(e);
        for (size_t i = 0; i < keys.size(); ++i) {
            const bool pressed = scene.pressed.edge == e && scene.pressed.number == static_cast<int>(i) + 1;
            p.fillRect(keys[i], pressed ? QColor(255, 0, 0) : QColor(238, 243, 250));
            p.drawRect(keys[i]);
        }
    }
    if (!scene.capturedMark.isNull()) {
        for (const QPoint& c : scene.captured)
            p.drawPixmap(c - QPoint(scene.capturedMark.width() / 2, scene.capturedMark.height() / 2), scene.capturedMark);
    }
    if (scene.target) {
        p.setRenderHint(QPainter::Antialiasing, true);
        const int r = targetRadius(d.height);
        p.setPen(QPen(QColor(255, 0, 0), 3));
        p.drawEllipse(*scene.target, r, r);
        p.drawLine(*scene.target - QPoint(r / 3, 0), *scene.target + QPoint(r / 3, 0));
        p.drawLine(*scene.target - QPoint(0, r / 3), *scene.target + QPoint(0, r / 3));
    }
    p.restore();
}

} // namespace tovrin::keys::ui
