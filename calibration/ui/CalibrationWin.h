#pragma once
// The calibration window: full screen, on top of everything, white, with one
// target after another. It owns the 16-point and the 4-point worker and runs
// the one of the chosen mode (FourCalib_en); three buttons switch the mode,
// take the last point back ("Reset Before") and leave. Once the records are
// stored it shows the calibration's quality with the short check
// (QualityPage.h); its first two buttons then check and calibrate again.
// When it closes it keeps the chosen mode in the Slave's screen record and
// tells its opener (sendShowData): 8 rejected; 9 completed, only after a
// stored run once the frame holds the mode and is back in work mode (the
// window switches it itself); then 2 (frame connected, back to work mode)
// or 3 (frame gone). A stored run the frame would not take back shows why
// and stays until it is closed again.
// A close asked for during the save waits for the save's end, and the
// codes then tell what was stored.

#include "calibration/run/CalibrationThread.h"
#include "calibration/ui/CalibrationPainter.h"
#include "calibration/ui/QualityPage.h"

#include <QDialog>

#include <memory>

class QLabel;

namespace tovrin::widgets {
class Button;
}

namespace tovrin::calib::ui {

class CalibrationWin : public QDialog {
    Q_OBJECT
public:
    // screen: the size to calibrate, in pixels; empty: the frame's screen
    // (widgets/FullScreen.h), which the window then covers.
    explicit CalibrationWin(QWidget* parent = nullptr, QSize screen = {});
    ~CalibrationWin() override;

    // Starts the run of the chosen mode.
    void start();

    int statusMessageId() const { return m_statusId; }
    QString statusText() const;
    CalibrationThread& sixteenPointThread() { return *m_thread16; }
    FastCalibrationThread& fourPointThread() { return *m_thread4; }
    QualityPage& qualityPage() { return *m_quality; }

Q_SIGNALS:
    void sendShowData(int code);

public Q_SLOTS:
    void recvData(int code);
    void CalTypeSlot();
    void ReturnSlot();
    void ResetSlot();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    widgets::Button* makeButton(const char* objectName, int captionId);
    void placeWidgets();
    void showStatus(int messageId, const QString& text = {});
    void startRunOfMode();
    void refreshButtons();
    void showFocus(int place);
    bool running() const;
    void showQuality();
    void calibrateAgain();
    bool handBack();

    QSize m_screen;
    QLabel* m_status = nullptr;
    widgets::Button* m_typeButton = nullptr;
    widgets::Button* m_resetButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    int m_focus = 0;  // 0 none, 1-3 the buttons
    int m_statusId = -1;
    bool m_closing = false;
    bool m_saving = false;
    bool m_stored = false;          // the worker stored the records (code 4)
    bool m_leaving = false;         // workers stopped, the frame handed back once
    bool m_completed = false;       // stored, mode kept and back in work mode
    bool m_closeAfterSave = false;  // a close asked for during the save
    CalibrationPainter m_painter;
    std::unique_ptr<CalibrationThread> m_thread16;
    std::unique_ptr<FastCalibrationThread> m_thread4;
    QualityPage* m_quality = nullptr;
};

} // namespace tovrin::calib::ui
