#include "keys/core/KeyCodes.h"

#include "device/UnitOps.h"
#include "shell/Log.h"
#include "shell/Settings.h"

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

KeyCodes readKeyCodes(const QString& file)
{
    KeyCodes result;
    const shell::IniFile ini = shell::IniFile::load(file);
    const QString group = QStringLiteral("Key_Value");
    const QString* countText = ini.find(group, QStringLiteral("KeyCnt"));
    const int count = countText ? shell::toIntOrZero(*countText) : 0;
    if (count < 0 || count > kMaxKeyCodes) {
        result.problem = QStringLiteral("KeyCnt=%1 does not fit the key code block").arg(count);
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
    if (block.empty() || block.size() > device::kSharedBufferSize)
        return false;
    if (!device::EraseBlock(kKeyCodeBlockAddress))
        return false;
    if (!device::WriteFromBuffer(kKeyCodeBlockAddress, block))
        return false;
    std::vector<uint8_t> back(block.size());
    if (!device::ReadToBuffer(kKeyCodeBlockAddress, static_cast<int>(block.size()), back))
        return false;
    if (back != block) {
        shell::LogF("Key code block read back different from what was written (%d bytes)\n",
                    static_cast<int>(block.size()));
        return false;
    }
    return true;
}

} // namespace tovrin::keys
