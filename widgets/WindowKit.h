#pragma once
// The window kit: what every skinned window does the same way. Skin
// pictures and picture buttons, the log file a main window opens and ends,
// the focus look the keyboard moves over a row of picture buttons (Tab and
// Return belong to the window, not to the buttons), and waits of the GUI
// thread that keep its event loop running.

#include <QPixmap>
#include <QString>

#include <functional>
#include <vector>

class QEvent;
class QKeyEvent;
class QObject;
class QWidget;

namespace tovrin::widgets {

class Button;

// ---- Skin -----------------------------------------------------------------

// A picture of the current skin folder; a missing file gives a null pixmap.
QPixmap skinPixmap(const QString& name);

// A picture button with its normal, focus, pressed and disabled pictures
// from the skin folder, as large as its normal picture (when that exists).
Button* makeSkinButton(QWidget* parent, const char* objectName, const QString& normal, const QString& focus,
                       const QString& press, const QString& disabled);

// A skinned push button with the four pictures base + "_Normal.png",
// "_Press.png", "_Enabled.png", "_Focus.png", scaled to its size, and a
// centred caption in the skin's button font.
Button* makeCaptionButton(QWidget* parent, const QString& base, const QString& caption, const char* objectName);

// ---- Log ------------------------------------------------------------------

// Every main window starts a new log file and ends it when it closes.
void startLog();
void endLog();

// ---- Keyboard -------------------------------------------------------------

// The focus look over a row of picture buttons. Place 0 is no button, 1..
// a button of the row. Tab moves it along the row and Return presses the
// button under it; the keyboard focus itself stays with the window.
struct FocusRow {
    std::vector<Button*> buttons;
    int place = 0;

    void show(int newPlace);
    // A button under the focus shows the look again after enabling.
    void refresh() { show(place); }
    // The next place along the row, from the last back to the first.
    void next();
    // The look off every button; the place is kept.
    void hide() const;
    // The button at a place; none for place 0 or beyond the row.
    Button* at(int p) const;
    // The place of a button of the row, 0 for any other object.
    int placeOf(const QObject* object) const;
    // Presses the button at a place when there is one and it is enabled.
    void press(int p) const;
};

// Tab and Backtab presses, which move the focus look rather than the
// keyboard focus: the windows hand them to their keyPressEvent.
QKeyEvent* tabKeyPress(QEvent* event);

// ---- Waits of the GUI thread ----------------------------------------------

// Pauses of the windows' own steps, scaled (tests make them short).
void setPauseScale(double scale);
int scaledPause(int ms);

// Returns after ms; meanwhile the event loop runs on (painting, timers,
// queued codes), only user input waits.
void pauseGui(int ms);

// Runs work in a thread of its own and returns when it has ended; the
// caller's event loop keeps running meanwhile, so a device job of a few
// seconds does not freeze the window.
void runBesideGui(const std::function<void()>& work);

} // namespace tovrin::widgets
