#include "LevelingLauncher.h"

#include "widgets/FullScreen.h"

namespace tovrin::leveling {

LevelingOpening openLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous)
{
    LevelingOpening o;
    o.opening = openLeveling();
    if (!o.opening.ok)
        return o;
    o.window = showLevelingWindow(mainWindow, previous);
    return o;
}

AdjustScreenWin* showLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous,
                                    std::optional<bool> storedLevelingUsable)
{
    delete previous;
    previous = new AdjustScreenWin(mainWindow, storedLevelingUsable);
    widgets::showFullScreenOn(previous);
    return previous;
}

} // namespace tovrin::leveling
