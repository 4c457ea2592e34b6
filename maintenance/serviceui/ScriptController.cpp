#include "ScriptController.h"

#include "maintenance/service/RunScriptThread.h"
#include "maintenance/service/ServiceTexts.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <QCheckBox>
#include <QLineEdit>

#include <utility>

namespace tovrin::maintenance {

ScriptController::ScriptController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
    , m_widgets(widgets)
    , m_hooks(hooks)
    , m_window(window)
    , m_thread(new RunScriptThread(this))
    , m_inbox(new ReportInbox(this))
    , m_run(*m_thread)
{
    m_inbox->listenTo(m_thread);
    connect(m_inbox, &ReportInbox::received, this, &ScriptController::onReport);
    connect(m_thread, &jobs::Worker::ended, this, &ScriptController::onFinished, Qt::QueuedConnection);
}

ScriptController::~ScriptController()
{
    m_run.abandon();
}

void ScriptController::browse(const FileChooser& chooser)
{
    const QString path = chooser(m_window, FileDialogKind::Open, kOpenFilesCaption, QStringLiteral("./"), kIniFilter);
    if (!path.isEmpty() && m_widgets.scriptPath)
        m_widgets.scriptPath->setText(path);
}

void ScriptController::run()
{
    if (isRunning())
        return;
    if (!m_hooks.guard([this] { run(); }))
        return;
    const QString path = m_widgets.scriptPath ? m_widgets.scriptPath->text() : QString();
    m_run.prepare();
    m_hooks.switchModeThen(device::mode::Calibration, [this, path](bool ok) {
        if (!m_run.prepared())
            return;  // another job was asked for meanwhile
        if (!ok) {
            shell::LogF("RunScript :Switch to calibration mode failed! g_isSwitchMode=%d\n",
                        device::g_isSwitchMode.load());
            return;
        }
        m_succeeded = false;
        m_ended = false;
        if (m_widgets.slave)
            device::SelectedUnitIsSlave = m_widgets.slave->isChecked() ? 1 : 0;
        m_thread->setScript(path);
        if (m_run.start())
            Q_EMIT started();
    });
}

void ScriptController::stopThen(std::function<void()> whenEnded) { m_run.stopThen(std::move(whenEnded)); }

void ScriptController::onFinished()
{
    if (!m_run.active())
        return;
    m_inbox->deliverNow();
    if (m_run.end() && !m_ended)
        appendOutput(m_widgets.output, {QStringLiteral("Script stopped before its end (another job was started): "
                                                       "the frame stays in calibration mode.")});
    Q_EMIT finished(m_succeeded);
    m_run.notifyEnded();
}

void ScriptController::onReport(const ServiceReport& report)
{
    appendOutput(m_widgets.output, scriptTexts(report));
    switch (report.code) {
    case script::Done:
    case script::OpenFail:
    case script::Refused:
    case script::PortReadFail:
    case script::PortWriteFail:
    case script::SingleReadFail:
    case script::BurstReadFail:
    case script::BurstWriteFail:
    case script::I2cWriteFail:
    case script::I2cReadFail:
    case script::BurstFile:
        m_ended = true;
        break;
    default:
        break;
    }
    if (report.code == script::Done)
        m_succeeded = true;
    // Done, or nothing ran (refused): the frame goes back to work.
    if (report.code == script::Refused || report.code == script::Done) {
        m_hooks.switchModeThen(device::mode::Work, [](bool ok) {
            if (!ok)
                shell::LogF("RunScript :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        });
    }
}

} // namespace tovrin::maintenance
