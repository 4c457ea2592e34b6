// The text conversions of the settings files: what the strict reading
// accepts is whole text that the strict writing gives back as bytes that
// read the same; the lenient ones take any bytes.
#include "FuzzSupport.h"

#include "shell/TextCodec.h"

using namespace tovrin;
using namespace tovrin::shell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const FileEncoding detected = detectEncoding(bytes);
    FUZZ_CHECK(detected.encoding != Encoding::Auto);
    for (const FileEncoding& encoding : {detected, FileEncoding{Encoding::Utf8, false}, FileEncoding{Encoding::Gbk, false}}) {
        const std::optional<QString> text = decodeStrict(bytes, encoding);
        if (!text)
            continue;
        FUZZ_CHECK(text->isValidUtf16());
        FUZZ_CHECK(!text->contains(QChar::ReplacementCharacter) || bytes.contains("\xEF\xBF\xBD"));
        const std::optional<QByteArray> again = encodeStrict(*text, encoding);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(decodeStrict(*again, encoding) == text);
    }
    (void)decodeText(bytes, Encoding::Auto);
    (void)decodeText(bytes, Encoding::Gbk);
    // Any text (of UTF-16 units from the input) is written whole or refused.
    QString units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units += QChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    for (const FileEncoding& encoding : {FileEncoding{Encoding::Utf8, false}, FileEncoding{Encoding::Utf8, true},
                                         FileEncoding{Encoding::Gbk, false}}) {
        const std::optional<QByteArray> written = encodeStrict(units, encoding);
        if (written)
            FUZZ_CHECK(decodeStrict(*written, encoding) == units);
        else
            FUZZ_CHECK(!units.isValidUtf16() || encoding.encoding == Encoding::Gbk);
    }
    (void)encodeText(units, Encoding::Gbk);
    return 0;
}
