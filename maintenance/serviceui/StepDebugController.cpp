#include "StepDebugController.h"

#include "maintenance/service/StepDebug.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>

#include <memory>

namespace tovrin::maintenance {

namespace {
constexpr int kCommunicateFailed = 14;
} // namespace

StepDebugController::StepDebugController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QObject* parent)
    : QObject(parent)
    , m_widgets(widgets)
    , m_hooks(hooks)
{
}

void StepDebugController::write() { request(true); }
void StepDebugController::read() { request(false); }

void StepDebugController::request(bool isWrite)
{
    if (!m_hooks.isConnected()) {
        m_hooks.showStatus(kCommunicateFailed);
        return;
    }
    if (const QString job = m_runningJob ? m_runningJob() : QString(); !job.isEmpty()) {
        appendOutput(m_widgets.output, {QStringLiteral("Step Debug: the %1 is running, please wait for its end.").arg(job)});
        return;
    }
    const std::optional<StepRequest> request = checkedRequest(isWrite);
    if (!request)
        return;
    const StepRequest step = *request;
    if (m_hooks.previewRunning()) {
        // Between two preview frames, never while the preview talks.
        auto result = std::make_shared<StepResult>();
        m_hooks.betweenFrames([result, step, isWrite] { *result = isWrite ? stepWrite(step) : stepRead(step); },
                              [self = QPointer<StepDebugController>(this), result, step] {
                                  if (self)
                                      self->show(step, *result);
                              });
        return;
    }
    // Calibration mode and the request in the window's task; the output
    // (also when another job has taken the task meanwhile), then back to
    // work mode unless that job or the preview has the frame now.
    struct Done {
        device::ModeSwitchOutcome enter;
        int enterSwitchMode = 0;
        StepResult result;
    };
    auto done = std::make_shared<Done>();
    m_hooks.inTaskReported(
        [done, step, isWrite] {
            done->enter = device::SwitchModeChecked(device::mode::Calibration);
            done->enterSwitchMode = device::g_isSwitchMode.load();
            // The request is still made: a frame already in calibration mode answers it.
            done->result = isWrite ? stepWrite(step) : stepRead(step);
        },
        [this, done, step, isWrite](bool superseded) {
            // A switch that failed is shown unless another job has the window's status line now.
            const bool entered = superseded ? done->enter.ok : m_hooks.switchFailureShown(done->enter);
            if (!entered) {
                if (isWrite)
                    shell::LogF("Write :Switch to calibration mode failed! g_isSwitchMode=%d\n", done->enterSwitchMode);
                else
                    shell::LogF("Read :Switch to calibration mode failed!\n g_isSwitchMode=%d\n", done->enterSwitchMode);
            }
            show(step, done->result);
            if (superseded || m_hooks.previewRunning())
                return;
            m_hooks.switchModeThen(device::mode::Work, [isWrite](bool ok) {
                if (ok)
                    return;
                if (isWrite)
                    shell::LogF("Write :Switch to work mode failed!\n g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
                else
                    shell::LogF("Read :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
            });
        });
}

void StepDebugController::selectUnit()
{
    // The unit is the one the page's Slave box shows now.
    if (m_widgets.slave)
        device::SelectedUnitIsSlave = m_widgets.slave->isChecked() ? 1 : 0;
}

void StepDebugController::show(const StepRequest& request, const StepResult& result)
{
    appendOutput(m_widgets.output, {result.outputText});
    if (!result.ok) {
        m_hooks.showStatusText(result.statusText);
        return;
    }
    m_widgets.regAddr->setText(stepHexText(request.address));
    m_widgets.regValue->setText(stepHexText(result.value));
}

std::optional<StepRequest> StepDebugController::checkedRequest(bool isWrite)
{
    // Fields that are not numbers, or out of range, never reach the frame.
    const StepInput input = checkStepInput(m_widgets.regAddr->text(), m_widgets.regValue->text(),
                                           m_widgets.sensor && m_widgets.sensor->isChecked(), isWrite);
    if (!input.request) {
        appendOutput(m_widgets.output, {input.problem});
        return std::nullopt;
    }
    selectUnit();
    return input.request;
}

} // namespace tovrin::maintenance
