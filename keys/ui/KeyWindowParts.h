#pragma once
// What the two key windows share: their size, their skinned buttons and
// labels and where these sit around the key layout.

#include "keys/core/KeyLayout.h"

#include <QSize>
#include <QString>

#include <vector>

class QLabel;
class QWidget;

namespace tovrin::widgets {
class Button;
}

namespace tovrin::keys::ui {

// The window's size: the requested one, else the primary screen's.
QSize keyWindowSize(QSize requested);

// A button of the "keyCalibration/" skin with a message as its caption.
widgets::Button* makeKeyButton(QWidget* parent, int captionId, const char* objectName);

// A label in the windows' text colour rgb(0,38,102), word-wrapped, centred.
QLabel* makeKeyLabel(QWidget* parent, const char* objectName);

// The status label and the second label inside the lower half of the
// projection area; the buttons in a row at the window's bottom right.
void placeKeyLabels(const KeyDepiction& depiction, QLabel* status, QLabel* second);
void placeKeyButtons(QWidget* window, const std::vector<widgets::Button*>& buttons);

// The frame is there and talking.
bool frameConnected();

constexpr int kDevicePulledOutMessage = 61;

} // namespace tovrin::keys::ui
