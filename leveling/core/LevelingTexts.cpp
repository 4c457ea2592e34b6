#include "LevelingTexts.h"

#include "LevelingState.h"

#include "shell/AppContext.h"

namespace tovrin::leveling {

namespace {
QString text(int id) { return shell::context().text(id); }
} // namespace

QString hexByte(uint8_t value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')); }

QString searchResultText(int unit)
{
    const int line = startLineOf(unit).load();
    return line >= 1 && line <= 639 ? text(57).arg(line) : text(58);
}

QString leveledText(int unit)
{
    const UnitLeveling u = unitLeveling(unit);
    return text(59).arg(startLineOf(unit).load()).arg(u.startColumn).arg(u.endColumn);
}

QString storedLevelingText(int unit, bool extended)
{
    const UnitLeveling u = unitLeveling(unit);
    QString s = QStringLiteral("%1--%2,0x%3,0x%4")
                    .arg(unit ? QLatin1Char('S') : QLatin1Char('M'))
                    .arg(startLineOf(unit).load())
                    .arg(hexByte(u.exposureHigh), hexByte(u.exposureLow));
    if (extended)
        return s;
    s += QLatin1Char('\n');
    for (size_t e = 0; e < u.zones.size(); ++e) {
        const device::ZoneEntry& z = u.zones[e];
        s += QStringLiteral("(%1,%2,%1),").arg(z.position).arg(z.code);
        if (e == 3 || e == 7)
            s += QLatin1Char('\n');
    }
    s.chop(2);  // the last entry ends with ")\n", not "),\n"
    s += QStringLiteral("\n");
    return s;
}

QString exposureText(int unit)
{
    const UnitLeveling u = unitLeveling(unit);
    return text(55)
        .arg(startLineOf(unit).load())
        .arg(u.startColumn)
        .arg(u.endColumn)
        .arg(hexByte(u.exposureHigh), hexByte(u.exposureLow));
}

QString countdownCaption(int seconds) { return text(136).arg(seconds); }

} // namespace tovrin::leveling
