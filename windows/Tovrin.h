#pragma once
// Main window of the engineering tool (tool flavours 0, 1 and 2). It owns
// the frame detection, shows what the frame reports in its status line and
// offers the jobs as skinned picture tiles (flavours 0 and 1,
// TovrinSkinnedPage) or as the plain debug page (flavour 2, TovrinDebugPage
// with its Preview page). Every job goes through the JobLauncher: guard,
// stop the preview and other workers, calibration mode, the job, work mode.
// The firmware update runs in update::FirmwareUpdateFlow; jobs that live in
// other libraries are reached through TovrinEntries.
//
// The status line is kept as message ids, not as text, so that a language
// change can draw it again in the new language.

#include "Captions.h"
#include "JobLauncher.h"
#include "TovrinSkinnedPage.h"
#include "TovrinEntries.h"
#include "device/FrameDetection.h"
#include "maintenance/check/DeviceTest.h"
#include "widgets/WindowKit.h"
#include "maintenance/update/FirmwareUpdateFlow.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tovrin::records {
struct JournalEntry;
}

class QComboBox;
class QLabel;
class QProgressBar;

namespace tovrin::windows {

class DebugPage;

class Tovrin : public QDialog {
    Q_OBJECT
public:
    explicit Tovrin(QWidget* parent = nullptr);
    ~Tovrin() override;

    // The message ids shown in the status line (more than one when a device
    // test reports several failed groups), and the text they give.
    QList<int> statusMessageIds() const { return m_statusIds; }
    int statusMessageId() const { return m_statusIds.isEmpty() ? -1 : m_statusIds.last(); }
    QString statusText() const;

    // Marks of the window.
    bool isConnected() const;
    bool isUpdateRunning() const { return m_update.running(); }
    bool isPrepared() const { return m_update.prepared(); }
    update::FirmwareUpdateFlow& updateFlow() { return m_update; }
    DebugPage* debugPage() const { return m_debug; }

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
    // Not a slot of the tool's own: the debug page's device-information entry.
    void DeviceInfoButSlot();

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
    widgets::Button* makeTitleButton(const QString& normal, const QString& pressed, const char* objectName);
    void buildDebugPage();
    void connectUpdateFlow();
    void placeTitleBand();
    void retranslate();

    // Status line.
    void showStatus(int messageId);
    void showStatusList(const QList<int>& messageIds);
    void showStatusText(const QString& text);

    // Button states: every device function, or only the update.
    void setDeviceFunctionsEnabled(bool enabled);
    void setOnlyUpdateEnabled();

    // The device test's outcome, in the window's thread.
    void deviceTestDone();
    // A record left invalid by a write that never finished: asks whether
    // to write back what the journal saved before it (restore / keep).
    void offerRestore();
    // The restore the technician agreed to (after the workers that ran).
    void restoreJournal(const std::vector<records::JournalEntry>& plan);

    // Detection. keepStatus: the frame answers again after a request that
    // got no reply; the status line keeps what the job showed.
    void handleStatusResult(int result, bool keepStatus = false);
    void handleFrameLost();
    void handleLostDuringUpdate();

    // Jobs built elsewhere: how much of the pattern the window runs before
    // the entry's function.
    enum class Guard { Full, FrameOnly, None };
    void openEntry(Entry entry, Guard guard);
    EntryContext entryContext();
    void previewCode(int code);

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
    SkinnedTiles m_tiles;          // flavours 0 and 1
    DebugPage* m_debug = nullptr;  // flavour 2
    Captions m_captions;

    QList<int> m_statusIds;
    QString m_fixedStatus;  // a status that is no message (shown while m_statusIds is empty)
    bool m_connected = false;
    bool m_reported = false;  // the detection has reported this frame's status test
    std::optional<QPoint> m_dragOffset;
    std::function<void(int)> m_workerCodes;  // a debug worker's codes arriving at recvData
    bool m_closing = false;           // the exit was confirmed; the workers are stopping
    bool m_closingConnected = false;  // the frame was connected when it was

    JobLauncher m_jobs;
    update::FirmwareUpdateFlow m_update;
    check::DeviceTestThread m_deviceTest;
    device::FrameDetection m_detection;  // last: stopped before anything else goes
};

} // namespace tovrin::windows
