#include "ScriptParser.h"

#include "device/UnitAddress.h"

#include <charconv>
#include <optional>

namespace tovrin::maintenance {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::vector<QByteArrayView> tokens(QByteArrayView line)
{
    std::vector<QByteArrayView> out;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start)
            out.push_back(line.sliced(start, i - start));
    }
    return out;
}

std::optional<uint32_t> hexField(QByteArrayView t)
{
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t = t.sliced(2);
    uint32_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 16);
    if (t.isEmpty() || ec != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    return v;
}

std::optional<int64_t> decimalField(QByteArrayView t)
{
    if (t.size() > 1 && t[0] == '+')
        t = t.sliced(1);
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 10);
    if (t.isEmpty() || ec != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    return v;
}

QString text(QByteArrayView t) { return QString::fromLatin1(t.data(), t.size()); }

// The FPGA register port: offsets 0x0000-0xFFFF of either unit.
bool isRegisterAddress(uint32_t a) { return (a & ~(device::kSlaveBit | 0xFFFFu)) == 0; }

// A unit address as written: the unit bit, a space the units answer a
// script in (register port, sensor, flash) and an offset that fits the space.
bool isUnitAddress(uint32_t a)
{
    constexpr uint32_t kSpaceBits = 0x03000000u;
    if ((a & ~(device::kSlaveBit | kSpaceBits | 0x00FFFFFFu)) != 0)
        return false;
    const uint32_t offset = a & 0x00FFFFFFu;
    switch ((a & kSpaceBits) >> 24) {
    case 0:
        return offset <= 0xFFFFu;
    case 1:
        return offset <= 0xFFu;
    case 2:
        return true;
    default:
        return false;  // the download channel belongs to the firmware update
    }
}
constexpr const char* kUnitAddressRange =
    "a unit address: register 0-ffff, sensor 1000000-10000ff, flash 2000000-2ffffff, plus 10000000 for the Slave";
constexpr const char* kRegisterRange = "an FPGA register, 0-ffff, plus 10000000 for the Slave";

bool endsWithNoCase(QByteArrayView name, const char* suffix)
{
    const QByteArrayView s(suffix);
    return name.size() >= s.size() && name.last(s.size()).compare(s, Qt::CaseInsensitive) == 0;
}

struct Usage {
    const char* word;
    const char* fields;
};

} // namespace

QString burstFileNameProblem(QByteArrayView name)
{
    const QString shown = text(name);
    if (name.size() > kScriptFileNameMax)
        return QStringLiteral("its file name %1 is longer than %2 characters").arg(shown).arg(kScriptFileNameMax);
    // A plain name in the application folder: no folder, no way up or out.
    for (const char c : name)
        if (c == '/' || c == '\\' || c == ':')
            return QStringLiteral("its file name %1 is not a plain file name in the application folder").arg(shown);
    if (name == "." || name == "..")
        return QStringLiteral("its file name %1 is not a plain file name in the application folder").arg(shown);
    // Never the tool's own settings or language texts.
    if (endsWithNoCase(name, ".ini") || endsWithNoCase(name, ".lrp"))
        return QStringLiteral("its file name %1 is one of the tool's own settings or language files").arg(shown);
    return {};
}

