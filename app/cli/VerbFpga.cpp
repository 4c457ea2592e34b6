// tovrin-cli fpga <file>: the FPGA download of the debug page.
#include "ServiceVerbs.h"

#include "maintenance/service/BurnFPGAThread.h"
#include "maintenance/service/FpgaDownload.h"
#include "maintenance/service/ReportInbox.h"
#include "maintenance/service/ServiceTexts.h"

namespace tovrin::cli {
namespace {

using namespace maintenance;

int runFpga(Session& session, const QStringList& arguments)
{
    if (arguments.size() != 1)
        return usage(session, "fpga");
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;

    BurnFPGAThread worker;
    worker.setFile(session.filePath(arguments.first()));
    bool done = false;
    int lastPercent = -1;
    ReportInbox inbox;
    inbox.listenTo(&worker);
    QObject::connect(&inbox, &ReportInbox::received, &inbox, [&](const ServiceReport& r) {
        if (r.code == fpga::Chunk) {
            // A line per tenth of the file rather than one per chunk.
            const int percent = fpgaPercent(r.number, static_cast<int>(r.size));
            if (percent / 10 == lastPercent / 10)
                return;
            lastPercent = percent;
        }
        if (r.code == fpga::Begin)
            lastPercent = -1;
        const bool failure = r.code != fpga::Begin && r.code != fpga::Chunk && r.code != fpga::Done;
        for (const QString& line : fpgaTexts(r))
            (failure ? session.err() : session.out()) << line.trimmed() << Qt::endl;
        done = done || r.code == fpga::Done;
    });
    runWorker(worker);
    if (frameGone())
        return frameLost(session);
    if (!done) {
        session.say(QStringLiteral("FPGA download failed; the frame stays in calibration mode."));
        return kExitFailed;
    }
    return leaveServiceModeExit(session);
}

const CliVerb kFpga{"fpga", "<file>", "write an FPGA configuration file into both units", runFpga};

} // namespace
} // namespace tovrin::cli
