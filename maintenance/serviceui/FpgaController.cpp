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
    , m_run(*m_thread)
{
    m_inbox->listenTo(m_thread);
    connect(m_inbox, &ReportInbox::received, this, &FpgaController::onReport);
    connect(m_thread, &jobs::Worker::ended, this, &FpgaController::onFinished, Qt::QueuedConnection);
}

FpgaController::~FpgaController()
{
    m_run.abandon();
}

void FpgaController::browse(const FileChooser& chooser)
{
    const QString path = chooser(m_window, FileDialogKind::Open, kOpenFilesCaption, QStringLiteral("./"), kBinFilter);
    if (!path.isEmpty() && m_widgets.fpgaPath)
        m_widgets.fpgaPath->setText(path);
}

void FpgaController::download()
{
    if (isRunning())
        return;  // one download at a time
    if (!m_hooks.guard([this] { download(); }))
        return;
    const QString path = m_widgets.fpgaPath ? m_widgets.fpgaPath->text() : QString();
    m_run.prepare();
    m_hooks.switchModeThen(device::mode::Calibration, [this, path](bool ok) {
        if (!m_run.prepared())
            return;  // another job was asked for meanwhile
        if (!ok) {
            shell::LogF("Download :Switch to calibration mode failed!\n g_isSwitchMode=%d\n",
                        device::g_isSwitchMode.load());
            return;
        }
        m_succeeded = false;
        m_thread->setFile(path);
        if (m_run.start())
            Q_EMIT started();
    });
}

void FpgaController::stopThen(std::function<void()> whenEnded) { m_run.stopThen(std::move(whenEnded)); }

void FpgaController::onFinished()
{
    if (!m_run.active())
        return;
    m_inbox->deliverNow();
    if (m_run.end() && !m_succeeded)
        appendOutput(m_widgets.output,
                     {QStringLiteral("FPGA download stopped before its end (another job was started): "
                                     "a unit may hold part of the new FPGA code, please download it again!")});
    Q_EMIT finished(m_succeeded);
    m_run.notifyEnded();
}

void FpgaController::onReport(const ServiceReport& report)
{
    appendOutput(m_widgets.output, fpgaTexts(report));
    if (report.code == fpga::Done) {
        m_succeeded = true;
        m_hooks.switchModeThen(device::mode::Work, [](bool ok) {
            if (!ok)
                shell::LogF("Download :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        });
    }
}

} // namespace tovrin::maintenance
