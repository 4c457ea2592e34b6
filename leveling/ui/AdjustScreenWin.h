#pragma once
// AdjustScreenWin: the full-screen leveling window. It shows the line images
// of both cameras with the columns and zones leveling found, one result text
// per unit, a slider with step buttons per unit for the start line, and the
// buttons Exposure, Re-adjusting, Save&Exit and Forgo&Exit. It owns
// CImagePreviewThread and ExposureThread and turns their codes into texts
// and control states. On an extended-frame device with AdjustDebug on it
// carries the image-debug panel as well.
//
// It reports to the main window with sendShowData(int): 1 saved, 2 left
// without saving, 3 device lost. Open it through LevelingLauncher, which
// runs the opening steps first.
//
// The waits the window makes (before exposure, before closing, while a
// start-line change is served, during the sensor test) run on timers and
// local event loops: the window keeps painting and answering meanwhile.

#include "leveling/core/FrameBuffers.h"
#include "leveling/core/FrameRender.h"
#include "leveling/core/LevelingConfig.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QRect>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace tovrin::widgets {
class Button;
class MySlider;
} // namespace tovrin::widgets

namespace tovrin::leveling {

class CImagePreviewThread;
class ExposureThread;
class ImageDebugPanel;

// What the device-information dialog needs after a saved leveling: the
// frames Save&Exit kept and the last exposure readings.
struct DeviceInfoSnapshot {
    FrameBytes masterFrame{};
    FrameBytes slaveFrame{};
    uint8_t masterExposureHigh = 0, masterExposureLow = 0;
    uint8_t slaveExposureHigh = 0, slaveExposureLow = 0;
};

class AdjustScreenWin : public QDialog {
    Q_OBJECT
public:
    // storedLevelingUsable: what the opening read of the stored leveling
    // (storedLevelingUsable() of OpeningSteps.h); without it the window
    // reads it itself.
    explicit AdjustScreenWin(QWidget* parent = nullptr, std::optional<bool> storedLevelingUsable = std::nullopt);
    ~AdjustScreenWin() override;

    // GUI-thread pauses (ms) are multiplied by this factor; tests make them short.
    static void setPauseScale(double scale);

    // Called after a saved leveling when Tovrin_Debug/WriteDeviceInfo is on,
    // before the window reports code 1: the device-information dialog is
    // shown modally from here (set by whoever owns that dialog).
    static void setDeviceInfoHandler(std::function<void(QWidget* parent, const DeviceInfoSnapshot&)> handler);

    // For tests and for the screenshots.
    const LevelingConfig& config() const { return m_config; }
    bool hasDebugPanel() const { return m_panel != nullptr; }
    bool framesAvailable() const { return m_framesOk; }
    QString leftText() const;
    QString rightText() const;
    QString hintText() const;
    QString saveCaption() const;
    bool controlsEnabled() const;
    bool saveEnabled() const;
    int focusIndex() const { return m_focusIndex; }
    bool countdownRunning() const;
    bool readjustEnabled() const;
    bool leftMarkedRed() const;
    bool rightMarkedRed() const;
    bool levelingThreadRunning() const;
    bool exposureThreadRunning() const;
    ImageDebugPanel* debugPanel() const { return m_panel; }
    widgets::MySlider* leftSlider() const { return m_leftSlider; }
    widgets::MySlider* rightSlider() const { return m_rightSlider; }

Q_SIGNALS:
    void sendShowData(int code);
    // A saved leveling with Tovrin_Debug/WriteDeviceInfo on.
    void deviceInfoWanted(const tovrin::leveling::DeviceInfoSnapshot& snapshot);

public Q_SLOTS:
    void ReturnSlot();
    void ExitSlot();
    void ExposureButSlot();
    void ReAdjustingButSlot();
    void TimerOutSlot();
    void LeftSliderSlot(int value);
    void LeftAddSlot();
    void LeftMinusSlot();
    void RightAddSlot();
    void RightMinusSlot();
    void RightSliderSlot(int value);
    void recvData(int code);
    void FlashReadButSlot();
    void FlashWriteButSlot();
    void SlaveCButSlot();
    void ClosePreviewSlot();
    void ReadButSlot();
    void WriteButSlot();
    void OnlyLastLineSlot();
    void UpdateBKButSlot();
    void SaveDataButSlot();
    void ResetFpgaButSlot();
    void WriteColumnButSlot();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Construction (AdjustScreenWin.cpp).
    void buildWidgets();
    void layoutNormal();
    void layoutDebug();
    void openFramesAndRecords(std::optional<bool> storedLevelingUsable);
    void startWorkers();

