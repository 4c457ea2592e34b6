#pragma once
// Skin folder and fonts chosen by the size of the primary screen.

#include "AppContext.h"

#include <QString>

namespace tovrin::shell {

struct SkinChoice {
    int portrait = 0;      // 1 when the screen is at least as tall as it is wide
    int reference = 0;     // the width, or the height of a portrait screen
    QString skinPath;      // skin/1024/, skin/1440/ or skin/1920/ of the shared folder (Folders.h)
    FontStyle titleFont;    // "Arial black"
    FontStyle buttonFont;   // "Calibri"
    FontStyle applicationFont;
};

// The choice for a screen of the given size in pixels.
SkinChoice skinForScreen(int width, int height);

// Fills the context's orientation, skin path and fonts from the primary
// screen and returns the screen width in pixels. Needs a GUI application;
// without a screen a 1920 x 1080 screen is assumed.
int SelectSkin();

// Width of the primary screen in pixels (1920 when there is no screen).
int ScreenWidth();

} // namespace tovrin::shell
