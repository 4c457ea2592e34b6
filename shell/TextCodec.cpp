#include "TextCodec.h"

#include <QStringDecoder>

#include <iconv.h>

#include <cerrno>

namespace tovrin::shell {
namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);

// Converts with iconv. Lenient: bytes that cannot be converted are skipped.
// Strict: nothing is returned when any byte or character cannot be converted.
std::optional<QByteArray> convert(const QByteArray& in, const char* to, const char* from, bool strict)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    bool failed = false;
    while (inLeft > 0) {
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        } else if (strict) {  // EILSEQ / EINVAL
            failed = true;
            break;
        } else {
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    if (failed)
        return std::nullopt;
    out.resize(outPtr - out.data());
    return out;
}

bool isValidUtf8(const QByteArray& bytes)
{
    // Stateless: a character cut at the end is an error, not a wait for
    // more bytes that never come.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);  // decoding is lazy: convert for real
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QByteArray withoutBom(const QByteArray& bytes)
{
    return bytes.startsWith(kUtf8Bom) ? bytes.mid(kUtf8Bom.size()) : bytes;
}

} // namespace

FileEncoding detectEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf8Bom))
        return {Encoding::Utf8, true};
    if (!isAscii(bytes) && isValidUtf8(bytes))
        return {Encoding::Utf8, false};
    return {Encoding::Gbk, false};
}

QString decodeText(const QByteArray& bytes, Encoding encoding)
{
    if (encoding == Encoding::Auto)
        encoding = detectEncoding(bytes).encoding;
    const QByteArray body = withoutBom(bytes);
    if (encoding == Encoding::Utf8)
        return QString::fromUtf8(body);
    return QString::fromUtf8(convert(body, "UTF-8", "GBK", false).value_or(QByteArray()));
}

QByteArray encodeText(const QString& text, Encoding encoding)
{
    const QByteArray utf8 = text.toUtf8();
    if (encoding != Encoding::Gbk)
        return utf8;
    return convert(utf8, "GBK//TRANSLIT", "UTF-8", false).value_or(QByteArray());
}

std::optional<QString> decodeStrict(const QByteArray& bytes, const FileEncoding& encoding)
{
    const QByteArray body = encoding.byteOrderMark ? withoutBom(bytes) : bytes;
    if (encoding.encoding == Encoding::Utf8) {
        if (!isValidUtf8(body))
            return std::nullopt;
        // Every character as it stands, a U+FEFF at the start of the text
        // included (the file's own mark is dropped above, never a second).
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return QString(decoder.decode(body));
    }
    const auto utf8 = convert(body, "UTF-8", "GBK", true);
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArray> encodeStrict(const QString& text, const FileEncoding& encoding)
{
    // A lone surrogate, wherever it stands, has no form in either encoding
    // (the encoders would drop it at the end or write "?" for it).
    if (!text.isValidUtf16())
        return std::nullopt;
    QByteArray out = encoding.byteOrderMark ? kUtf8Bom : QByteArray();
    if (encoding.encoding == Encoding::Utf8)
        return out + text.toUtf8();
    const auto gbk = convert(text.toUtf8(), "GBK", "UTF-8", true);
    // A character whose GBK form reads back as another (GBK has one code for
    // the two middle dots U+00B7 and U+30FB) has no exact GBK form.
    if (!gbk || decodeStrict(*gbk, {Encoding::Gbk, false}) != text)
        return std::nullopt;
    return out + *gbk;
}

} // namespace tovrin::shell
