// tovrin-cli records list|check|restore [--unit master|slave]: the host-side
// journal of the records the tool replaced in the units' flash.
//
//   list     every entry: frame, unit, record, time, "open" (its replacement
//            never finished) or "done", and whether the saved record is valid
//   check    reads both units' calibration and screen records: one line each,
//            "valid" or "invalid", and for an invalid one with an unfinished
//            write in the journal "restorable from <time>"; exit 1 when one
//            is invalid
//   restore  writes the saved record back into every invalid record that
//            has one waiting (a calibration record together with the other
//            unit's record of the same job), one line "restored ..." each;
//            exit 1 when a record stays invalid for want of a saved one or a
//            write failed
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "records/RecordJournal.h"

#include <optional>

namespace tovrin::cli {
namespace {

using records::RecordState;
using records::UnitId;

constexpr const char* kTimeShown = "yyyy-MM-dd HH:mm:ss.zzz";

QString describe(UnitId unit, records::RecordKind kind)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(records::unitText(unit)), QLatin1String(records::placeOf(kind).name));
}

int listJournal(Session& session)
{
    QTextStream& out = session.out();
    const std::vector<records::JournalEntry> entries = records::journalEntries();
    if (entries.empty())
        out << "the journal is empty (" << records::journalFolder() << ")\n";
    for (const records::JournalEntry& e : entries)
        out << e.frame << ' ' << describe(e.unit, e.kind) << ' ' << e.time.toString(QString::fromLatin1(kTimeShown)) << ' '
            << (e.open ? "open" : "done") << ' ' << (e.valid() ? "valid" : "invalid") << '\n';
    return kExitDone;
}

// The frame in calibration mode for its flash reads; back to work after.
int withFrame(Session& session, const std::function<int()>& job)
{
    if (const int opened = session.openFrame(false); opened != kExitDone)
        return opened;
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        session.sayMessage(mode.deviceAbsent || !device::g_bDevExist.load() ? 17 : mode.messageId >= 0 ? mode.messageId : 142);
        return mode.deviceAbsent ? kExitNoFrame : kExitFailed;
    }
    int status = job();
    device::SwitchModeChecked(device::mode::Work);
    if (status == kExitDone && !device::g_bDevExist.load())
        status = kExitNoFrame;
    return status;
}

int checkJournal(Session& session, std::optional<UnitId> unit)
{
    return withFrame(session, [&] {
        QTextStream& out = session.out();
        bool allValid = true;
        for (const RecordState& s : records::checkRecords(unit)) {
            if (!s.read) {
                session.sayMessage(18);
                return device::g_bDevExist.load() ? kExitFailed : kExitNoFrame;
            }
            out << describe(s.unit, s.kind) << ": " << (s.valid ? "valid" : "invalid");
            if (s.restorable())
                out << ", restorable from " << s.unfinished->time.toString(QString::fromLatin1(kTimeShown));
            out << '\n';
            allValid = allValid && s.valid;
        }
        return allValid ? kExitDone : kExitFailed;
    });
}

int restoreJournal(Session& session, std::optional<UnitId> unit)
{
    return withFrame(session, [&] {
        QTextStream& out = session.out();
        const std::vector<RecordState> states = records::checkRecords(unit);
        bool left = false;
        for (const RecordState& s : states) {
            if (!s.read) {
                session.sayMessage(18);
                return device::g_bDevExist.load() ? kExitFailed : kExitNoFrame;
            }
            if (!s.valid && !s.restorable()) {
                session.say(QStringLiteral("%1: invalid, nothing saved to restore").arg(describe(s.unit, s.kind)));
                left = true;
            }
        }
        const std::vector<records::JournalEntry> plan = records::restorePlan(states);
        for (const records::JournalEntry& e : plan) {
            if (!records::restoreEntry(e)) {
                session.say(QStringLiteral("%1: the restore failed").arg(describe(e.unit, e.kind)));
                return device::g_bDevExist.load() ? kExitFailed : kExitNoFrame;
            }
            out << "restored " << describe(e.unit, e.kind) << " from " << e.time.toString(QString::fromLatin1(kTimeShown))
                << '\n';
        }
        if (plan.empty() && !left)
            out << "nothing to restore\n";
        return left ? kExitFailed : kExitDone;
    });
}

int runRecords(Session& session, const QStringList& arguments)
{
    QStringList rest = arguments;
    std::optional<UnitId> unit;
    const qsizetype at = rest.indexOf(QStringLiteral("--unit"));
    if (at >= 0) {
        if (at + 1 >= rest.size())
            return usage(session, "records");
        const QString name = rest.at(at + 1);
        if (name == QLatin1String("master"))
            unit = UnitId::Master;
        else if (name == QLatin1String("slave"))
            unit = UnitId::Slave;
        else
            return usage(session, "records");
        rest.remove(at, 2);
    }
    if (rest.size() != 1)
        return usage(session, "records");
    const QString verb = rest.first();
    if (verb == QLatin1String("list") && !unit)
        return listJournal(session);
    if (verb == QLatin1String("check"))
        return checkJournal(session, unit);
    if (verb == QLatin1String("restore"))
        return restoreJournal(session, unit);
    return usage(session, "records");
}

const CliVerb kRecords{"records", "list|check|restore [--unit master|slave]",
                       "the host-side journal of the records replaced in the units' flash", runRecords};

} // namespace
} // namespace tovrin::cli
