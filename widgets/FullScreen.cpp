#include "widgets/FullScreen.h"

#include "shell/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tovrin::widgets {

QScreen* screenNamed(const QString& name)
{
    if (name.isEmpty())
        return nullptr;
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == name)
            return s;
    return nullptr;
}

QScreen* frameScreen()
{
    if (QScreen* named = screenNamed(shell::readText(QString::fromLatin1(kFrameScreenKey), QString()).trimmed()))
        return named;
    return QGuiApplication::primaryScreen();
}

void showFullScreenOn(QWidget* window, QScreen* screen)
{
    if (!screen)
        screen = frameScreen();
    if (!screen) {
        window->showFullScreen();
        return;
    }
    // The native window is put on that screen before it is shown, and
    // given the whole of it: without a window manager nobody else would.
    (void)window->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setScreen(screen);
    window->setGeometry(screen->geometry());
    window->showFullScreen();
}

} // namespace tovrin::widgets
