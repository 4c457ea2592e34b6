#include "MySlider.h"

#include <QMouseEvent>

namespace tovrin::widgets {

MySlider::MySlider(QWidget* parent)
    : QSlider(parent)
{
}

MySlider::MySlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent)
{
}

int MySlider::valueAt(int pos) const
{
    const int length = orientation() == Qt::Horizontal ? width() : height();
    if (length <= 0)
        return minimum();
    const double value = minimum() + static_cast<double>(pos) / length * (static_cast<double>(maximum()) - minimum());
    return static_cast<int>(value);
}

void MySlider::mouseReleaseEvent(QMouseEvent* event)
{
    // A press on the groove starts QSlider's page-step repeat and a press on
    // the handle holds the slider down; both end here because the base
    // release handling does not run.
    setRepeatAction(SliderNoAction);
    if (isSliderDown())
        setSliderDown(false);
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    const QPoint at = event->position().toPoint();
    // A vertical slider has its minimum at the bottom.
    const int value = valueAt(orientation() == Qt::Horizontal ? at.x() : height() - at.y());
    if (value != sliderPosition())
        setValue(value);
}

} // namespace tovrin::widgets
