// tovrin-cli script <file>: runs a register script as the debug page does.
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
    case script::BurstFile:
        return true;
    default:
        return false;
    }
}

int runScript(Session& session, const QStringList& arguments)
{
    if (arguments.size() != 1)
        return usage(session, "script");
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;

    RunScriptThread worker;
    worker.setScript(session.filePath(arguments.first()));
    bool done = false;
    ReportInbox inbox;
    inbox.listenTo(&worker);
    QObject::connect(&inbox, &ReportInbox::received, &inbox, [&](const ServiceReport& r) {
        const bool failure = isFailure(r.code);
        for (const QString& line : scriptTexts(r))
            (failure ? session.err() : session.out()) << line.trimmed() << Qt::endl;
        done = done || r.code == script::Done;
    });
    runWorker(worker);
    if (!done) {
        if (device::g_bDevExist.load() == 0)
            session.sayMessage(61);
        return kExitFailed;  // the frame stays in calibration mode, as on the debug page
    }
    return leaveServiceMode(session) ? kExitDone : kExitFailed;
}

const CliVerb kScript{"script", "<file>", "run a register script", runScript};

} // namespace
} // namespace tovrin::cli
