#include "TextCodec.h"

#include <QStringDecoder>

#include <iconv.h>

#include <cerrno>

namespace tovrin::shell {
namespace {

// Converts with iconv; bytes that cannot be converted are skipped so that a
// damaged file still reads (as far as it is readable) instead of failing.
QByteArray convert(const QByteArray& in, const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        } else {  // EILSEQ / EINVAL: skip one byte
            ++inPtr;
            --inLeft;
        }
    }
    out.resize(outPtr - out.data());
    iconv_close(cd);
    return out;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(bytes);  // decoding is lazy: convert for real
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

} // namespace

QString decodeText(const QByteArray& bytes, Encoding encoding)
{
    if (encoding == Encoding::Utf8 || (encoding == Encoding::Auto && isValidUtf8(bytes)))
        return QString::fromUtf8(bytes);
    return QString::fromUtf8(convert(bytes, "UTF-8", "GBK"));
}

QByteArray encodeText(const QString& text, Encoding encoding)
{
    const QByteArray utf8 = text.toUtf8();
    if (encoding != Encoding::Gbk)
        return utf8;
    return convert(utf8, "GBK//TRANSLIT", "UTF-8");
}

} // namespace tovrin::shell
