#pragma once
// Slider that jumps to the position where it is clicked.

#include <QSlider>

namespace tovrin::widgets {

class MySlider : public QSlider {
    Q_OBJECT
public:
    explicit MySlider(QWidget* parent = nullptr);
    explicit MySlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The value a release at distance pos from the minimum end jumps to:
    // minimum + pos / length × (maximum − minimum), truncated toward zero
    // (pos is widget x on a horizontal slider, height − y on a vertical one).
    int valueAt(int pos) const;

protected:
    // Left release while enabled: setValue(valueAt(release position)) when it
    // differs from the slider position. The base release handling is not run.
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace tovrin::widgets
