#include "calibration/ui/MouseFinger.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

namespace tovrin::calib::ui {

namespace {

const char* const kTouchSurface = "tovrinTouchSurface";

// Screen pixels of the primary screen, as the calibration targets are.
QPointF screenPoint(const QWidget* surface, const QPointF& local)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPointF global = surface->mapToGlobal(local);
    return screen ? global - QPointF(screen->geometry().topLeft()) : global;
}

} // namespace

void markTouchSurface(QWidget* window)
{
    window->setProperty(kTouchSurface, true);
}

bool isTouchSurface(const QObject* object)
{
    return object && object->property(kTouchSurface).toBool();
}

MouseFinger::MouseFinger(Hands hands, QObject* parent)
    : QObject(parent)
    , m_hands(std::move(hands))
{
}

bool MouseFinger::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    if (!isTouchSurface(watched) || !watched->isWidgetType())
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* surface = static_cast<QWidget*>(watched);
    const QPointF at = screenPoint(surface, mouse->position());
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        m_down = true;
        if (m_hands.down)
            m_hands.down(at);
    } else if (type == QEvent::MouseMove && m_down) {
        if (m_hands.move)
            m_hands.move(at);
    } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton && m_down) {
        m_down = false;
        if (m_hands.up)
            m_hands.up();
    }
    return false;  // the window still sees its mouse
}

} // namespace tovrin::calib::ui
