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
// codes then tell what was stored. The window never waits for the frame:
// leaving stops the runs and hands the frame back in workers and closes
// when they have ended; a close meanwhile does nothing more.

#include "calibration/ui/CalibrationDialog.h"

class QLabel;

namespace tovrin::calib::ui {

class CalibrationWin : public CalibrationDialog {
    Q_OBJECT
public:
    // screen: the size to calibrate, in pixels; empty: the frame's screen
    // (widgets/FullScreen.h), which the window then covers.
    explicit CalibrationWin(QWidget* parent = nullptr, QSize screen = {});
    ~CalibrationWin() override;

    // Starts the run of the chosen mode.
    void start();

    QString statusText() const;

Q_SIGNALS:
    void sendShowData(int code);

public Q_SLOTS:
    void recvData(int code);
    void CalTypeSlot() override;
    void ReturnSlot() override;
    void ResetSlot() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    widgets::Button* makeButton(const char* objectName, int captionId);
    void placeWidgets();
    void showStatus(int messageId, const QString& text = {});
    void startRunOfMode();
    void refreshButtons();
    void showQuality();
    void calibrateAgain();
    // Stops the runs and hands the frame back in a worker; the window
    // closes when that ends, or shows why a stored run is not completed.
    void handBack();
    void handedBack(const HandBackResult& result);
    // Tells the opener (9 when completed, then 2 or 3) and closes.
    void leave();

    QSize m_screen;
    QLabel* m_status = nullptr;
    bool m_closing = false;
    bool m_stored = false;     // the worker stored the records (code 4)
    bool m_leaving = false;    // the frame is handed back (or was, once)
    bool m_handingBack = false;  // until the hand-back has ended
    bool m_completed = false;  // stored, mode kept and back in work mode
};

} // namespace tovrin::calib::ui
