#pragma once
// With --simulate the mouse is the finger on the key windows: a press on a
// drawn key touches the same place of the printed key on the simulated
// frame's border, a press in the projection area touches the picture at the
// corresponding point, and the release lifts the finger. On a real frame
// these do nothing.

#include "keys/core/KeyLayout.h"

#include <QPoint>

namespace tovrin::sim {
class KeyPanel;
}

namespace tovrin::keys::ui {

// The simulated frame's key panel behind the device link, or null.
sim::KeyPanel* simulatedKeyPanel();

// Makes sure the simulated frame carries the printed keys of this layout.
void printSimulatedKeys(const KeyConfiguration& configuration);

// Mouse press / release on a window showing `depiction`.
void pressSimulatedFinger(const KeyDepiction& depiction, const QPoint& windowPoint);
void releaseSimulatedFinger();

} // namespace tovrin::keys::ui
