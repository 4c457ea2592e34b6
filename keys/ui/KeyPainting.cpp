#include "keys/ui/KeyPainting.h"

#include <QPainter>

#include <algorithm>

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
    const QFont textFont = p.font();
    if (!scene.title.isEmpty()) {
        QFont titleFont = textFont;
        titleFont.setPixelSize(std::max(12, d.height / 32));
        titleFont.setBold(true);
        p.setFont(titleFont);
        p.setPen(QColor(0, 38, 102));
        p.drawText(QRect(d.width / 40, d.height / 40, d.width / 2, d.height / 12), Qt::AlignLeft | Qt::AlignVCenter,
                   scene.title);
        p.setFont(textFont);
    }
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
    // Each key with its number on the edge, so that a technician can tell
    // which key the frame reported.
    QFont numberFont = p.font();
    for (Edge e : kEdgeOrder) {
        const auto& keys = d.edgeKeys(e);
        for (size_t i = 0; i < keys.size(); ++i) {
            const bool pressed = scene.pressed.edge == e && scene.pressed.number == static_cast<int>(i) + 1;
            p.fillRect(keys[i], pressed ? QColor(255, 0, 0) : QColor(238, 243, 250));
            p.setPen(QPen(Qt::black, 1));
            p.drawRect(keys[i]);
            numberFont.setPixelSize(std::max(7, std::min(keys[i].height(), keys[i].width()) * 2 / 5));
            p.setFont(numberFont);
            p.setPen(pressed ? QColor(255, 255, 255) : QColor(110, 125, 150));
            p.drawText(keys[i], Qt::AlignCenter, QString::number(i + 1));
        }
    }
    p.setPen(QPen(Qt::black, 1));
    if (!scene.capturedMark.isNull()) {
        const int side = 2 * targetRadius(d.height);
        const QPixmap mark = scene.capturedMark.width() > side
                                 ? scene.capturedMark.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                 : scene.capturedMark;
        for (const QPoint& c : scene.captured)
            p.drawPixmap(c - QPoint(mark.width() / 2, mark.height() / 2), mark);
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
