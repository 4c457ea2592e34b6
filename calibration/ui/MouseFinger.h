#pragma once
// The mouse as a finger, for the simulated frame (--simulate only): a left
// press on a calibration surface (the empty area of a calibration window,
// not its buttons) puts the finger on the screen there, dragging moves it,
// the release lifts it. The hook knows nothing of the simulator; start-up
// hands it the functions that move the simulated finger, and installs it
// only when it runs against the simulated frame.

#include <QObject>
#include <QPointF>

#include <functional>

class QWidget;

namespace tovrin::calib::ui {

// Marks a window whose own area (not its child widgets) is a touch surface.
void markTouchSurface(QWidget* window);
bool isTouchSurface(const QObject* object);

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
