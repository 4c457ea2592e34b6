#include "keys/core/KeyCodes.h"

#include "device/UnitOps.h"
#include "records/RecordJournal.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <QFileInfo>

#include <span>

namespace tovrin::keys {

std::vector<uint8_t> KeyCodes::block() const
{
    std::vector<uint8_t> b;
    b.reserve(codes.size() * 2 + 2);
    b.push_back(static_cast<uint8_t>(codes.size()));
    b.push_back(0);
    for (uint16_t c : codes) {
        b.push_back(static_cast<uint8_t>(c >> 8));
        b.push_back(static_cast<uint8_t>(c & 0xFF));
    }
    return b;
}

bool parseKeyCode(const QString& text, uint16_t& code)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > 4)
        return false;
    for (QChar c : t) {
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    }
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok || v > 0xFFFF)
        return false;
    code = static_cast<uint16_t>(v);
    return true;
}

bool parseKeyCount(const QString& text, int& count)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (!ok || v > kMaxKeyCodes)
        return false;
    count = v;
    return true;
}

KeyCodes readKeyCodes(const QString& file)
{
    KeyCodes result;
    if (!QFileInfo::exists(file)) {
        result.ok = true;
        result.keepFrameCodes = true;
        return result;
    }
    const shell::IniFile ini = shell::IniFile::load(file);
    const QString group = QStringLiteral("Key_Value");
    const QString* countText = ini.find(group, QStringLiteral("KeyCnt"));
    int count = 0;
    if (!countText) {
        result.problem = QStringLiteral("KeyCnt is missing");
        return result;
    }
    if (!parseKeyCount(*countText, count)) {
        result.problem = QStringLiteral("KeyCnt=%1 is not a count of 0 to %2 key codes").arg(*countText).arg(kMaxKeyCodes);
        return result;
    }
    result.codes.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
        const QString text = ini.value(group, QStringLiteral("Key_%1").arg(i), QStringLiteral("255"));
        uint16_t code = 0;
        if (!parseKeyCode(text, code)) {
            result.problem = QStringLiteral("Key_%1=%2 is not a 16-bit hexadecimal code").arg(i).arg(text);
            result.codes.clear();
            return result;
        }
        result.codes.push_back(code);
    }
    result.ok = true;
    return result;
}

bool writeKeyCodeBlock(const std::vector<uint8_t>& block)
{
    if (block.size() < kKeyCodeHeader || block.size() > device::kSharedBufferSize)
        return false;
    if (!records::journalBeforeErase(records::UnitId::Master, records::RecordKind::KeyCodes)
        || !device::EraseBlock(kKeyCodeBlockAddress))
        return false;
    // The codes first, the header (count, 0) last in a report of its own:
    // until it is there the block reads FF FF, which the frame takes as no
    // codes, never as a count over erased or half-written codes.
    const std::span<const uint8_t> bytes(block);
    if (block.size() > kKeyCodeHeader &&
        !device::WriteFromBuffer(kKeyCodeBlockAddress + kKeyCodeHeader, bytes.subspan(kKeyCodeHeader)))
        return false;
    if (!device::WriteFromBuffer(kKeyCodeBlockAddress, bytes.first(kKeyCodeHeader)))
        return false;
    std::vector<uint8_t> back(block.size());
    if (!device::ReadToBuffer(kKeyCodeBlockAddress, static_cast<int>(block.size()), back))
        return false;
    if (back != block) {
        shell::LogF("Key code block read back different from what was written (%d bytes)\n",
                    static_cast<int>(block.size()));
        return false;
    }
    records::journalWritten(records::UnitId::Master, records::RecordKind::KeyCodes);
    return true;
}

} // namespace tovrin::keys
