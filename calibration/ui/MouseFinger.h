#pragma once
// The mouse as the finger, for the simulated frame (--simulate only), on
// every window a person touches: the calibration windows and the key
// windows. A left press on a touch surface (the empty area of such a
// window, not its buttons) puts the finger on the frame there, dragging
// moves it, the release lifts it. The hook knows nothing of the simulator;
// start-up hands it the functions that move the simulated finger, and
// installs it only when it runs against the simulated frame.

#include <QObject>
#include <QPointF>

#include <functional>
#include <optional>

class QWidget;

namespace tovrin::calib::ui {

// Marks a window whose own area (not its child widgets) is a touch surface
// covering the screen: a point of it touches the same screen point.
void markTouchSurface(QWidget* window);
bool isTouchSurface(const QObject* object);

// A window whose own area is a touch surface that is not the screen itself
// (the key windows draw the frame's border around a smaller picture): it
// says where on the frame a point of its area touches.
class TouchSurface {
public:
    virtual ~TouchSurface() = default;
    // Screen pixels of the frame (outside the picture on its bezel);
    // nothing where the window shows nothing to touch.
    virtual std::optional<QPointF> touchPoint(const QPointF& local) const = 0;
};

class MouseFinger : public QObject {
public:
    struct Hands {
        std::function<void(QPointF screen)> down;
        std::function<void(QPointF screen)> move;
        std::function<void()> up;
    };
    explicit MouseFinger(Hands hands, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Hands m_hands;
    bool m_down = false;
};

} // namespace tovrin::calib::ui
