// tovrin-cli versions: the version display of the engineering tool, the
// firmware of both units and the Slave's boot loader, read from the frame's
// image information (a frame in its boot loader included).
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "maintenance/update/Versions.h"

namespace tovrin::cli {
namespace {

int runVersions(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return usage(session, "versions");
    if (const int opened = session.openFrame(true); opened != kExitDone)
        return opened;
    // The application reads its flash only in calibration mode; the boot
    // loader has no modes and answers flash reads as they come.
    const bool application = !session.inBootLoader();
    if (application) {
        const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
        if (!mode.ok) {
            session.sayMessage(mode.messageId >= 0 ? mode.messageId : 17);
            return kExitFailed;
        }
    }
    const update::VersionReport report = update::readVersionReport(false);
    if (application)
        device::SwitchModeChecked(device::mode::Work);
    if (!report.ok) {
        session.sayMessage(18);
        return kExitFailed;
    }
    QTextStream& out = session.out();
    if (!application)
        out << "firmware: boot loader\n";
    out << update::versionText(report, update::kToolVersion) << '\n';
    return kExitDone;
}

const CliVerb kVersions{"versions", "", "the firmware and boot loader versions of both units", runVersions};

} // namespace
} // namespace tovrin::cli