ScriptLine parseScriptLine(QByteArrayView raw, int lineNumber)
{
    ScriptLine line;
    line.number = lineNumber;
    auto malformed = [&line](const QString& problem) {
        line.kind = ScriptLine::Malformed;
        line.problem = problem;
        return line;
    };
    // A longer line would be read in parts, its last field cut: refused whole.
    if (raw.size() > kScriptLineMax)
        return malformed(QStringLiteral("it is longer than %1 characters").arg(kScriptLineMax));
    const std::vector<QByteArrayView> t = tokens(raw);
    if (t.empty())
        return line;  // Blank

    const std::optional<int64_t> first = decimalField(t[0]);
    if (!first)
        return malformed(QStringLiteral("it does not start with a number"));
    if (first != int64_t{1}) {
        line.kind = ScriptLine::Skipped;
        return line;
    }
    if (t.size() < 2) {
        line.kind = ScriptLine::Skipped;
        return line;
    }
    const QByteArrayView word = t[1];
    if (word.size() > kScriptWordMax)
        return malformed(QStringLiteral("its command word is longer than %1 characters").arg(kScriptWordMax));

    static const Usage kUsages[] = {
        {"prd", "<addr> <count>"},        {"pwd", "<addr> <value> <count>"}, {"srd", "<addr>"},
        {"brd", "<addr> <count> <file>"}, {"bwd", "<n> <addr> <last> <file>"}, {"#", "<ms>"},
        {"i2cwd", "<reg> <count> <value>"}, {"i2crd", "<reg> <count>"},
    };
    const Usage* usage = nullptr;
    for (const Usage& u : kUsages)
        if (word == QByteArrayView(u.word))
            usage = &u;
    if (!usage) {
        line.kind = ScriptLine::Skipped;  // another command word: quietly skipped
        return line;
    }
    const QString w = text(word);
    const auto needs = [&] {
        return malformed(QStringLiteral("%1 needs %2").arg(w, QLatin1String(usage->fields)));
    };
    const auto outOfRange = [&](const char* field, QByteArrayView value, const char* range) {
        return malformed(QStringLiteral("%1 %2 %3 is out of range (%4)").arg(w, QLatin1String(field), text(value),
                                                                            QLatin1String(range)));
    };
    const auto hexAt = [&](size_t i) { return i < t.size() ? hexField(t[i]) : std::nullopt; };

    const auto fileName = [&](QByteArrayView name) -> std::optional<QString> {
        if (const QString problem = burstFileNameProblem(name); !problem.isEmpty())
            return problem;
        return std::nullopt;
    };

    ScriptCommand& c = line.command;
    if (word == "prd" || word == "pwd" || word == "srd" || word == "brd") {
        const auto address = hexAt(2);
        if (!address)
            return needs();
        // prd and brd take any unit address as written (a flash read through
        // brd is a usual way to save a record); pwd and srd are register requests.
        const bool asWritten = word == "prd" || word == "brd";
        if (asWritten ? !isUnitAddress(*address) : !isRegisterAddress(*address))
            return outOfRange("address", t[2], asWritten ? kUnitAddressRange : kRegisterRange);
        c.address = *address;
        if (word == "srd") {
            c.op = ScriptOp::SingleRead;
        } else if (word == "prd") {
            const auto count = hexAt(3);
            if (!count)
                return needs();
            if (*count < 1 || *count > static_cast<uint32_t>(kPortCountMax))
                return outOfRange("count", t[3], "1-1000");
            c.op = ScriptOp::PortRead;
            c.count = static_cast<int>(*count);
        } else if (word == "pwd") {
            const auto value = hexAt(3);
            const auto count = hexAt(4);
            if (!value || !count)
                return needs();
            if (*value > 0xFF)
                return outOfRange("value", t[3], "one byte, 0-ff");
            if (*count < 1 || *count > static_cast<uint32_t>(kPortCountMax))
                return outOfRange("count", t[4], "1-1000");
            c.op = ScriptOp::PortWrite;
            c.value = *value;
            c.count = static_cast<int>(*count);
        } else {
            const auto count = hexAt(3);
            if (!count || t.size() < 5)
                return needs();
            if (*count < 1 || *count > static_cast<uint32_t>(kBurstReadMax))
                return outOfRange("count", t[3], "1-270");
            if (const auto problem = fileName(t[4]))
                return malformed(*problem);
            c.op = ScriptOp::BurstRead;
            c.count = static_cast<int>(*count);
            c.file = t[4].toByteArray().toStdString();
        }
    } else if (word == "bwd") {
        const auto n = t.size() > 2 ? decimalField(t[2]) : std::nullopt;
        const auto address = hexAt(3);
        const auto last = hexAt(4);
        if (!n || !address || !last || t.size() < 6)
            return needs();
        if (*n < 1 || *n > kBurstWriteMax)
            return outOfRange("n", t[2], "1-128");
        if (!isUnitAddress(*address))
            return outOfRange("address", t[3], kUnitAddressRange);
        // The window ends in the same unit and space (written in full, or as
        // a bare offset), n bytes or more after its start.
        constexpr uint32_t kOffset = 0x00FFFFFFu;
        const uint32_t end = (*last & ~kOffset) == 0 ? (*address & ~kOffset) | *last : *last;
        if (!isUnitAddress(end) || (end & ~kOffset) != (*address & ~kOffset) ||
            (end & kOffset) < (*address & kOffset) + static_cast<uint32_t>(*n) - 1)
            return malformed(QStringLiteral("bwd: %1 bytes do not fit the window %2-%3")
                                 .arg(*n).arg(text(t[3]), text(t[4])));
        if (const auto problem = fileName(t[5]))
            return malformed(*problem);
        c.op = ScriptOp::BurstWrite;
        c.count = static_cast<int>(*n);
        c.address = *address;
        c.windowLast = end;
        c.file = t[5].toByteArray().toStdString();
    } else if (word == "#") {
        const auto ms = t.size() > 2 ? decimalField(t[2]) : std::nullopt;
        if (!ms)
            return needs();
        if (*ms < 0 || *ms > kDelayMaxMs)
            return outOfRange("delay", t[2], "0-3600000 ms");
        c.op = ScriptOp::Delay;
        c.delayMs = static_cast<int>(*ms);
    } else {  // i2cwd, i2crd
        const auto reg = hexAt(2);
        const auto count = hexAt(3);
        if (!reg || !count)
            return needs();
        if (*reg > 0xFF)
            return outOfRange("register", t[2], "0-ff");
        if (*count < 1 || *count > 0xFF)
            return outOfRange("count", t[3], "1-ff");
        c.address = *reg;
        c.count = static_cast<int>(*count);
        if (word == "i2cwd") {
            const auto value = hexAt(4);
            if (!value)
                return needs();
            if (*value > 0xFF)
                return outOfRange("value", t[4], "one byte, 0-ff");
            c.op = ScriptOp::I2cWrite;
            c.value = *value;
        } else {
            c.op = ScriptOp::I2cRead;
        }
    }
    line.kind = ScriptLine::Command;
    return line;
}

ParsedScript parseScript(const QByteArray& bytes)
{
    ParsedScript script;
    if (bytes.size() > kScriptSizeMax) {
        script.refused = true;
        script.reason = QStringLiteral("the script is %1 bytes; a register script has at most %2").arg(bytes.size()).arg(kScriptSizeMax);
        return script;
    }
    if (bytes.contains('\0')) {
        script.refused = true;
        script.reason = QStringLiteral("the script is not a text file");
        return script;
    }
    // Lines end with LF, CR LF or a lone CR.
    qsizetype start = 0;
    int number = 0;
    const qsizetype n = bytes.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        script.lines.push_back(parseScriptLine(QByteArrayView(bytes).sliced(start, end - start), ++number));
        if (end < n && bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return script;
}

} // namespace tovrin::maintenance
