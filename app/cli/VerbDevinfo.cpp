// tovrin-cli devinfo read | devinfo write [Key=Value ...]: the device
// information record of both units, as the device information dialog reads
// and writes it (the fields not given come from DeviceInfo.ini; the written
// rows go to Tovrin_DeviceInfo.xls in the application folder, or to a new
// workbook beside it when that one cannot be kept whole). Exit 0 only when
// both units read back the records written; a frame lost during the job
// exits 3 with message 61.
#include "ServiceVerbs.h"

#include "deviceinfo/core/DeviceInfoOps.h"
#include "device/HidLink.h"
#include "shell/Folders.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFileInfo>
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

// The frame stopped answering or is gone.
bool frameLost()
{
    uint16_t pid = 0;
    return device::g_bDevExist.load() == 0 || device::CheckHidDevice(pid) != device::kCheckFrameOk;
}

// A frame lost in the middle of the job: message 61, exit 3.
int lost(Session& session)
{
    session.sayMessage(61);
    return kExitNoFrame;
}

// Opens the frame (not yet leveled and calibrated is fine) and switches it
// to calibration mode; a frame that goes on the way is said as lost.
int enterDevinfo(Session& session)
{
    if (const int opened = session.openFrame(); opened != kExitDone)
        return opened;
    const int status = session.statusResult();
    if (status != device::kStatusReady && status != device::kStatusNotCalibrated) {
        if (frameLost())
            return lost(session);
        session.sayMessage(device::statusMessageId(status));
        return kExitFailed;
    }
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Calibration);
    if (outcome.ok)
        return kExitDone;
    shell::LogF("tovrin-cli :Switch to calibration mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    if (outcome.frameLost || frameLost())
        return lost(session);
    session.sayMessage(outcome.messageId >= 0 ? outcome.messageId : 14);
    return kExitFailed;
}

// Back to work mode: kExitDone, or the exit code with its message said.
int leaveDevinfo(Session& session)
{
    const device::ModeSwitchOutcome outcome = device::SwitchModeChecked(device::mode::Work);
    if (outcome.ok)
        return kExitDone;
    shell::LogF("tovrin-cli :Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    if (outcome.frameLost || frameLost())
        return lost(session);
    session.sayMessage(outcome.messageId >= 0 ? outcome.messageId : 142);
    return kExitFailed;
}

int runRead(Session& session)
{
    if (const int entered = enterDevinfo(session); entered != kExitDone)
        return entered;
    DeviceInfoThread worker;
    worker.setRead();
    const DeviceInfoJobResult result = runJob(worker);
    if (result.frameLost)
        return lost(session);
    printColumns(session, result.read);
    const bool ok = result.read.master.status == UnitInfoRead::Ok && result.read.slave.status == UnitInfoRead::Ok;
    if (!ok)
        session.say(result.status.trimmed());
    const int back = leaveDevinfo(session);
    if (back != kExitDone)
        return back;
    return ok ? kExitDone : kExitFailed;
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
        return runRead(session);
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
    if (const int entered = enterDevinfo(session); entered != kExitDone)
        return entered;
    DeviceInfoThread worker;
    worker.setWrite(*parsed.info, typed, {}, {}, shell::kDeviceInfoFile, QDir(shell::dataPath()).absoluteFilePath(kWorkbookFileName));
    const DeviceInfoJobResult result = runJob(worker);
    if (result.frameLost)
        return lost(session);
    if (!result.write.ok) {
        session.say(result.status.trimmed());
        const int back = leaveDevinfo(session);
        return back == kExitNoFrame ? back : kExitFailed;
    }
    printColumns(session, result.read);
    if (result.exported)
        session.out() << "rows " << result.exportOutcome.firstRow + 1 << '-' << result.exportOutcome.firstRow + 2
                      << " of " << QFileInfo(result.exportOutcome.path).fileName() << '\n';
    session.out().flush();
    if (!result.exportOutcome.message.isEmpty())
        session.say(result.exportOutcome.message);
    if (!result.iniSaved)
        session.say(QStringLiteral("%1 could not be saved.").arg(shell::kDeviceInfoFile));
    const int back = leaveDevinfo(session);
    if (back != kExitDone)
        return back;
    return result.exported && result.iniSaved ? kExitDone : kExitFailed;
}

const CliVerb kDevinfo{"devinfo", "read | write [Key=Value ...]",
                       "read or write both units' device information (keys of DeviceInfo.ini)", runDevinfo};

} // namespace
} // namespace tovrin::cli
