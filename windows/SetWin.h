#pragma once
// The settings window: how the frame is mounted and how it reports touches
// (screen size class, landscape or portrait with a rotation, 16 or 4
// calibration points, touch type, double writing). The choices live in
// Tovrin.ini and in the 26-byte screen information record of both units,
// which the frame's firmware reads (windows/settingsjob/ holds the record
// and the save job; this window only turns them into controls and texts).
//
// The window never talks to the frame on its own thread: its opener reads
// the frame's record and switches it to work mode in a worker first
// (settingsjob::openSettings(), SettingsOpening.h), then opens it modally
// with what was read:
//
//     auto* w = new SetWin(this, opening.record);
//     w->setAttribute(Qt::WA_DeleteOnClose);
//     connect(w, &SetWin::sendShowData, this, &Tovrin::recvShowData);
//     w->show();
//
// OK (the save) and Reconnect run in workers of the window; it refuses to
// close until they have ended. Closing it in any way emits sendShowData(3).

#include "windows/settingsjob/ScreenSettings.h"
#include "windows/settingsjob/SettingsSave.h"

#include <QDialog>
#include <QPixmap>
#include <QPoint>

#include <array>
#include <optional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;

namespace tovrin::jobs {
class TaskWorker;
}

namespace tovrin::widgets {
class Button;
}

namespace tovrin::windows {

class SetWin : public QDialog {
    Q_OBJECT
public:
    // deviceRecord: what the opening read of the Slave's record found
    // (settingsjob::readForSettingsWindow(); nothing when the read failed).
    SetWin(QWidget* parent, std::optional<records::ScreenRecord> deviceRecord);
    ~SetWin() override;

    // Keyboard focus position 1-10 (0 before the first Tab): the groups Show
    // Size, Show Mode, rotation, Calibration Set, Touch Type, Double Writing,
    // then the buttons Reconnect, Parame Reset, OK, Cancel.
    int focusPosition() const { return m_focus; }
    bool isSaving() const;
    // A save or a Reconnect runs: the buttons are off and the dialog stays.
    bool isBusy() const;
    // What the last OK did (nothing before the first OK finished).
    std::optional<settingsjob::SaveResult> lastSave() const { return m_lastSave; }
    // The controls as they stand.
    settingsjob::ControlState controlState() const;
    // The record read from the Slave before it opened (nothing when the read failed).
    std::optional<records::ScreenRecord> deviceRecord() const { return m_deviceRecord; }

Q_SIGNALS:
    void sendShowData(int code);
    // The save started by OK has ended (tests and scripted runs wait for it).
    void saveFinished(int outcome);

public Q_SLOTS:
    void ResetButSlot();     // "Reconnect": work mode, then the reset
    void ResetButtonSlot();  // "Parame Reset": the controls from Tovrin.ini again
    void OKButtonSlot();     // store in Tovrin.ini and both units

protected:
    void done(int result) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildControls();
    void placeControls();
    QGroupBox* makeGroup(int titleId, const char* objectName);
    QRadioButton* makeRadio(QWidget* parent, const QString& text, const char* objectName);
    void applyControls(const settingsjob::ControlState& state);
    void setFocusPosition(int position);
    void setButtonsEnabled(bool enabled);
    void saveEnded();
    void showWarning(int messageId);

    QPixmap m_background;
    int m_bandHeight = 0;

    widgets::Button* m_minButton = nullptr;
    widgets::Button* m_quitButton = nullptr;
    QLabel* m_titleLabel = nullptr;

    QGroupBox* m_sizeGroup = nullptr;
    std::array<QRadioButton*, settingsjob::kSizeClasses> m_sizeRadios{};
    QButtonGroup* m_sizeButtons = nullptr;
    QGroupBox* m_modeGroup = nullptr;
    QRadioButton* m_landscapeRadio = nullptr;
    QRadioButton* m_portraitRadio = nullptr;
    QComboBox* m_rotationCombo = nullptr;
    QGroupBox* m_calibrationGroup = nullptr;
    QRadioButton* m_point16Radio = nullptr;
    QRadioButton* m_point4Radio = nullptr;
    QGroupBox* m_touchTypeGroup = nullptr;
    QRadioButton* m_autoRadio = nullptr;
    QRadioButton* m_singleRadio = nullptr;
    QRadioButton* m_muchRadio = nullptr;
    QButtonGroup* m_touchTypeButtons = nullptr;
    QGroupBox* m_doubleWritingGroup = nullptr;
    QRadioButton* m_openRadio = nullptr;
    QRadioButton* m_closeRadio = nullptr;
    QGroupBox* m_reconnectGroup = nullptr;
    QLabel* m_reconnectLabel = nullptr;

    widgets::Button* m_reconnectButton = nullptr;
    widgets::Button* m_parameResetButton = nullptr;
    widgets::Button* m_okButton = nullptr;
    widgets::Button* m_cancelButton = nullptr;

    settingsjob::SettingsSaveThread* m_saveThread = nullptr;
    jobs::TaskWorker* m_task = nullptr;  // Reconnect's mode switches
    std::optional<settingsjob::SaveResult> m_lastSave;
    std::optional<records::ScreenRecord> m_deviceRecord;
    int m_focus = 0;
    bool m_closedReported = false;
    std::optional<QPoint> m_dragOffset;
};

} // namespace tovrin::windows
