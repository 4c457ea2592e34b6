#pragma once
// Main window of the end-user tool: one job, the touch calibration. It
// owns the frame detection thread; as soon as the frame is found ready it
// prepares the frame (calibration mode, screen record, firmware version) and
// runs the calibration in itself, full screen, with the targets of the
// calibration window. Three buttons: 16/4-point calibration, take back one
// point ("Reset Before"), exit. When the run ends it hands the frame back
// (the chosen mode kept, work mode) and shows the outcome on its page; exit
// closes the frame's link and the log, and ends the program.

#include <QDialog>
#include <QPoint>

#include "calibration/run/CalibrationThread.h"
#include "calibration/ui/CalibrationPainter.h"
#include "calibration/ui/QualityPage.h"
#include "windows/WindowSupport.h"

#include <memory>

class QLabel;

namespace tovrin::windows {

class TovrinUser : public QDialog {
    Q_OBJECT
public:
    explicit TovrinUser(QWidget* parent = nullptr);

    int statusMessageId() const { return m_statusId; }
    QString statusText() const;
    QString versionText() const;
    bool isConnected() const;
    // 1 while the 4-point calibration is chosen.
    int fourCalibration() const;
    // The run has ended (stored or rejected) and the frame was handed back.
    bool calibrationFinished() const { return m_finished; }
    calib::CalibrationThread& sixteenPointThread() { return *m_thread16; }
    calib::FastCalibrationThread& fourPointThread() { return *m_thread4; }
    calib::ui::QualityPage& qualityPage() { return *m_quality; }

Q_SIGNALS:
    void statusShown(int messageId);

public Q_SLOTS:
    void recvShowData(int code);
    void recvData(int code);
    void CalTypeSlot();
    void ReturnSlot();
    void ResetSlot();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    widgets::Button* makeButton(const char* objectName);
    void placeWidgets();
    void showStatus(int messageId, const QString& text = {});
    void setButtonsEnabled(bool enabled);
    void startWithFrame();
    // After a save cut short: restore the records it replaced, or keep.
    void offerRestore();
    void startCalibrationRun();
    void startRunOfMode();
    void finishRun(int messageId, const QString& text = {});
    void showQuality();
    void calibrateAgain();
    // Keeps the chosen mode in the screen record and switches the frame to
    // work mode; false (message 142 shown) when the frame refused.
    bool handFrameBack();
    bool running() const;
    void noFrame();
    // Stops the run, hands the frame back, closes the link and the log;
    // false when the frame was not handed back (the page says why).
    bool exitHandling();

    QLabel* m_statusLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    widgets::Button* m_calTypeButton = nullptr;
    widgets::Button* m_resetButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    FocusRow m_focus{{}, 1};  // the three buttons, the first under the focus look

    int m_statusId = -1;
    bool m_connected = false;
    bool m_offerRestore = false;  // the frame reported itself not calibrated
    bool m_calibrating = false;  // a run is shown (targets painted)
    bool m_saving = false;
    bool m_closeAfterSave = false;  // an exit asked for during the save
    bool m_finished = false;
    bool m_handedBack = false;   // screen record and work mode done
    calib::ui::CalibrationPainter m_painter;
    std::unique_ptr<calib::CalibrationThread> m_thread16;
    std::unique_ptr<calib::FastCalibrationThread> m_thread4;
    calib::ui::QualityPage* m_quality = nullptr;

    FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::windows
