// tovrin-cli script [--unit master|slave] <file>: runs a register script as
// the debug page does.
#include "ServiceVerbs.h"

#include "maintenance/service/RunScriptThread.h"
#include "maintenance/service/ReportInbox.h"
#include "maintenance/service/ServiceTexts.h"

namespace tovrin::cli {
namespace {

using namespace maintenance;

bool isFailure(int code)
{
    switch (code) {
    case script::OpenFail:
    case script::PortReadFail:
    case script::PortWriteFail:
    case script::SingleReadFail:
    case script::BurstReadFail:
    case script::BurstWriteFail:
    case script::I2cWriteFail:
    case script::I2cReadFail:
    case script::Refused:
    case script::LineRefused:
    case script::BurstFile:
        return true;
    default:
        return false;
    }
}

int runScript(Session& session, const QStringList& arguments)
{
    // The unit of the sensor commands and of srd / pwd, as the debug page's
    // Slave box chooses it; prd and the burst commands carry their unit in
    // their address.
    device::Unit unit = device::Unit::Master;
    QStringList files;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--unit") && i + 1 < arguments.size()) {
            const auto u = parseUnit(arguments[++i]);
            if (!u)
                return usage(session, "script");
            unit = *u;
        } else {
            files << arguments[i];
        }
    }
    if (files.size() != 1)
        return usage(session, "script");
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;

    device::SelectedUnitIsSlave = unit == device::Unit::Slave ? 1 : 0;
    RunScriptThread worker;
    worker.setScript(session.filePath(files.first()));
    bool done = false;
    bool refused = false;
    ReportInbox inbox;
    inbox.listenTo(&worker);
    QObject::connect(&inbox, &ReportInbox::received, &inbox, [&](const ServiceReport& r) {
        const bool failure = isFailure(r.code);
        for (const QString& line : scriptTexts(r))
            (failure ? session.err() : session.out()) << line.trimmed() << Qt::endl;
        done = done || r.code == script::Done;
        refused = refused || r.code == script::Refused;
    });
    runWorker(worker);
    if (frameGone())
        return frameLost(session);
    if (refused)  // nothing ran: the frame goes back to work
        return leaveServiceModeExit(session) == kExitNoFrame ? kExitNoFrame : kExitFailed;
    if (!done)
        return kExitFailed;  // the frame stays in calibration mode, as on the debug page
    return leaveServiceModeExit(session);
}

const CliVerb kScript{"script", "[--unit master|slave] <file>",
                      "run a register script (--unit: the unit of i2crd, i2cwd, srd and pwd)", runScript};

} // namespace
} // namespace tovrin::cli
