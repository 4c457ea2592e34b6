#pragma once
// What both calibration windows share: CalibrationWin (opened by the
// engineering tool) and TovrinUser (the end-user tool, which is one). Each
// is a dialog over the frame's screen with the targets, owns a 16-point and
// a 4-point worker and the quality page, and has three buttons: the
// calibration type (CalTypeSlot), "Reset Before" (ResetSlot) and exit
// (ReturnSlot).
//
// The keyboard works on the buttons the same way in both: Escape leaves,
// Backspace takes the last point back (not on the quality page, where that
// button calibrates again), Tab moves the focus look 1 -> 2 -> 3 -> 1 and
// Return presses the button at the focus place. The mouse over a button
// gives it the look and the place; over the window's own area it takes the
// look away and the place stays.

#include "calibration/run/CalibrationThread.h"
#include "calibration/run/HandBack.h"
#include "jobs/TaskWorker.h"
#include "calibration/ui/CalibrationPainter.h"
#include "calibration/ui/QualityPage.h"
#include "widgets/WindowKit.h"

#include <QDialog>
#include <QSize>

#include <functional>
#include <memory>

namespace tovrin::widgets {
class Button;
}

namespace tovrin::calib::ui {

class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    int statusMessageId() const { return m_statusId; }
    CalibrationThread& sixteenPointThread() { return *m_thread16; }
    FastCalibrationThread& fourPointThread() { return *m_thread4; }
    QualityPage& qualityPage() { return *m_quality; }

    // The three buttons' jobs; the windows make them their slots.
    virtual void CalTypeSlot() = 0;
    virtual void ReturnSlot() = 0;
    virtual void ResetSlot() = 0;

protected:
    // workerScreen: the screen size the workers start with; firstPlace: the
    // focus place before any key or mouse (0: no button).
    CalibrationDialog(QWidget* parent, QSize workerScreen, int firstPlace);

    // The buttons, in the order of the focus row; the window makes them
    // (and has them send their events to its eventFilter).
    void setButtons(widgets::Button* type, widgets::Button* reset, widgets::Button* exit);
    bool running() const { return !m_thread16->hasEnded() || !m_thread4->hasEnded(); }
    // Asks the runs and the quality check to stop; `then` runs once all have
    // ended, and a hand-back under way too. The window goes on meanwhile.
    void stopRunsThen(std::function<void()> then);
    // The frame handed back in its own worker (HandBack.h); `then` gets the
    // result. Nothing starts while one is under way.
    void handBackThen(WorkModeAfter workMode, std::function<void(const HandBackResult&)> then);
    bool handingBack() const { return !m_handBack->hasEnded(); }

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

    widgets::Button* m_typeButton = nullptr;
    widgets::Button* m_resetButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    widgets::FocusRow m_focus;
    int m_statusId = -1;
    bool m_saving = false;
    bool m_closeAfterSave = false;  // a close asked for during the save
    CalibrationPainter m_painter;
    std::unique_ptr<CalibrationThread> m_thread16;
    std::unique_ptr<FastCalibrationThread> m_thread4;
    QualityPage* m_quality = nullptr;
    std::unique_ptr<jobs::TaskWorker> m_handBack;
};

} // namespace tovrin::calib::ui
