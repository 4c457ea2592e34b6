#pragma once
// Step Debug of the debug page: Write and Read of one FPGA or sensor
// register. While the Preview page fetches images, the preview's worker
// makes the request in the gap between two frames, without mode switches;
// otherwise the frame is switched to calibration mode for the request and
// back to work mode after it, in the window's task worker. Either way the
// output is shown once the request has ended. While a
// job of the page (FPGA download, script, flash job) talks to the frame, a
// request is refused with a line that names the job: two talkers at once
// would mix their commands and replies.

#include "DebugPage.h"

#include <QObject>

#include <functional>
#include <optional>

namespace tovrin::maintenance {

struct StepRequest;
struct StepResult;

class StepDebugController : public QObject {
    Q_OBJECT
public:
    StepDebugController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QObject* parent);

    void write();               // WriteButSlot()
    void read();                // ReadButSlot()

    // The name of the page's job that talks to the frame now (empty: none).
    void setRunningJob(std::function<QString()> runningJob) { m_runningJob = std::move(runningJob); }

private:
    void request(bool isWrite);
    // The request the fields describe, its unit selected; none (the
    // problem written to the output) when they describe none.
    std::optional<StepRequest> checkedRequest(bool isWrite);
    void selectUnit();
    // The output line, and the fields rewritten (or the status line's text).
    void show(const StepRequest& request, const StepResult& result);

    DebugPageWidgets m_widgets;
    DebugPageHooks m_hooks;
    std::function<QString()> m_runningJob;
};

} // namespace tovrin::maintenance