    // Controls and texts.
    void setControlsEnabled(bool enabled);
    void setSaveEnabled(bool enabled);
    void greyLabels();
    void setLabel(int unit, const QString& text, bool red = false);
    void stopCountdown();
    void moveFocus(int index);
    widgets::Button* buttonAt(int index) const;
    void pause(int ms, std::function<void()> then);

    // Codes (AdjustScreenCodes.cpp).
    void handleImageCode(int code);
    void handleExposureCode(int code);
    void deviceLost();
    void startExposure(bool fromButton);
    void exposureFinished();
    void changeStartLine(int unit, int newLine, bool fromStepButton);
    void waitForStartLineChange(int unit, int waited);
    void finishStartLineChange(int unit);
    void stepStartLine(int unit, int delta);
    void stopWorkers();          // blocking: the destructor only
    void requestStopWorkers();   // returns at once
    // Runs then once neither worker runs any more (at once when none does);
    // the event loop goes on meanwhile, a worker ends after the
    // transaction it is in.
    void whenWorkersEnded(std::function<void()> then);
    // Lets the leveling thread search or serve a start-line change: a
    // running thread does it at its next pass; one that has ended (or is
    // ending) is started again once both workers have ended.
    void resumeLeveling();
    // A start-line change or Re-adjusting while an exposure is on its way:
    // that exposure no longer completes the leveling.
    void supersedeExposure();
    void enableReadjustOnly();
    void leave(int outcome);
    void saveAndLeave(const FrameBytes& master, const FrameBytes& slave);

    // Frames (AdjustScreenPaint.cpp).
    void showNewFrame();
    void paintPlots(QPainter& painter);
    void paintProfiles(QPainter& painter);
    QImage toImage(const RenderedFrame& frame) const;

    // Debug panel requests (AdjustScreenDebug.cpp).
    void serveDebugRequest(int code);
    void runSensorTest();
    void panelBox(const QString& text);

    LevelingConfig m_config;
    FrameBuffers m_frames;
    bool m_framesOk = false;
    CImagePreviewThread* m_imageThread = nullptr;
    ExposureThread* m_exposureThread = nullptr;

    QLabel* m_hint = nullptr;
    QLabel* m_leftLabel = nullptr;
    QLabel* m_rightLabel = nullptr;
    QLabel* m_leftImage = nullptr;
    QLabel* m_rightImage = nullptr;
    QLabel* m_leftValue = nullptr;
    QLabel* m_rightValue = nullptr;
    widgets::MySlider* m_leftSlider = nullptr;
    widgets::MySlider* m_rightSlider = nullptr;
    widgets::Button* m_leftMinus = nullptr;
    widgets::Button* m_leftAdd = nullptr;
    widgets::Button* m_rightMinus = nullptr;
    widgets::Button* m_rightAdd = nullptr;
    widgets::Button* m_exposureButton = nullptr;
    widgets::Button* m_readjustButton = nullptr;
    widgets::Button* m_saveButton = nullptr;
    widgets::Button* m_exitButton = nullptr;
    QTimer* m_timer = nullptr;
    ImageDebugPanel* m_panel = nullptr;

    int m_focusIndex = 6;
    int m_countdown = 5;
    bool m_leftRed = false;
    bool m_rightRed = false;
    bool m_closed = false;
    bool m_changeInProgress = false;
    bool m_exposing = false;          // from the exposure's start until its end is handled
    bool m_exposureStale = false;     // the start line changed since that exposure started
    std::array<bool, 2> m_exposureAnswered{};  // a unit's exposure said it succeeded or failed
    int m_exposureRun = 0;            // which exposure start a pause belongs to
    bool m_resumePending = false;     // the leveling thread is to be started again
    int m_frameLine[2] = {0, 0};      // the start line each unit's frame holds
    bool m_sensorTestRunning = false;
    // Normal view: the card of each unit and its band profile.
    QRect m_cardRect[2];
    QRect m_profileRect[2];
    // The last frames shown (the window's last-frame copies) for the plots.
    FrameBytes m_lastMaster{};
    FrameBytes m_lastSlave{};
};

} // namespace tovrin::leveling
