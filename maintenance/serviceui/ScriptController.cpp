#include "ScriptController.h"

#include "maintenance/service/RunScriptThread.h"
#include "maintenance/service/ServiceTexts.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <QCheckBox>
#include <QLineEdit>

namespace tovrin::maintenance {

ScriptController::ScriptController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
    , m_widgets(widgets)
    , m_hooks(hooks)
    , m_window(window)
    , m_thread(new RunScriptThread(this))
    , m_inbox(new ReportInbox(this))
{
    m_inbox->listenTo(m_thread);
    connect(m_inbox, &ReportInbox::received, this, &ScriptController::onReport);
    connect(m_thread, &QThread::finished, this, [this] { Q_EMIT finished(m_succeeded); }, Qt::QueuedConnection);
}

ScriptController::~ScriptController() { stop(); }

void ScriptController::browse(const FileChooser& chooser)
{
    const QString path = chooser(m_window, FileDialogKind::Open, kOpenFilesCaption, QStringLiteral("./"), kIniFilter);
    if (!path.isEmpty() && m_widgets.scriptPath)
        m_widgets.scriptPath->setText(path);
}

void ScriptController::run()
{
    if (m_thread->isRunning())
        return;
    if (!m_hooks.guard())
        return;
    if (!m_hooks.switchMode(device::mode::Calibration)) {
        shell::LogF("RunScript :Switch to calibration mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
        return;
    }
    m_succeeded = false;
    if (m_widgets.slave)
        device::SelectedUnitIsSlave = m_widgets.slave->isChecked() ? 1 : 0;
    m_thread->setScript(m_widgets.scriptPath ? m_widgets.scriptPath->text() : QString());
    m_thread->prepareStart();
    m_thread->start();
}

bool ScriptController::isRunning() const { return m_thread->isRunning(); }

void ScriptController::stop()
{
    m_thread->requestStop();
    m_thread->wait();
}

void ScriptController::onReport(const ServiceReport& report)
{
    appendOutput(m_widgets.output, scriptTexts(report));
    if (report.code == script::Done) {
        m_succeeded = true;
        if (!m_hooks.switchMode(device::mode::Work))
            shell::LogF("RunScript :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    }
}

} // namespace tovrin::maintenance
