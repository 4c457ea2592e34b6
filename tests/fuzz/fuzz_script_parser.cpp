// The register script parser on any text: every line is accounted for and
// numbered, a command that runs has every field within its bounds, and
// nothing beyond 511 characters of a line is ever taken as a field.
#include "FuzzSupport.h"

#include "maintenance/service/ScriptParser.h"

using namespace tovrin;
using namespace tovrin::maintenance;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ParsedScript script = parseScript(bytes);
    if (script.refused) {
        FUZZ_CHECK(!script.reason.isEmpty());
        return 0;
    }
    int expected = 1;
    for (const ScriptLine& line : script.lines) {
        FUZZ_CHECK(line.number == expected++);
        if (line.kind == ScriptLine::Malformed)
            FUZZ_CHECK(!line.problem.isEmpty());
        if (line.kind != ScriptLine::Command)
            continue;
        const ScriptCommand& c = line.command;
        switch (c.op) {
        case ScriptOp::PortRead:
        case ScriptOp::PortWrite:
            FUZZ_CHECK(c.count >= 1 && c.count <= kPortCountMax);
            if (c.op == ScriptOp::PortWrite)
                FUZZ_CHECK(c.value <= 0xFF);
            break;
        case ScriptOp::BurstRead:
            FUZZ_CHECK(c.count >= 1 && c.count <= kBurstReadMax);
            FUZZ_CHECK(!c.file.empty() && c.file.size() <= static_cast<size_t>(kScriptFileNameMax));
            break;
        case ScriptOp::BurstWrite:
            FUZZ_CHECK(c.count >= 1 && c.count <= kBurstWriteMax);
            FUZZ_CHECK(!c.file.empty() && c.file.size() <= static_cast<size_t>(kScriptFileNameMax));
            FUZZ_CHECK(c.windowLast >= c.address);
            break;
        case ScriptOp::Delay:
            FUZZ_CHECK(c.delayMs >= 0 && c.delayMs <= kDelayMaxMs);
            break;
        case ScriptOp::I2cWrite:
            FUZZ_CHECK(c.value <= 0xFF);
            break;
        case ScriptOp::SingleRead:
        case ScriptOp::I2cRead:
            break;
        }
    }
    // Each line parses alone as it did within the script (lines end with
    // LF, CR LF or a lone CR).
    std::vector<QByteArray> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        lines.push_back(bytes.mid(start, end - start));
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    FUZZ_CHECK(lines.size() == script.lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        FUZZ_CHECK(parseScriptLine(lines[i], static_cast<int>(i + 1)).kind == script.lines[i].kind);
    return 0;
}
