// tovrin-cli reg read|write [--sensor] [--unit master|slave] <addr> [value]:
// Step Debug of the debug page.
#include "ServiceVerbs.h"

#include "device/UnitOps.h"
#include "maintenance/service/StepDebug.h"

namespace tovrin::cli {
namespace {

using namespace maintenance;

int runReg(Session& session, const QStringList& arguments)
{
    QStringList rest = arguments;
    if (rest.isEmpty())
        return usage(session, "reg");
    const QString action = rest.takeFirst();
    if (action != QLatin1String("read") && action != QLatin1String("write"))
        return usage(session, "reg");
    const bool write = action == QLatin1String("write");
    bool sensor = false;
    device::Unit unit = device::Unit::Master;
    QStringList fields;
    for (int i = 0; i < rest.size(); ++i) {
        if (rest[i] == QLatin1String("--sensor")) {
            sensor = true;
        } else if (rest[i] == QLatin1String("--unit") && i + 1 < rest.size()) {
            const auto u = parseUnit(rest[++i]);
            if (!u)
                return usage(session, "reg");
            unit = *u;
        } else {
            fields << rest[i];
        }
    }
    if (fields.size() != (write ? 2 : 1))
        return usage(session, "reg");
    const StepInput input = checkStepInput(fields[0], write ? fields[1] : QString(), sensor, write);
    if (!input.request) {
        session.say(input.problem);
        return kExitUsage;
    }
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;
    device::SelectedUnitIsSlave = unit == device::Unit::Slave ? 1 : 0;
    const StepResult result = write ? stepWrite(*input.request) : stepRead(*input.request);
    if (!result.ok) {
        session.say(result.statusText);
        session.say(result.outputText.trimmed());
        if (frameGone())
            return frameLost(session);
        return leaveServiceModeExit(session) == kExitNoFrame ? kExitNoFrame : kExitFailed;
    }
    session.out() << result.outputText << Qt::endl;
    return leaveServiceModeExit(session);
}

const CliVerb kReg{"reg", "read|write [--sensor] [--unit master|slave] <addr> [value]",
                   "read or write one FPGA or sensor register (hexadecimal)", runReg};

} // namespace
} // namespace tovrin::cli
