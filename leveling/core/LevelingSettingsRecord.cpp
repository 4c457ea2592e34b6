#include "LevelingSettingsRecord.h"

#include "shell/Settings.h"

#include <algorithm>

namespace tovrin::leveling {

LevelingSettingsRecord::Bytes LevelingSettingsRecord::encode() const
{
    Bytes b{};
    std::copy(magic.begin(), magic.end(), b.begin());
    b[4] = expValue;
    b[5] = pointValueBegin;
    b[6] = pointValueEnd;
    b[7] = vsyncDiff;
    std::copy(kept.begin(), kept.end(), b.begin() + 8);
    b[12] = autoUpdateBk;
    b[13] = autoImageEval;
    b[14] = autoStartLine;
    return b;
}

LevelingSettingsRecord LevelingSettingsRecord::decode(std::span<const uint8_t, kLevelingSettingsSize> b)
{
    LevelingSettingsRecord r;
    std::copy_n(b.begin(), 4, r.magic.begin());
    r.expValue = b[4];
    r.pointValueBegin = b[5];
    r.pointValueEnd = b[6];
    r.vsyncDiff = b[7];
    std::copy_n(b.begin() + 8, 4, r.kept.begin());
    r.autoUpdateBk = b[12];
    r.autoImageEval = b[13];
    r.autoStartLine = b[14];
    return r;
}

std::optional<uint8_t> byteFromHexText(const QString& text)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char('_'));
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    for (const QChar c : t) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!hex)
            return uint8_t{0};  // not a number reads as 0
    }
    while (t.startsWith(QLatin1Char('0')))
        t.remove(0, 1);
    if (t.size() > 2)
        return std::nullopt;  // a number that does not fit a byte
    return static_cast<uint8_t>(t.isEmpty() ? 0 : t.toUInt(nullptr, 16));
}

std::optional<LevelingSettingsRecord> levelingSettingsFromIni()
{
    namespace s = shell::settings;
    LevelingSettingsRecord r;
    auto hexByte = [](const shell::HexSetting& setting, uint8_t& out) {
        const QString text = shell::readText(QString::fromLatin1(setting.key), QString::fromLatin1(setting.fallback));
        const auto value = byteFromHexText(text);
        if (value)
            out = *value;
        return value.has_value();
    };
    auto intByte = [](const shell::IntSetting& setting, uint8_t& out) {
        const int value = setting.read();
        if (value < 0 || value > 0xFF)
            return false;
        out = static_cast<uint8_t>(value);
        return true;
    };
    if (!hexByte(s::expValue, r.expValue) || !hexByte(s::pointValueBegin, r.pointValueBegin) ||
        !hexByte(s::pointValueEnd, r.pointValueEnd) || !hexByte(s::vsyncDiff, r.vsyncDiff) ||
        !intByte(s::autoUpdateBk, r.autoUpdateBk) || !intByte(s::autoImageEval, r.autoImageEval) ||
        !intByte(s::autoStartLine, r.autoStartLine))
        return std::nullopt;
    return r;
}

} // namespace tovrin::leveling
