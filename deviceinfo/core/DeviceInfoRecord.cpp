#include "DeviceInfoRecord.h"

#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"

#include <algorithm>

namespace tovrin::deviceinfo {
namespace {

void putU32le(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getU32le(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void putText(uint8_t* p, const QByteArray& text)
{
    std::fill_n(p, kTextSize, uint8_t{0});
    std::copy_n(text.constData(), std::min<qsizetype>(text.size(), kTextSize), p);
}

QByteArray getText(const uint8_t* p)
{
    const auto* end = std::find(p, p + kTextSize, uint8_t{0});
    return QByteArray(reinterpret_cast<const char*>(p), end - p);
}

// Fields at their offsets in the 120-byte record.
void encodeFields(const DeviceInfo& i, uint8_t* r)
{
    putU32le(r + 4, i.deviceId);
    putU32le(r + 8, i.infoVersion);
    putText(r + 12, i.factoryName);
    putText(r + 28, i.customerName);
    putText(r + 44, i.producer);
    putU32le(r + 60, i.manufDate);
    putText(r + 64, i.batchNumber);
    putText(r + 80, i.lotNumber);
    putU32le(r + 96, i.encrypWord);
    putText(r + 100, i.productModel);
    putU32le(r + 116, i.supportFeature);
}

QString hex8(uint32_t v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); }

std::optional<uint32_t> parseHex(QString t)
{
    t = t.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > 8)
        return std::nullopt;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    return ok ? std::optional<uint32_t>(v) : std::nullopt;
}

std::optional<uint32_t> parseDecimal(QString t)
{
    t = t.trimmed();
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok, 10);
    if (!ok || t.isEmpty() || t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+')) || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>(v);
}

} // namespace

const std::array<const char*, kFieldCount>& fieldKeys()
{
    static const std::array<const char*, kFieldCount> keys{
        "DeviceID", "InfoVersion", "FactoryName", "CustomerName", "Producer",     "ManufDate",
        "BatchNumer", "LotNumber", "EncrypWord",  "ProductModel", "SupportFeature"};
    return keys;
}

bool isHexField(int f) { return f == DeviceID || f == InfoVersion || f == EncrypWord || f == SupportFeature; }
bool isNumberField(int f) { return isHexField(f) || f == ManufDate; }

std::array<uint8_t, kRecordSize> encodeRecord(const DeviceInfo& info)
{
    std::array<uint8_t, kRecordSize> r{};
    putU32le(r.data(), kMagic);
    encodeFields(info, r.data());
    return r;
}

std::array<uint8_t, kBodyWriteSize> encodeBody(const DeviceInfo& info)
{
    const auto record = encodeRecord(info);
    std::array<uint8_t, kBodyWriteSize> body{};
    std::copy(record.begin() + 4, record.end(), body.begin());
    return body;
}

bool hasMagic(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 4 && getU32le(bytes.data()) == kMagic;
}

std::optional<DeviceInfo> decodeRecord(std::span<const uint8_t> b)
{
    if (b.size() < static_cast<size_t>(kRecordSize) || !hasMagic(b))
        return std::nullopt;
    const uint8_t* r = b.data();
    DeviceInfo i;
    i.deviceId = getU32le(r + 4);
    i.infoVersion = getU32le(r + 8);
    i.factoryName = getText(r + 12);
    i.customerName = getText(r + 28);
    i.producer = getText(r + 44);
    i.manufDate = getU32le(r + 60);
    i.batchNumber = getText(r + 64);
    i.lotNumber = getText(r + 80);
    i.encrypWord = getU32le(r + 96);
    i.productModel = getText(r + 100);
    i.supportFeature = getU32le(r + 116);
    return i;
}

QStringList displayTexts(const DeviceInfo& i)
{
    return {hex8(i.deviceId),
            hex8(i.infoVersion),
            QString::fromLatin1(i.factoryName),
            QString::fromLatin1(i.customerName),
            QString::fromLatin1(i.producer),
            QString::number(i.manufDate),
            QString::fromLatin1(i.batchNumber),
            QString::fromLatin1(i.lotNumber),
            hex8(i.encrypWord),
            QString::fromLatin1(i.productModel),
            hex8(i.supportFeature)};
}

ParsedInput parseInput(const QStringList& typed)
{
    ParsedInput out;
    if (typed.size() != kFieldCount) {
        out.problem = QStringLiteral("Eleven fields are needed.");
        return out;
    }
    std::array<uint32_t, kFieldCount> numbers{};
    std::array<QByteArray, kFieldCount> texts;
    for (int f = 0; f < kFieldCount; ++f) {
        const QString& t = typed.at(f);
        const QString key = QLatin1String(fieldKeys()[static_cast<size_t>(f)]);
        if (isNumberField(f)) {
            const auto v = isHexField(f) ? parseHex(t) : parseDecimal(t);
            if (!v) {
                out.problem = t.trimmed().isEmpty()
                                  ? QStringLiteral("%1 is empty.").arg(key)
                                  : QStringLiteral("%1 \"%2\" is not a %3 number of 32 bits.")
                                        .arg(key, t, QLatin1String(isHexField(f) ? "hexadecimal" : "decimal"));
                return out;
            }
            numbers[static_cast<size_t>(f)] = *v;
            continue;
        }
        // Latin-1 only: a character outside it would be stored as garbage.
        const bool latin1 = std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() <= 0xFF; });
        if (!latin1) {
            out.problem = QStringLiteral("%1 \"%2\" holds characters outside Latin-1; the frame stores Latin-1 texts only.")
                              .arg(key, t);
            return out;
        }
        const QByteArray bytes = t.toLatin1();
        if (bytes.size() > kTextSize)
            out.cut << key;
        texts[static_cast<size_t>(f)] = bytes.left(kTextSize);
    }
    if (numbers[DeviceID] == 0xFFFFFFFFu) {
        out.problem = QStringLiteral("DeviceID 0xffffffff leaves no even Master ID with a Slave ID after it.");
        return out;
    }
    DeviceInfo i;
    i.deviceId = numbers[DeviceID] + (numbers[DeviceID] & 1u);
    i.infoVersion = numbers[InfoVersion];
    i.factoryName = texts[FactoryName];
    i.customerName = texts[CustomerName];
    i.producer = texts[Producer];
    i.manufDate = numbers[ManufDate];
    i.batchNumber = texts[BatchNumer];
    i.lotNumber = texts[LotNumber];
    i.encrypWord = numbers[EncrypWord];
    i.productModel = texts[ProductModel];
    i.supportFeature = numbers[SupportFeature];
    out.info = i;
    return out;
}

QStringList loadIniTexts(const QString& file)
{
    const shell::IniFile ini = shell::IniFile::load(file);
    QStringList texts;
    for (int f = 0; f < kFieldCount; ++f) {
        const QString value = ini.value(QStringLiteral("DeviceInfo"), QLatin1String(fieldKeys()[static_cast<size_t>(f)]));
        if (isHexField(f)) {
            const auto v = parseHex(value);
            texts << (v ? hex8(*v) : value);
        } else {
            texts << value;
        }
    }
    return texts;
}

bool saveIniTexts(const QString& file, const QStringList& typed)
{
    shell::CommentIniWriter writer(file);
    for (int f = 0; f < kFieldCount && f < typed.size(); ++f)
        writer.setValue(QStringLiteral("DeviceInfo/%1").arg(QLatin1String(fieldKeys()[static_cast<size_t>(f)])), typed.at(f));
    return writer.close();
}

} // namespace tovrin::deviceinfo
