#include "calibration/ui/CalibrationDialog.h"

#include "calibration/run/RunState.h"
#include "widgets/Button.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <memory>
#include <utility>

namespace tovrin::calib::ui {

CalibrationDialog::CalibrationDialog(QWidget* parent, QSize workerScreen, int firstPlace)
    : QDialog(parent)
    , m_thread16(std::make_unique<CalibrationThread>(workerScreen.width(), workerScreen.height()))
    , m_thread4(std::make_unique<FastCalibrationThread>(workerScreen.width(), workerScreen.height()))
    , m_handBack(std::make_unique<jobs::TaskWorker>())
{
    m_focus.place = firstPlace;
    m_quality = new QualityPage(this);
}

void CalibrationDialog::setButtons(widgets::Button* type, widgets::Button* reset, widgets::Button* exit)
{
    m_typeButton = type;
    m_resetButton = reset;
    m_exitButton = exit;
    m_focus.buttons = {type, reset, exit};
}

void CalibrationDialog::stopRunsThen(std::function<void()> then)
{
    m_quality->stopCheckThen(this, [this, then = std::move(then)] {
        m_thread16->stopThen(this, [this, then] {
            m_thread4->stopThen(this, [this, then] { m_handBack->whenEnded(this, then); });
        });
    });
}

void CalibrationDialog::handBackThen(WorkModeAfter workMode, std::function<void(const HandBackResult&)> then)
{
    auto result = std::make_shared<HandBackResult>();
    m_handBack->run(
        [result, fourCalib = FourCalib_en.load(), workMode] { *result = keepModeAndSwitchBack(fourCalib, workMode); },
        this, [result, then = std::move(then)] { then(*result); });
}

bool CalibrationDialog::event(QEvent* event)
{
    // Tab moves the focus look over the buttons, not the keyboard focus.
    if (QKeyEvent* key = widgets::tabKeyPress(event)) {
        keyPressEvent(key);
        return true;
    }
    return QDialog::event(event);
}

void CalibrationDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ReturnSlot();
        return;
    case Qt::Key_Backspace:
        // "Reset Before" only: on the quality page the button calibrates again.
        if (!m_quality->active())
            ResetSlot();
        return;
    case Qt::Key_Tab:
        m_focus.next();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Away from the buttons the keys still press the last one under the look.
        m_focus.press(m_focus.place);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

bool CalibrationDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A button without mouse tracking hears of the mouse by its entering; a
    // move over it stays with it, so the window's own area does not take the
    // look away again.
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (const int place = m_focus.placeOf(watched)) {
            m_focus.show(place);
            return event->type() == QEvent::MouseMove;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CalibrationDialog::mouseMoveEvent(QMouseEvent* event)
{
    // Away from the buttons no button keeps the focus look.
    m_focus.hide();
    QDialog::mouseMoveEvent(event);
}

} // namespace tovrin::calib::ui
