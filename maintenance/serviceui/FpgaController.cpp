#include "FpgaController.h"

#include "maintenance/service/BurnFPGAThread.h"
#include "maintenance/service/ServiceTexts.h"

#include "device/DeviceStatus.h"
#include "shell/Log.h"

#include <QLineEdit>

#include <utility>

namespace tovrin::maintenance {

FpgaController::FpgaController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
    , m_widgets(widgets)
    , m_hooks(hooks)
    , m_window(window)
    , m_thread(new BurnFPGAThread(this))
    , m_inbox(new ReportInbox(this))
{
    m_inbox->listenTo(m_thread);
    connect(m_inbox, &ReportInbox::received, this, &FpgaController::onReport);
    connect(m_thread, &jobs::Worker::ended, this, &FpgaController::onFinished, Qt::QueuedConnection);
}

FpgaController::~FpgaController()
{
    // The run must be over before the fields go; nobody listens any more.
    m_whenEnded.clear();
    m_thread->stopAndWait();
}

void FpgaController::browse(const FileChooser& chooser)
{
    const QString path = chooser(m_window, FileDialogKind::Open, kOpenFilesCaption, QStringLiteral("./"), kBinFilter);
    if (!path.isEmpty() && m_widgets.fpgaPath)
        m_widgets.fpgaPath->setText(path);
}

void FpgaController::download()
{
    if (m_active)
        return;  // one download at a time
    if (!m_hooks.guard([this] { download(); }))
        return;
    if (!m_hooks.switchMode(device::mode::Calibration)) {
        shell::LogF("Download :Switch to calibration mode failed!\n g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        return;
    }
    m_succeeded = false;
    m_stopAsked = false;
    m_thread->setFile(m_widgets.fpgaPath ? m_widgets.fpgaPath->text() : QString());
    m_active = m_thread->startWork();
    if (m_active)
        Q_EMIT started();
}

void FpgaController::stopThen(std::function<void()> whenEnded)
{
    if (!m_active) {
        if (whenEnded)
            whenEnded();
        return;
    }
    // A run that has ended by itself was not stopped by anyone.
    if (!m_thread->hasEnded())
        m_stopAsked = true;
    if (whenEnded)
        m_whenEnded.push_back(std::move(whenEnded));
    m_thread->requestStop();
}

void FpgaController::onFinished()
{
    if (!m_active)
        return;
    m_inbox->deliverNow();
    m_active = false;
    if (std::exchange(m_stopAsked, false) && !m_succeeded)
        appendOutput(m_widgets.output,
                     {QStringLiteral("FPGA download stopped before its end (another job was started): "
                                     "a unit may hold part of the new FPGA code, please download it again!")});
    Q_EMIT finished(m_succeeded);
    for (const std::function<void()>& f : std::exchange(m_whenEnded, {}))
        f();
}

void FpgaController::onReport(const ServiceReport& report)
{
    appendOutput(m_widgets.output, fpgaTexts(report));
    if (report.code == fpga::Done) {
        m_succeeded = true;
        if (!m_hooks.switchMode(device::mode::Work))
            shell::LogF("Download :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    }
}

} // namespace tovrin::maintenance
