// The INI reader and the comment-keeping writer on a real file of any
// bytes: a value written reads back as it was, every other key and every
// comment line stays, and a save that is refused leaves the file as it was.
#include "FuzzSupport.h"

#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"
#include "shell/TextCodec.h"

using namespace tovrin;
using namespace tovrin::shell;

namespace {

const char* const kKeys[] = {"ImagePath/imagePath",  "Tovrin_Config/Language", "Imagemode/ImageMode",
                             "DeviceInfo/FactoryName", "TEST_PARA/expValue",    "Tovrin_Config/ChooseToolEnable",
                             "General/x",             "os_check/TouchType"};

QStringList commentLines(const QString& text)
{
    QStringList out;
    for (const QString& line : text.split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith('#') || t.startsWith(';'))
            out << t;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::scratchFolder();
    const QString groupSlashKey = QString::fromLatin1(kKeys[in.u8() % std::size(kKeys)]);
    // A value as a technician might type or choose it: any text.
    const QString value = QString::fromUtf8(in.chunk());
    const QByteArray before = in.rest();
    fuzz::writeFile(QStringLiteral("Tovrin.ini"), before);

    const IniFile old = IniFile::load(QStringLiteral("Tovrin.ini"));
    const std::optional<QString> oldText = decodeStrict(before, detectEncoding(before));
    CommentIniWriter writer(QStringLiteral("Tovrin.ini"));
    writer.setValue(groupSlashKey, value);
    const bool fits = writer.canHold();
    const bool written = writer.close();
    FUZZ_CHECK(written == fits);
    if (!written) {
        FUZZ_CHECK(fuzz::readFile(QStringLiteral("Tovrin.ini")) == before);
        return 0;
    }
    FUZZ_CHECK(oldText.has_value() || before.isEmpty());
    QString group, key;
    splitKey(groupSlashKey, group, key);
    const IniFile now = IniFile::load(QStringLiteral("Tovrin.ini"));
    FUZZ_CHECK(now.value(group, key) == value);
    for (const QString& g : old.groupNames()) {
        for (const QString& k : old.keys(g)) {
            if (g.compare(group, Qt::CaseInsensitive) == 0 && k.compare(key, Qt::CaseInsensitive) == 0)
                continue;
            FUZZ_CHECK(now.value(g, k) == old.value(g, k));
        }
    }
    const QByteArray after = fuzz::readFile(QStringLiteral("Tovrin.ini"));
    const std::optional<QString> newText = decodeStrict(after, detectEncoding(after));
    FUZZ_CHECK(newText.has_value());
    if (oldText) {
        const QStringList kept = commentLines(*newText);
        for (const QString& c : commentLines(*oldText))
            FUZZ_CHECK(kept.contains(c));
    }
    return 0;
}
