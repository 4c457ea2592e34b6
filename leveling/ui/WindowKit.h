#pragma once
// Small pieces of the leveling window: skin buttons, pauses that keep the
// event loop running, and device work run beside the GUI thread.

#include <QPixmap>
#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace tovrin::widgets {
class Button;
}

namespace tovrin::leveling {

// A picture of the current skin folder (null when missing).
QPixmap skinPicture(const QString& name);

// A skinned push button with the four pictures base + "_Normal.png",
// "_Press.png", "_Enabled.png", "_Focus.png" and a centred caption in the
// skin's button font.
widgets::Button* makeSkinButton(QWidget* parent, const QString& base, const QString& caption,
                                const char* objectName);

// Pauses of the GUI thread, scaled (tests make them short).
void setPauseScale(double scale);
int scaledPause(int ms);

// Runs work in a thread of its own and returns when it has ended; the
// caller's event loop keeps running meanwhile (painting, timers, queued
// codes), so a device job of a few seconds does not freeze the window.
void runBesideGui(const std::function<void()>& work);

} // namespace tovrin::leveling
