#pragma once
// The key windows on a frame with a finger of its own (device/Finger.h:
// the simulated frame of --simulate and of the tests): the frame carries
// the keys Tovrin.ini describes, printed on its border, and a point of a key
// window stands for a point of the frame, so that the mouse hook
// (calibration/ui/MouseFinger.h) can put the finger there. On a real frame
// these do nothing.

#include "keys/core/KeyLayout.h"

#include <QPointF>

#include <optional>

namespace tovrin::keys::ui {

// Makes sure the frame carries the printed keys of this layout.
void printKeysForFinger(const KeyConfiguration& configuration);

// The frame point a window point of `depiction` touches: on a drawn key
// (with a few pixels of slack, so that its far corner counts) the same
// place of the printed key; in the projection area the corresponding point
// of the picture; elsewhere, or without a finger, nothing.
std::optional<QPointF> fingerKeyTouch(const KeyDepiction& depiction, const QPointF& windowPoint);

} // namespace tovrin::keys::ui
