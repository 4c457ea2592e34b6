#pragma once
// Main window of the production-test tool: the flash read/write endurance
// test of both camera units. It owns the frame detection thread and the
// test worker; its texts are fixed Chinese ones, except the device-status
// messages, which come from the message list.

#include "production/core/FlashTestOptions.h"
#include "device/FrameDetection.h"
#include "widgets/WindowKit.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tovrin::production {

class RWFlashTestThread;

class TovrinTest : public QDialog {
    Q_OBJECT
public:
    explicit TovrinTest(QWidget* parent = nullptr);

    QString statusText() const;
    // The message id of the status line, or -1 while it shows one of the
    // window's own texts.
    int statusMessageId() const { return m_statusId; }
    const FlashTestOptions& options() const { return m_options; }
    int cycleCount() const { return m_cycle; }
    // The worker, for tests that set its clock-free limits.
    RWFlashTestThread* testThread() const { return m_test; }
    bool isConnected() const;

Q_SIGNALS:
    void statusShown(const QString& text);

public Q_SLOTS:
    void recvShowData(int code);
    void StartTestSlot();
    void CloseTestSlot();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showMessage(int messageId);
    void showText(const QString& text, bool alarm = false);
    void setAlarm(bool alarm);
    void setStartStopEnabled(bool start, bool stop);
    void setTestingControls();  // code 8
    void setIdleControls();     // code 9
    void setOptionsEnabled(bool enabled);
    void readOptions();

    QLabel* m_statusLabel = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QCheckBox* m_flashTestBox = nullptr;
    QRadioButton* m_compareAllRadio = nullptr;
    QRadioButton* m_ignorePartRadio = nullptr;
    QCheckBox* m_exposureBox = nullptr;
    QCheckBox* m_columnBox = nullptr;
    QCheckBox* m_lineJoinBox = nullptr;

    FlashTestOptions m_options;
    RWFlashTestThread* m_test = nullptr;
    int m_cycle = 0;
    int m_statusId = -1;
    bool m_outcomeShown = false;  // a failed test's text is on show
    bool m_connected = false;

    device::FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::production
