#pragma once
// Main window of the engineering tool. It owns the frame detection thread,
// shows what the frame reports in its status line and offers the jobs of the
// tool as skinned picture buttons (tool flavours 0 and 1) or as the plain
// debug page (tool flavour 2). Every job that needs the frame follows one
// pattern: guard (frame connected), calibration mode, the job, work mode.
//
// The status line is kept as message ids, not as text, so that a language
// change can draw it again in the new language.

#include "windows/WindowSupport.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QWidget;

namespace tovrin::windows {

class Tovrin : public QDialog {
    Q_OBJECT
public:
    explicit Tovrin(QWidget* parent = nullptr);

    // The message ids shown in the status line (more than one when a device
    // test reports several failed groups), and the text they give.
    QList<int> statusMessageIds() const { return m_statusIds; }
    int statusMessageId() const { return m_statusIds.isEmpty() ? -1 : m_statusIds.last(); }
    QString statusText() const;

    // Marks of the window.
    bool isConnected() const;
    bool isUpdateRunning() const { return m_updateRunning; }

Q_SIGNALS:
    // A new status text was shown (its last message id).
    void statusShown(int messageId);

public Q_SLOTS:
    int FindHidDevice();
    void AdjustScreenButSlot();
    void FirmwareUpdateButSlot();
    void AlignmentButSlot();
    void AboutButSlot();
    void SetButSlot();
    void KeyCalibrationButSlot();
    void KeyTestButSlot();
    void TestButSlot();
    void ResetButSlot();
    void QuitButSlot();
    void MinimizeButSlot();
    bool MacGetDeviceConfig();
    void GetDeviceConfig();
    void recvShowData(int code);
    void recvData(int code);
    void LanguageCBoxSlot(int index);
    void FPGAbrowseButSlot();
    void DownloadButSlot();
    void ScriptBrowseButSlot();
    void RunScriptButSlot();
    void PreviewButSlot();
    void CompressCButSlot();
    void ClearButSlot();
    void WriteButSlot();
    void ReadButSlot();
    void SlaveCButSlot();
    void EraseFlashSlot();
    void ReadFlashSlot();
    void WriteFlashSlot();
    void FingerIntoButSlot();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Building.
    widgets::Button* makeTile(const QString& baseName, int captionId, const char* objectName);
    widgets::Button* makeTitleButton(const QString& normal, const QString& pressed, const char* objectName);
    void buildSkinnedPage();
    void buildDebugPage();
    void placeTitleBand();
    QPushButton* makePushButton(int captionId, const char* objectName);
    void retranslate();

    // Status line.
    void showStatus(int messageId);
    void showStatusList(const QList<int>& messageIds);

    // Button states: every device function, or only the update.
    void setDeviceFunctionsEnabled(bool enabled);
    void setOnlyUpdateEnabled();

    // Detection.
    void handleStatusResult(int result);
    void handleFrameLost();

    // Jobs.
    bool guardConnected();
    bool switchMode(uint8_t modeCode);
    void notYetAvailable();

    int m_flavour = 1;
    bool m_shortcuts = false;
    QPixmap m_background;
    int m_bandHeight = 0;

    QLabel* m_statusLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    QComboBox* m_languageBox = nullptr;
    widgets::Button* m_minimizeButton = nullptr;
    widgets::Button* m_quitButton = nullptr;

    // Tiles (flavours 0 and 1); absent ones stay null.
    widgets::Button* m_levelingButton = nullptr;
    widgets::Button* m_setButton = nullptr;
    widgets::Button* m_calibrateButton = nullptr;
    widgets::Button* m_updateButton = nullptr;
    widgets::Button* m_aboutButton = nullptr;
    widgets::Button* m_shortcutsButton = nullptr;
    FocusRow m_focus;  // the tiles in Tab order

    // Debug page (flavour 2).
    std::vector<QPushButton*> m_debugDeviceButtons;
    QPushButton* m_debugUpdateButton = nullptr;
    QPushButton* m_previewButton = nullptr;
    QLineEdit* m_fpgaPathEdit = nullptr;
    QLineEdit* m_scriptPathEdit = nullptr;
    QLineEdit* m_regAddrEdit = nullptr;
    QLineEdit* m_regValueEdit = nullptr;
    QCheckBox* m_compressBox = nullptr;
    QCheckBox* m_sensorBox = nullptr;
    QCheckBox* m_slaveBox = nullptr;
    QTextEdit* m_outputBox = nullptr;

    // Widgets whose text is a message: redrawn after a language change.
    std::vector<std::pair<QWidget*, int>> m_captions;

    QList<int> m_statusIds;
    bool m_connected = false;
    bool m_updateRunning = false;
    bool m_prepared = false;
    bool m_compressImages = false;
    std::optional<QPoint> m_dragOffset;

    FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::windows
