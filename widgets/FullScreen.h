#pragma once
// The screen the frame is mounted on, and windows that cover it.
//
// A technician's computer may have several screens; the frame sits on one
// of them, not necessarily the primary one nor the one at (0,0). Tovrin.ini
// names it (Tovrin_Config/FrameScreen, the screen's name as the system
// gives it, e.g. "HDMI-1"); without the key, or when no screen has that
// name, it is the primary screen. Every full-screen window (calibration,
// leveling, key calibration, key test) covers exactly that screen: the
// calibration targets and captured points are in its coordinates.
//
// Covering a screen does not rely on a window manager: the window gets the
// screen's geometry itself (a kiosk X session has no window manager to obey
// a full-screen request), then asks for full screen, which a window manager
// honours above its panels.

#include <QString>

class QScreen;
class QWidget;

namespace tovrin::widgets {

// The Tovrin.ini key naming the frame's screen.
inline const char* const kFrameScreenKey = "Tovrin_Config/FrameScreen";

// The screen called `name`; nullptr when there is none.
QScreen* screenNamed(const QString& name);

// The frame's screen (see above); nullptr only without any screen.
QScreen* frameScreen();

// Shows `window` covering `screen` entirely (the frame's screen when null).
void showFullScreenOn(QWidget* window, QScreen* screen = nullptr);

} // namespace tovrin::widgets
