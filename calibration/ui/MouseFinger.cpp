#include "calibration/ui/MouseFinger.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

namespace tovrin::calib::ui {

namespace {

const char* const kTouchSurface = "tovrinTouchSurface";

// Pixels of the screen the surface covers (the frame's screen), as the
// calibration targets are.
QPointF screenPoint(const QWidget* surface, const QPointF& local)
{
    const QScreen* screen = surface->screen();
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
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonRelease) {
        // Wherever the button goes up (the window may have closed under
        // it), the finger lifts.
        if (mouse->button() == Qt::LeftButton && m_down) {
            m_down = false;
            if (m_hands.up)
                m_hands.up();
        }
        return false;
    }
    if (!watched->isWidgetType())
        return false;
    const auto* widget = static_cast<QWidget*>(watched);
    std::optional<QPointF> at;
    if (const auto* surface = dynamic_cast<const TouchSurface*>(watched))
        at = surface->touchPoint(mouse->position());
    else if (isTouchSurface(watched))
        at = screenPoint(widget, mouse->position());
    if (!at)
        return false;
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        m_down = true;
        if (m_hands.down)
            m_hands.down(*at);
    } else if (type == QEvent::MouseMove && m_down) {
        if (m_hands.move)
            m_hands.move(*at);
    }
    return false;  // the window still sees its mouse
}

} // namespace tovrin::calib::ui
