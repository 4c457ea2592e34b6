#include "LevelingLauncher.h"

#include "widgets/FullScreen.h"

namespace tovrin::leveling {

LevelingOpening openLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous)
{
    LevelingOpening o;
    o.opening = openLeveling();
    if (!o.opening.ok)
        return o;
    delete previous;
    previous = new AdjustScreenWin(mainWindow);
    widgets::showFullScreenOn(previous);
    o.window = previous;
    return o;
}

} // namespace tovrin::leveling
