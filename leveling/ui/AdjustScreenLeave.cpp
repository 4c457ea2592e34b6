// AdjustScreenWin: leaving the window. Save&Exit (accept, save, report),
// Forgo&Exit, a close from outside, and the Save&Exit countdown.
#include "AdjustScreenWin.h"

#include "widgets/WindowKit.h"

#include "device/UnitOps.h"
#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingAcceptance.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingSave.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LevelingTexts.h"
#include "shell/AppContext.h"
#include "widgets/Button.h"
#include "widgets/MyMessageBox.h"

#include <QCloseEvent>
#include <QTimer>

namespace tovrin::leveling {

namespace {

constexpr int kLeavePauseMs = 500;
constexpr int kEndPollMs = 10;

QString text(int id) { return shell::context().text(id); }

std::function<void(QWidget*, const DeviceInfoSnapshot&)>& deviceInfoHandler()
{
    static std::function<void(QWidget*, const DeviceInfoSnapshot&)> handler;
    return handler;
}

} // namespace

void AdjustScreenWin::setDeviceInfoHandler(std::function<void(QWidget*, const DeviceInfoSnapshot&)> handler)
{
    deviceInfoHandler() = std::move(handler);
}

void AdjustScreenWin::stopWorkers()
{
    if (levelingThreadRunning())
        m_imageThread->stopAndWait();
    if (exposureThreadRunning())
        m_exposureThread->stopAndWait();
}

void AdjustScreenWin::requestStopWorkers()
{
    if (levelingThreadRunning())
        m_imageThread->requestStop();
    if (exposureThreadRunning())
        m_exposureThread->requestStop();
}

void AdjustScreenWin::whenWorkersEnded(std::function<void()> then)
{
    if (!levelingThreadRunning() && !exposureThreadRunning()) {
        then();
        return;
    }
    // A worker in a transaction with a silent frame ends only when that
    // transaction's wait has run out: look again every few milliseconds
    // instead of waiting for it.
    auto* poll = new QTimer(this);
    poll->setInterval(kEndPollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, then = std::move(then)] {
        if (levelingThreadRunning() || exposureThreadRunning())
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start();
}

void AdjustScreenWin::leave(int outcome)
{
    pause(kLeavePauseMs, [this, outcome] {
        m_closed = true;
        Q_EMIT sendShowData(outcome);
        close();
    });
}

void AdjustScreenWin::ReturnSlot()
{
    if (g_WindowClosing.load())
        return;
    m_timer->stop();
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load()) {
        g_WindowClosing = 1;
        setControlsEnabled(false);
        setSaveEnabled(false);
        requestStopWorkers();
        whenWorkersEnded([this] {
            m_frames.close();
            m_closed = true;
            Q_EMIT sendShowData(outcome::DeviceLost);
            close();
        });
        return;
    }
    FrameBytes master{}, slave{};
    m_frames.copyPublished(master, slave);
    storeLastFrames(master, slave);

    const Acceptance a =
        acceptLeveling(g_PreviewOnly.load() != 0, g_ExposureDone.load() != 0, g_StartLineM.load(), g_StartLineS.load());
    if (a.verdict == Acceptance::Verdict::ExposureFirst) {
        setLabel(kMaster, text(64));
        setLabel(kSlave, text(64));
        return;
    }
    if (a.verdict == Acceptance::Verdict::OutOfRange) {
        for (int unit : {kMaster, kSlave}) {
            if (a.outOfRange[static_cast<size_t>(unit)]) {
                setLabel(unit, text(83));
                exposureMarkOf(unit) = 1;
            }
        }
        m_saveButton->setCaption(text(51));
        return;
    }

    g_WindowClosing = 1;
    setControlsEnabled(false);
    setSaveEnabled(false);
    requestStopWorkers();
    whenWorkersEnded([this, master, slave] { saveAndLeave(master, slave); });
}

void AdjustScreenWin::saveAndLeave(const FrameBytes& master, const FrameBytes& slave)
{
    m_frames.close();
    SaveResult saved;
    widgets::runBesideGui([&] { saved = saveLeveling(m_config.extended, m_config.adjustDebug); });
    if (!saved.ok) {
        // The frame keeps its old records: no "Leveling completed!".
        widgets::MyMessageBox::setAnswer(0);
        widgets::MyMessageBox box(this, text(117), text(118), 1, 1);
        const bool present = device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
        leave(present ? outcome::LeftWithoutSaving : outcome::DeviceLost);
        return;
    }
    if (m_config.writeDeviceInfo) {
        DeviceInfoSnapshot snapshot;
        snapshot.masterFrame = master;
        snapshot.slaveFrame = slave;
        const UnitLeveling um = unitLeveling(kMaster), us = unitLeveling(kSlave);
        snapshot.masterExposureHigh = um.exposureHigh;
        snapshot.masterExposureLow = um.exposureLow;
        snapshot.slaveExposureHigh = us.exposureHigh;
        snapshot.slaveExposureLow = us.exposureLow;
        Q_EMIT deviceInfoWanted(snapshot);
        if (deviceInfoHandler())
            deviceInfoHandler()(this, snapshot);
    }
    const bool present = device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
    leave(present ? outcome::Saved : outcome::DeviceLost);
}

void AdjustScreenWin::ExitSlot()
{
    if (g_WindowClosing.load())
        return;
    m_timer->stop();
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    g_WindowClosing = 1;
    setControlsEnabled(false);
    setSaveEnabled(false);
    requestStopWorkers();
    whenWorkersEnded([this] {
        m_frames.close();
        const bool present = device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
        leave(present ? outcome::LeftWithoutSaving : outcome::DeviceLost);
    });
}

void AdjustScreenWin::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        // Closed from outside (window manager): leave as Forgo&Exit does.
        event->ignore();
        ExitSlot();
        return;
    }
    QDialog::closeEvent(event);
}

void AdjustScreenWin::TimerOutSlot()
{
    if (m_countdown < 0)
        return;
    --m_countdown;
    if (m_countdown >= 0) {
        m_saveButton->setCaption(countdownCaption(m_countdown));
        return;
    }
    m_timer->stop();
    ReturnSlot();
}

} // namespace tovrin::leveling
