#pragma once
// The entry point of the leveling job for the engineering window
// ("Leveling", AdjustScreenButSlot). The main window first runs its guard
// (frame connected, else its message 14), stops its Preview page (caption
// back to message 128, PreviewThread stopped, frame buffers closed) and any
// other worker, and shows status message 15. Then:
//
//   const LevelingOpening o = openLevelingWindow(this, m_levelingWindow);
//   if (!o.window) {
//       // o.opening.modeSwitch.ok == false: show o.opening.modeSwitch.messageId
//       //   (142 with the error words, or 18) as after any failed switch;
//       // else show o.opening.statusMessageId (18: a version could not be read;
//       //   the frame is back in work mode).
//       return;
//   }
//   connect(o.window, &AdjustScreenWin::sendShowData, this, &Tovrin::recvShowData);
//
// The window then reports 1 saved (show 106 "Leveling completed!", work
// mode), 2 left without saving (work mode), 3 device lost (the main
// window's code 3). A leveling whose save failed reports 2 after its own
// message 118.

#include "AdjustScreenWin.h"

#include "leveling/core/OpeningSteps.h"

class QWidget;

namespace tovrin::leveling {

struct LevelingOpening {
    OpeningOutcome opening;
    AdjustScreenWin* window = nullptr;  // shown full screen and modal; owned by mainWindow
};

// Runs the opening steps (calibration mode, firmware match, search window).
// On success deletes the window left from an earlier run (previous, then
// set to the new one), creates AdjustScreenWin as a child of mainWindow and
// shows it full screen.
LevelingOpening openLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous);

// The window part alone, for a main window that ran openLeveling() and
// storedLevelingUsable() in a worker and got ok: the earlier window goes,
// the new one is shown.
AdjustScreenWin* showLevelingWindow(QWidget* mainWindow, AdjustScreenWin*& previous,
                                    std::optional<bool> storedLevelingUsable = std::nullopt);

} // namespace tovrin::leveling
