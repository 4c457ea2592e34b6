#pragma once
// Drawing the key layout: the projection area in the middle, every key
// around it with a black 1-pixel outline, the pressed key filled red, and in
// a calibration the corner to touch as a red circle and the corners already
// captured as marks.

#include "keys/core/KeyLayout.h"
#include "keys/core/KeyTestThread.h"

#include <QPixmap>
#include <QString>

#include <optional>

class QPainter;

namespace tovrin::keys::ui {

struct KeyScene {
    const KeyDepiction* depiction = nullptr;
    QString title;                      // at the window's top left
    QString projectionText;             // written inside the projection area
    PressedKey pressed;                 // edge 0: none
    std::optional<QPoint> target;       // the corner to touch now
    std::vector<QPoint> captured;       // corners done
    QPixmap capturedMark;               // drawn centred on each captured corner
};

void paintKeyScene(QPainter& painter, const KeyScene& scene);

// The radius of the target circle for a window of this height.
int targetRadius(int windowHeight);

} // namespace tovrin::keys::ui
