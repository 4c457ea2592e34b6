#pragma once
// The key calibration window: the key layout around the projection area,
// a red circle at the corner to touch on the real key, and after a stored
// calibration the key test in the same window. Full screen.
//
// Calibration mode runs KeyCalibrationThread (the frame in calibration
// mode), test mode runs KeyTestThread (the frame in work mode); each run
// switches the frame's mode itself, and the window never waits for a run
// to end: it goes on when it has. To its
// opener it reports with sendShowData: 5 a calibration starts, 6 the
// calibration is stored or refused (back to work mode), 2 closed during a
// calibration with the frame there, 3 closed otherwise.

#include "calibration/ui/MouseFinger.h"
#include "keys/core/KeyCalibrationThread.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyLayout.h"
#include "keys/core/KeyTestThread.h"
#include "widgets/WindowKit.h"

#include <QDialog>
#include <QPixmap>
#include <QSize>

class QLabel;

namespace tovrin::keys::ui {

class KeyCalibrationWin : public QDialog, public calib::ui::TouchSurface {
    Q_OBJECT
public:
    enum class Mode { Calibration, Test };

    // size: the window's size (the primary screen's when empty). The first
    // calibration starts as soon as the window's event loop runs.
    explicit KeyCalibrationWin(QWidget* parent = nullptr, QSize size = {});
    ~KeyCalibrationWin() override;

    Mode mode() const { return m_mode; }
    int statusMessageId() const { return m_statusId; }
    int testMessageId() const { return m_testId; }
    QString statusText() const;
    const KeyDepiction& depiction() const { return m_depiction; }
    KeyCalibrationThread* calibrationThread() const { return m_calibration; }
    KeyTestThread* testThread() const { return m_test; }
    PressedKey shownKey() const;
    int focusPlace() const { return m_focus.place; }

Q_SIGNALS:
    void sendShowData(int code);

public Q_SLOTS:
    void recvData(int code);
    void ReturnButSlot();
    void ResetButSlot();
    void CalibrationButSlot();

protected:
    // With --simulate the mouse touches the frame's printed keys and picture
    // (FingerKeys.h).
    std::optional<QPointF> touchPoint(const QPointF& local) const override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void showStatus(int messageId, const QString& argument = {});
    void showTest(int messageId);
    void enterTestMode();
    void restartTest();
    void modeRefused();
    void useButtons(Mode mode);
    void refreshButtons();
    void layOut();
    void refuse(int messageId, const char* logLine);

    Mode m_mode = Mode::Calibration;
    KeyDepiction m_depiction;
    KeyConfiguration m_configuration;
    QPixmap m_capturedMark;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_testLabel = nullptr;
    widgets::Button* m_calibrateButton = nullptr;
    widgets::Button* m_resetButton = nullptr;
    widgets::Button* m_testButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    widgets::FocusRow m_focus;
    KeyCalibrationThread* m_calibration = nullptr;
    KeyTestThread* m_test = nullptr;
    int m_statusId = -1;
    int m_testId = -1;
    QString m_statusArgument;
    bool m_saving = false;
    bool m_restarting = false;  // a new calibration waits for the workers to end
    bool m_closing = false;  // Exit asked: the workers are stopping
    bool m_closed = false;   // both workers have ended: the dialog may close
};

} // namespace tovrin::keys::ui
