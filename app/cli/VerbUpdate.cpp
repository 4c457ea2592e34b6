// tovrin-cli update <package>: a firmware update through the boot loader,
// the same flow as the engineering window's Update button. Prints the
// status texts and a progress line whenever the progress grows; a frame
// found in its boot loader (an earlier update cut short) is updated from
// there. Exit 0 only when the application came back and holds what the
// package brought; a frame cut off on the way is finished by the next run.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "maintenance/update/HeadlessUpdate.h"
#include "maintenance/update/UpdateReadBack.h"
#include "shell/AppContext.h"

namespace tovrin::cli {
namespace {

using Outcome = update::FirmwareUpdateFlow::Outcome;

int runUpdate(Session& session, const QStringList& arguments)
{
    if (arguments.size() != 1)
        return usage(session, "update");
    const QString path = session.filePath(arguments.first());
    if (const int opened = session.openFrame(true); opened != kExitDone)
        return opened;
    QTextStream& out = session.out();
    if (session.inBootLoader())
        out << "firmware: boot loader, updating from there\n";

    update::HeadlessUpdate run;
    run.onProgress = [&](int percent) { out << "progress " << percent << '%' << Qt::endl; };
    int lastStatus = -1;
    run.onStatus = [&](int id) {
        // Failures are said on standard error at the end.
        if ((id == 22 || id == 39) && id != lastStatus)
            out << shell::context().text(id).trimmed() << Qt::endl;
        lastStatus = id;
    };
    const update::HeadlessOutcome result = run.run(path, session.inBootLoader());
    switch (result.outcome) {
    case Outcome::Updated: {
        // Done only when the application, back, holds what was sent.
        switch (update::readBackUpdate(*run.flow().package())) {
        case update::ReadBack::Matches:
            break;
        case update::ReadBack::NoFrame:
            session.sayMessage(17);
            return kExitNoFrame;
        case update::ReadBack::Differs:
        case update::ReadBack::Failed:
            session.sayMessage(36);
            return kExitFailed;
        }
        out << "updated\n";
        const int status = device::g_getStatusError.load();
        out << "status: " << status << ' ' << shell::context().text(device::statusMessageId(status)).trimmed() << '\n';
        return kExitDone;
    }
    case Outcome::FrameLost:
        session.sayMessage(17);
        return kExitNoFrame;
    case Outcome::Refused:
    case Outcome::Failed:
        break;
    }
    if (result.messageId >= 0)
        session.sayMessage(result.messageId);
    else if (result.detectionCode == 14)
        session.sayMessage(16);  // the new firmware did not start: the boot loader waits for another update
    return kExitFailed;
}

const CliVerb kUpdate{"update", "<package.bin>", "update the firmware of both units from a package", runUpdate};

} // namespace
} // namespace tovrin::cli
