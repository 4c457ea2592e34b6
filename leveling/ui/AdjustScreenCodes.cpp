// AdjustScreenWin: the codes of the two workers, exposure, start-line changes
// and re-adjusting.
#include "AdjustScreenWin.h"

#include "widgets/WindowKit.h"

#include "device/UnitOps.h"
#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LevelingSteps.h"
#include "leveling/core/LevelingTexts.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/MySlider.h"

#include <QLabel>
#include <QTimer>

namespace tovrin::leveling {

namespace {

constexpr int kExposurePauseMs = 1000;
constexpr int kRestartPauseMs = 1000;
constexpr int kChangeWaitStepMs = 100;
constexpr int kCountdownSeconds = 5;
constexpr int kCountdownTickMs = 1000;

QString text(int id) { return shell::context().text(id); }

} // namespace

void AdjustScreenWin::recvData(int code)
{
    if (m_closed)
        return;
    // Codes 12..16 come only from ExposureThread; 6 means the same from both.
    if (code >= exposure::MasterReady && code <= exposure::Finished)
        handleExposureCode(code);
    else
        handleImageCode(code);
}

void AdjustScreenWin::handleImageCode(int code)
{
    switch (code) {
    case image::FrameComplete:
        showNewFrame();
        break;
    case image::SearchFailed:
        setLabel(kMaster, searchResultText(kMaster));
        setLabel(kSlave, searchResultText(kSlave));
        shell::LogF("ImagePreviewThread: Search Startline failed! g_SearchStartLine=%d, g_StartLineM=%d, g_StartLineS=%d\n",
                    g_SearchStartLine.load(), g_StartLineM.load(), g_StartLineS.load());
        clearResultFlags();
        device::g_isDeviceCommunicate = 1;
        enableReadjustOnly();  // the hint asks for Re-adjusting when line selection fails
        break;
    case window::EnableControls:
        setControlsEnabled(true);
        if (g_PreviewOnly.load())
            setSaveEnabled(true);
        break;
    case image::ConfigFailed:
        setLabel(kMaster, text(53));
        setLabel(kSlave, text(53));
        shell::LogF("ImagePreviewThread: Config Startline failed! g_OptimumStartLine=%d\n", g_OptimumStartLine.load());
        enableReadjustOnly();
        break;
    case image::Leveled: {
        const QSignalBlocker a(m_leftSlider), b(m_rightSlider);
        m_leftSlider->setValue(g_StartLineM.load());
        m_rightSlider->setValue(g_StartLineS.load());
        m_leftValue->setText(QString::number(g_StartLineM.load()));
        m_rightValue->setText(QString::number(g_StartLineS.load()));
        setLabel(kMaster, leveledText(kMaster));
        setLabel(kSlave, leveledText(kSlave));
        m_frameLine[kMaster] = g_StartLineM.load();
        m_frameLine[kSlave] = g_StartLineS.load();
        setControlsEnabled(true);
        break;
    }
    case image::ColumnFailed:
        setLabel(kMaster, text(60));
        setLabel(kSlave, text(60));
        shell::LogF("ImagePreviewThread: Search Column failed! g_SearchColumn=%d\n", g_SearchColumn.load());
        enableReadjustOnly();
        break;
    case image::DeviceLost:
        deviceLost();
        break;
    case image::OptimumFailed:
        setLabel(kMaster, text(62));
        setLabel(kSlave, text(62));
        shell::LogF("ImagePreviewThread: Optimalize Line failed! g_OptimumLineFlag=%d\n", g_OptimumLineFlag.load());
        enableReadjustOnly();
        break;
    case image::FrameFailed:
        setLabel(kMaster, text(63));
        setLabel(kSlave, text(63));
        shell::LogF("ImagePreviewThread: GetPreviewData failed! g_PreviewSucFlag=%d\n", g_PreviewSucFlag.load());
        enableReadjustOnly();
        break;
    case image::StoredShown: {
        const QSignalBlocker a(m_leftSlider), b(m_rightSlider);
        m_leftSlider->setValue(g_StartLineM.load());
        m_rightSlider->setValue(g_StartLineS.load());
        m_leftValue->setText(QString::number(g_StartLineM.load()));
        m_rightValue->setText(QString::number(g_StartLineS.load()));
        g_FirstRun = 0;
        m_frameLine[kMaster] = g_StartLineM.load();
        m_frameLine[kSlave] = g_StartLineS.load();
        setLabel(kMaster, storedLevelingText(kMaster, m_config.extended));
        setLabel(kSlave, storedLevelingText(kSlave, m_config.extended));
        setControlsEnabled(true);
        if (g_PreviewOnly.load())
            setSaveEnabled(true);
        break;
    }
    case image::ExposureStep:
        startExposure(false);
        break;
    case window::DisableControls:
        setControlsEnabled(false);
        setSaveEnabled(false);
        break;
    case image::SensorTest:
        runSensorTest();
        break;
    case image::PreviewOff:
        g_PreviewRun = 0;
        m_imageThread->requestStop();  // it is ending by itself; nothing to wait for
        break;
    default:
        if (code >= kFirstDebugRequest && code < kFirstDebugRequest + kDebugRequestCount)
            serveDebugRequest(code);
        break;
    }
}

void AdjustScreenWin::deviceLost()
{
    m_exposing = false;
    if (!device::g_isDeviceCommunicate.load()) {
        setLabel(kMaster, text(14));
        setLabel(kSlave, text(14));
    } else {
        device::g_bDevExist = 0;
        setLabel(kMaster, text(61));
        setLabel(kSlave, text(61));
    }
    shell::LogF("ImagePreviewThread exit! g_isDeviceCommunicate=%d, g_bDevExist=%d\n",
                device::g_isDeviceCommunicate.load(), device::g_bDevExist.load());
    setControlsEnabled(false);
    setSaveEnabled(false);
    clearResultFlags();
}

// ---- Exposure -------------------------------------------------------------------

void AdjustScreenWin::ExposureButSlot() { startExposure(true); }

void AdjustScreenWin::startExposure(bool fromButton)
{
    if (fromButton) {
        stopCountdown();
        greyLabels();
    }
    handleImageCode(window::DisableControls);
    m_exposing = true;
    m_exposureStale = false;
    m_exposureAnswered = {};
    const int run = ++m_exposureRun;
    // The leveling thread ends after the transaction it is in; exposure
    // starts once it has ended, so only one thread talks to the frame.
    m_imageThread->requestStop();
    setLabel(kMaster, text(54));
    setLabel(kSlave, text(54));
    if (g_WindowClosing.load())
        return;
    whenWorkersEnded([this, run] {
        pause(kExposurePauseMs, [this, run] {
            if (g_WindowClosing.load() || run != m_exposureRun || m_exposureStale)
                return;  // left, or the start line changed meanwhile
            m_exposureThread->startWork();
        });
    });
}

void AdjustScreenWin::supersedeExposure()
{
    if (!m_exposing)
        return;
    m_exposing = false;
    m_exposureStale = true;
    m_exposureThread->requestStop();
}

void AdjustScreenWin::handleExposureCode(int code)
{
    if (m_exposureStale)
        return;  // an exposure of a start line that has changed since: nothing of it counts
    switch (code) {
    case exposure::MasterReady:
    case exposure::SlaveReady: {
        const int unit = code == exposure::MasterReady ? kMaster : kSlave;
        m_exposureAnswered[static_cast<size_t>(unit)] = true;
        if (exposureMarkOf(unit).load())
            setLabel(unit, exposureText(unit), true);
        else
            setLabel(unit, exposureText(unit));
        break;
    }
    case exposure::MasterFailed:
        m_exposureAnswered[static_cast<size_t>(kMaster)] = true;
        setLabel(kMaster, text(56));
        shell::LogF("Exposure Left failed! g_isExposureSuc=%d\n", g_isExposureSuc.load());
        break;
    case exposure::SlaveFailed:
        m_exposureAnswered[static_cast<size_t>(kSlave)] = true;
        setLabel(kSlave, text(56));
        shell::LogF("Exposure Right failed! g_isExposureSuc=%d\n", g_isExposureSuc.load());
        break;
    case exposure::Finished:
        exposureFinished();
        break;
    default:
        break;
    }
}

void AdjustScreenWin::exposureFinished()
{
    m_exposing = false;
    setControlsEnabled(true);
    setSaveEnabled(true);
    // Only both units' exposures make the line exposed: after a failed
    // request Save&Exit asks for exposure again, and Exposure and
    // Re-adjusting stay offered.
    const bool succeeded = g_isExposureSuc.load() == 1;
    g_ExposureDone = succeeded ? 1 : 0;
    // A unit the failed exposure never came to says "please wait" no longer.
    if (!succeeded) {
        for (const int unit : {kMaster, kSlave})
            if (!m_exposureAnswered[static_cast<size_t>(unit)])
                setLabel(unit, text(56));
    }
    if (g_WindowClosing.load())
        return;
    if (g_CompressEnable.load() && m_config.touchButtonEnable) {
        bool ok = true;
        widgets::runBesideGui([&] {
            ok = sensorWrite(kMaster, 0x00, 0x1C) && sensorWrite(kMaster, 0x10, 0x70) &&
                 sensorWrite(kSlave, 0x00, 0x1C) && sensorWrite(kSlave, 0x10, 0x70);
        });
        if (!ok)
            return;
    }
    if (succeeded) {
        const int run = m_exposureRun;
        pause(kRestartPauseMs, [this, run] {
            if (run == m_exposureRun && !m_exposing)
                resumeLeveling();
        });
    }
    // Only a leveling whose exposure succeeded is saved by the countdown.
    if (succeeded && g_AutoSaveArmed.load() && g_FirstRun.load()) {
        g_AutoSaveArmed = 0;
        g_FirstRun = 0;
        m_countdown = kCountdownSeconds;
        m_saveButton->setCaption(countdownCaption(m_countdown));
        m_timer->start(std::max(1, widgets::scaledPause(kCountdownTickMs)));
    }
}

// ---- Start line by hand ---------------------------------------------------------

void AdjustScreenWin::ReAdjustingButSlot()
{
    if (g_WindowClosing.load() || !device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load())
        return;  // nothing to search with: the window says why
    stopCountdown();
    setControlsEnabled(false);
    greyLabels();
    g_StartLineKnown = 0;
    g_ExposureDone = 0;
    g_PreviewOnly = 0;
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    moveFocus(6);
    setLabel(kMaster, text(48));
    setLabel(kSlave, text(48));
    supersedeExposure();
    resumeLeveling();
}

void AdjustScreenWin::resumeLeveling()
{
    if (g_WindowClosing.load() || !m_framesOk)
        return;
    if (levelingThreadRunning() && !m_imageThread->stopRequested())
        return;  // it searches or serves the change at its next pass
    if (m_resumePending)
        return;
    m_resumePending = true;
    whenWorkersEnded([this] {
        m_resumePending = false;
        if (!g_WindowClosing.load() && !m_exposing && !levelingThreadRunning())
            m_imageThread->startWork();
    });
}

void AdjustScreenWin::enableReadjustOnly()
{
    setControlsEnabled(false);
    m_readjustButton->setButtonEnabled(true);
    moveFocus(m_focusIndex);
}

void AdjustScreenWin::LeftSliderSlot(int value) { changeStartLine(kMaster, value, false); }
void AdjustScreenWin::RightSliderSlot(int value) { changeStartLine(kSlave, value, false); }
void AdjustScreenWin::LeftAddSlot() { stepStartLine(kMaster, +1); }
void AdjustScreenWin::LeftMinusSlot() { stepStartLine(kMaster, -1); }
void AdjustScreenWin::RightAddSlot() { stepStartLine(kSlave, +1); }
void AdjustScreenWin::RightMinusSlot() { stepStartLine(kSlave, -1); }

void AdjustScreenWin::stepStartLine(int unit, int delta)
{
    widgets::MySlider* slider = unit == kMaster ? m_leftSlider : m_rightSlider;
    if (!slider->isEnabled() || g_WindowClosing.load())
        return;
    const int value = slider->value();
    // A step acts only inside the search window.
    if ((delta > 0 && value >= g_SearchUpper.load()) || (delta < 0 && value <= g_SearchLower.load()))
        return;
    {
        const QSignalBlocker block(slider);
        slider->setValue(value + delta);
    }
    changeStartLine(unit, value + delta, true);
}

void AdjustScreenWin::changeStartLine(int unit, int newLine, bool fromStepButton)
{
    Q_UNUSED(fromStepButton);
    if (g_WindowClosing.load())
        return;
    stopCountdown();
    setControlsEnabled(false);
    greyLabels();
    startLineOf(unit) = newLine;
    (unit == kMaster ? m_leftValue : m_rightValue)->setText(QString::number(newLine));
    g_ExposureDone = 0;
    g_ChangeUnit = unit;
    // Every change goes to the frame, the slider's in the first run too:
    // a line the window shows and the frame does not hold would be saved
    // as leveled.
    g_PreviewOnly = 0;
    g_StartLineChangeRequest = 1;
    supersedeExposure();
    resumeLeveling();
    if (m_changeInProgress)
        return;  // the wait that runs shows the outcome of the latest value
    m_changeInProgress = true;
    waitForStartLineChange(unit, 0);
}

// The worker serves the change between two device steps; the window waits
// as long as the worker runs (each step bounded by its transaction's wait),
// a step at a time, so that it keeps painting.
void AdjustScreenWin::waitForStartLineChange(int unit, int waited)
{
    const bool workerComing = levelingThreadRunning() || m_resumePending;
    if (g_StartLineChangeRequest.load() && workerComing && !g_WindowClosing.load()) {
        setLabel(unit, text(48));
        pause(kChangeWaitStepMs, [this, unit, waited] { waitForStartLineChange(unit, waited + 1); });
        return;
    }
    finishStartLineChange(unit);
}

void AdjustScreenWin::finishStartLineChange(int unit)
{
    m_changeInProgress = false;
    const int served = g_ChangeUnit.load();
    if (g_StartLineChangeRequest.load()) {
        // The worker ended before it served the change: the frame keeps its
        // line, and so does the window.
        g_StartLineChangeRequest = 0;
        for (int u : {kMaster, kSlave}) {
            if (startLineOf(u).load() == m_frameLine[u])
                continue;
            startLineOf(u) = m_frameLine[u];
            widgets::MySlider* slider = u == kMaster ? m_leftSlider : m_rightSlider;
            const QSignalBlocker block(slider);
            slider->setValue(m_frameLine[u]);
            (u == kMaster ? m_leftValue : m_rightValue)->setText(QString::number(m_frameLine[u]));
        }
        if (!g_WindowClosing.load() && device::g_bDevExist.load() && device::g_isDeviceCommunicate.load())
            setLabel(unit, text(53));
        shell::LogF("Start line change not served, the frame keeps %d\n", m_frameLine[unit]);
    } else if (g_OptimumStartLine.load()) {
        m_frameLine[served] = startLineOf(served).load();  // SetLine was taken
        setLabel(served, g_SearchColumn.load() ? leveledText(served) : text(53));
    } else {
        // SetLine refused: the frame keeps its line.
        startLineOf(served) = m_frameLine[served];
        widgets::MySlider* slider = served == kMaster ? m_leftSlider : m_rightSlider;
        const QSignalBlocker block(slider);
        slider->setValue(m_frameLine[served]);
        (served == kMaster ? m_leftValue : m_rightValue)->setText(QString::number(m_frameLine[served]));
        setLabel(served, text(53));
    }
    if (!g_WindowClosing.load() && device::g_bDevExist.load() && device::g_isDeviceCommunicate.load()) {
        if (levelingThreadRunning())
            setControlsEnabled(true);
        else
            enableReadjustOnly();
    }
    g_OptimumStartLine = 0;
    g_SearchColumn = 0;
}

} // namespace tovrin::leveling
