#pragma once
// Main window of the end-user tool: one job, the touch calibration. It
// owns the frame detection thread; as soon as the frame is found ready it
// prepares the frame (calibration mode, screen record, firmware version) and
// starts the calibration run in its own full-screen window. Three buttons:
// 16/4-point calibration, take back one point ("Reset Before"), exit.

#include <QDialog>
#include <QPoint>

#include "records/CalibrationRecord.h"
#include "windows/WindowSupport.h"

#include <optional>

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
    int fourCalibration() const { return m_fourCalib; }

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

private:
    widgets::Button* makeButton(const char* objectName);
    void placeWidgets();
    void showStatus(int messageId);
    void setButtonsEnabled(bool enabled);
    void startWithFrame();
    void startCalibrationRun();
    void noFrame();
    void exitHandling();

    QLabel* m_statusLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    widgets::Button* m_calTypeButton = nullptr;
    widgets::Button* m_resetButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    FocusRow m_focus{{}, 1};  // the three buttons, the first under the focus look

    int m_statusId = -1;
    int m_fourCalib = 0;
    int m_pointsBack = 0;       // points that can still be taken back
    bool m_connected = false;
    // The Slave's screen record as read at start (absent when unreadable
    // or never written); rewritten at exit when the mode choice changed.
    std::optional<records::ScreenRecord> m_screenRecord;

    FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::windows
