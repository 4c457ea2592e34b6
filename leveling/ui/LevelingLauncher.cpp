#include "LevelingLauncher.h"

namespace tovrin::leveling {

LevelingOpening openLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous)
{
    LevelingOpening o;
    o.opening = openLeveling();
    if (!o.opening.ok)
        return o;
    delete previous;
    previous = new AdjustScreenWin(mainWindow);
    previous->showFullScreen();
    o.window = previous;
    return o;
}

} // namespace tovrin::leveling
