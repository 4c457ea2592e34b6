// tovrin-cli flash dump|erase|fill --unit master|slave [file]: the flash
// buttons of the debug page (the first 128 KB of one unit).
#include "ServiceVerbs.h"

#include "maintenance/service/FlashJob.h"
#include "maintenance/service/ReportInbox.h"
#include "maintenance/service/ServiceTexts.h"

namespace tovrin::cli {
namespace {

using namespace maintenance;

int runFlash(Session& session, const QStringList& arguments)
{
    QStringList rest = arguments;
    if (rest.isEmpty())
        return usage(session, "flash");
    const QString action = rest.takeFirst();
    std::optional<device::Unit> unit;
    QStringList files;
    for (int i = 0; i < rest.size(); ++i) {
        if (rest[i] == QLatin1String("--unit") && i + 1 < rest.size())
            unit = parseUnit(rest[++i]);
        else
            files << rest[i];
    }
    FlashJobKind kind;
    if (action == QLatin1String("erase") && files.isEmpty())
        kind = FlashJobKind::Erase;
    else if (action == QLatin1String("dump") && files.size() == 1)
        kind = FlashJobKind::Dump;
    else if (action == QLatin1String("fill") && files.size() == 1)
        kind = FlashJobKind::Fill;
    else
        return usage(session, "flash");
    if (!unit)
        return usage(session, "flash");

    FlashJobThread worker;
    const QString path = files.isEmpty() ? QString() : session.filePath(files.first());
    switch (kind) {
    case FlashJobKind::Erase:
        worker.setErase(*unit);
        break;
    case FlashJobKind::Dump:
        worker.setDump(*unit, path);
        break;
    case FlashJobKind::Fill: {
        // The image is checked before the frame is touched.
        const FlashImageFile image = loadFlashImage(path);
        if (image.status != FlashImageFile::Ok) {
            session.say(flashImageProblem(path, image));
            return kExitFailed;
        }
        worker.setFill(*unit, image.bytes);
        break;
    }
    }
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;
    bool done = false;
    ReportInbox inbox;
    inbox.listenTo(&worker);
    QObject::connect(&inbox, &ReportInbox::received, &inbox, [&](const ServiceReport& r) {
        done = done || r.code == flashjob::Done;
        for (const QString& line : flashJobTexts(kind, r))
            (r.code == flashjob::Done ? session.out() : session.err()) << line << Qt::endl;
    });
    runWorker(worker);
    if (frameGone())
        return frameLost(session);
    const int back = leaveServiceModeExit(session);
    if (back == kExitNoFrame)
        return back;
    if (done && kind != FlashJobKind::Dump)
        session.out() << (kind == FlashJobKind::Erase ? "erased" : "written and read back") << ' ' << kFlashImageSize
                      << " bytes of " << (*unit == device::Unit::Slave ? "Slave" : "Master") << " flash" << Qt::endl;
    return done && back == kExitDone ? kExitDone : kExitFailed;
}

const CliVerb kFlash{"flash", "dump|erase|fill --unit master|slave [file]",
                     "dump, erase or fill the first 128 KB of one unit's flash", runFlash};

} // namespace
} // namespace tovrin::cli
