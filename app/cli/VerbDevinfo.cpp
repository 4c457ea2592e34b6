// tovrin-cli devinfo read | devinfo write [Key=Value ...]: the device
// information record of both units, as the device information dialog reads
// and writes it (the fields not given come from DeviceInfo.ini; the written
// rows go to Tovrin_DeviceInfo.xls in the application folder).
#include "ServiceVerbs.h"

#include "deviceinfo/core/DeviceInfoOps.h"
#include "shell/Settings.h"

#include <QDir>
#include <QLoggingCategory>

namespace tovrin::cli {
namespace {

using namespace deviceinfo;

void printColumns(Session& session, const BothRead& read)
{
    const QStringList master = read.master.info ? displayTexts(*read.master.info) : QStringList();
    const QStringList slave = read.slave.info ? displayTexts(*read.slave.info) : QStringList();
    session.out() << QStringLiteral("%1 %2 %3").arg(QString(), -15).arg(QStringLiteral("Master"), -18).arg(QStringLiteral("Slave"))
                  << '\n';
    for (int f = 0; f < kFieldCount; ++f)
        session.out() << QStringLiteral("%1 %2 %3")
                             .arg(QLatin1String(fieldKeys()[static_cast<size_t>(f)]) + QLatin1Char(':'), -15)
                             .arg(master.value(f, QStringLiteral("-")), -18)
                             .arg(slave.value(f, QStringLiteral("-")))
                      << '\n';
    session.out().flush();
}

DeviceInfoJobResult runJob(DeviceInfoThread& worker)
{
    DeviceInfoJobResult result;
    QObject::connect(&worker, &DeviceInfoThread::sendResult, &worker,
                     [&result](const DeviceInfoJobResult& r) { result = r; });
    runWorker(worker);
    return result;
}

int runDevinfo(Session& session, const QStringList& arguments)
{
    if (arguments.isEmpty())
        return usage(session, "devinfo");
    const QString action = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (action == QLatin1String("read")) {
        if (!rest.isEmpty())
            return usage(session, "devinfo");
        if (const int entered = enterServiceMode(session); entered != kExitDone)
            return entered;
        DeviceInfoThread worker;
        worker.setRead();
        const DeviceInfoJobResult result = runJob(worker);
        printColumns(session, result.read);
        const bool ok = result.read.master.status == UnitInfoRead::Ok && result.read.slave.status == UnitInfoRead::Ok;
        if (!ok)
            session.say(result.status.trimmed());
        return leaveServiceMode(session) && ok ? kExitDone : kExitFailed;
    }
    if (action != QLatin1String("write"))
        return usage(session, "devinfo");
    // The export's debug lines are for the window's debug output, not for a production script.
    QLoggingCategory::setFilterRules(QStringLiteral("tovrin.deviceinfo.export.debug=false"));

    QStringList typed = loadIniTexts(shell::kDeviceInfoFile);
    for (const QString& pair : rest) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        int field = -1;
        for (int f = 0; f < kFieldCount && eq > 0; ++f)
            if (pair.left(eq).compare(QLatin1String(fieldKeys()[static_cast<size_t>(f)]), Qt::CaseInsensitive) == 0)
                field = f;
        if (field < 0) {
            session.say(QStringLiteral("devinfo: '%1' is not Key=Value with one of the DeviceInfo.ini keys").arg(pair));
            return kExitUsage;
        }
        typed[field] = pair.mid(eq + 1);
    }
    const ParsedInput parsed = parseInput(typed);
    if (!parsed.info) {
        session.say(parsed.problem + QStringLiteral(" Nothing was written."));
        return kExitFailed;
    }
    for (const QString& key : parsed.cut)
        session.say(QStringLiteral("%1 is cut to 16 bytes on the frame (DeviceInfo.ini keeps it whole).").arg(key));
    if (const int entered = enterServiceMode(session); entered != kExitDone)
        return entered;
    DeviceInfoThread worker;
    worker.setWrite(*parsed.info, typed, {}, {}, shell::kDeviceInfoFile, QDir::current().filePath(kWorkbookFileName));
    const DeviceInfoJobResult result = runJob(worker);
    if (!result.write.ok) {
        session.say(result.status.trimmed());
        if (device::g_bDevExist.load() != 0)
            leaveServiceMode(session);
        return kExitFailed;
    }
    printColumns(session, result.read);
    if (result.exported)
        session.out() << "rows " << result.exportOutcome.firstRow + 1 << '-' << result.exportOutcome.firstRow + 2
                      << " of " << kWorkbookFileName << '\n';
    else
        session.say(result.exportOutcome.message);
    const bool back = leaveServiceMode(session);
    return back && result.exported && result.iniSaved ? kExitDone : kExitFailed;
}

const CliVerb kDevinfo{"devinfo", "read | write [Key=Value ...]",
                       "read or write both units' device information (keys of DeviceInfo.ini)", runDevinfo};

} // namespace
} // namespace tovrin::cli
