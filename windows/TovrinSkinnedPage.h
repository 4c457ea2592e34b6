#pragma once
// The skinned page of the engineering window (tool flavours 0 and 1): one
// row of picture tiles whose set, pictures and Tab order depend on the
// flavour and on whether shortcut keys are enabled.
//
//   flavour 0                Calibrate, Set, Versions
//   flavour 0, shortcuts     Calibrate, Shortcuts, Set, Versions
//   flavour 1                Leveling, Set, Calibrate, Update, Versions
//   flavour 1, shortcuts     Leveling, Calibrate, Set, Shortcuts, Update, Versions
//
// Pictures: Calibrate "User2_calibration" ("User1_calibration" in flavour 0
// without shortcuts), Set "User_set" ("MP1_set" in flavour 1 without
// shortcuts), Versions "about", Shortcuts "keyCalibration", Leveling
// "MP_adjustScreen", Update "update"; each with its 1/2/3 looks.

#include "Captions.h"
#include "widgets/WindowKit.h"

class QLabel;
class QProgressBar;

namespace tovrin::windows {

struct SkinnedTiles {
    widgets::Button* leveling = nullptr;
    widgets::Button* set = nullptr;
    widgets::Button* calibrate = nullptr;
    widgets::Button* update = nullptr;
    widgets::Button* about = nullptr;
    widgets::Button* shortcuts = nullptr;
    widgets::FocusRow focus;  // the tiles in Tab order
};

// Builds the tiles of a flavour on the window; eventFilter sees their mouse
// moves (the focus look follows the pointer).
SkinnedTiles buildSkinnedTiles(QWidget* window, int flavour, bool shortcuts, Captions& captions, QObject* eventFilter);

// One row of tiles centred in the body, the status line and the progress
// bar above the footer of the background.
void placeSkinnedTiles(const SkinnedTiles& tiles, QWidget* window, int bandHeight, QLabel* status,
                       QProgressBar* progress);

} // namespace tovrin::windows
