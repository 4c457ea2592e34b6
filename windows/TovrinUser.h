#pragma once
// Main window of the end-user tool: one job, the touch calibration. It
// owns the frame detection thread; as soon as the frame is found ready it
// prepares the frame (calibration mode, screen record, firmware version) and
// runs the calibration in itself, full screen, with the targets of the
// calibration window. Three buttons: 16/4-point calibration, take back one
// point ("Reset Before"), exit. When the run ends it hands the frame back
// (the chosen mode kept, work mode) and shows the outcome on its page; exit
// closes the frame's link and the log, and ends the program.

#include "calibration/ui/CalibrationDialog.h"
#include "device/FrameDetection.h"
#include "jobs/TaskWorker.h"
#include "records/RecordJournal.h"

#include <functional>
#include <vector>

class QLabel;

namespace tovrin::windows {

class TovrinUser : public calib::ui::CalibrationDialog {
    Q_OBJECT
public:
    explicit TovrinUser(QWidget* parent = nullptr);

    QString statusText() const;
    QString versionText() const;
    bool isConnected() const;
    // 1 while the 4-point calibration is chosen.
    int fourCalibration() const;
    // The run has ended: stored, or rejected and the frame handed back.
    bool calibrationFinished() const { return m_finished && !m_finishing; }

Q_SIGNALS:
    void statusShown(int messageId);

public Q_SLOTS:
    void recvShowData(int code);
    void recvData(int code);
    void CalTypeSlot() override;
    void ReturnSlot() override;
    void ResetSlot() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    widgets::Button* makeButton(const char* objectName);
    void placeWidgets();
    void showStatus(int messageId, const QString& text = {});
    void setButtonsEnabled(bool enabled);
    // Calibration mode, the journal's offer after a save cut short, the
    // screen record and the firmware version, in a worker; then the run.
    void startWithFrame();
    void readFrameThenStart(std::vector<records::JournalEntry> restorePlan);
    void startCalibrationRun();
    void startRunOfMode();
    void finishRun(int messageId, const QString& text = {});
    void showQuality();
    void calibrateAgain();
    // Keeps the chosen mode in the screen record and switches the frame to
    // work mode, in a worker; `then` hears false (the page says why) when
    // the frame refused.
    void handFrameBack(std::function<void(bool)> then);
    void noFrame();
    // Stops the run, hands the frame back, closes the link and the log,
    // and closes the window; without the frame handed back the page says
    // why and the next exit leaves. The window goes on meanwhile.
    void exitHandling();
    void handBackAndClose();

    QLabel* m_statusLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    bool m_connected = false;
    bool m_offerRestore = false;  // the frame reported itself not calibrated
    bool m_calibrating = false;  // a run is shown (targets painted)
    bool m_finished = false;
    bool m_handedBack = false;   // screen record and work mode done
    bool m_finishing = false;    // a rejected run's hand-back under way
    bool m_exiting = false;      // exitHandling() under way

    jobs::TaskWorker m_frameTask;        // the frame's preparation
    device::FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::windows
