#include "Language.h"

#include "AppContext.h"
#include "CommentIniWriter.h"
#include "Folders.h"
#include "MessageTexts.h"
#include "Settings.h"
#include "Skin.h"

#include <algorithm>
#include <limits>

namespace tovrin::shell {

QStringList loadTextsFrom(const QString& path, int language)
{
    const IniFile lrp = IniFile::load(path, Encoding::Utf8);
    const QString group = QStringLiteral("Language_%1").arg(language);
    QStringList texts;
    texts.reserve(kMessageCount);
    for (int id = 0; id < kMessageCount; ++id)
        texts << lrp.value(group, QString::number(id), QString::fromUtf8(builtinText(id)));
    return texts;
}

void LoadTexts()
{
    AppContext::instance().setTexts(loadTextsFrom(sharePath(kLanguageFile), settings::Language.read()));
}

namespace {

// One more than the highest language the file describes, by a name
// (Language/Language_<n>) or by a group of texts ([Language_<n>]).
int languagesDescribed(const IniFile& lrp)
{
    int described = 0;
    const auto note = [&described](const QString& name) {
        static const QLatin1String prefix("Language_");
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            return;
        bool ok = false;
        const int n = QStringView(name).mid(prefix.size()).toInt(&ok, 10);
        if (ok && n >= 0 && n < std::numeric_limits<int>::max())
            described = std::max(described, n + 1);
    };
    for (const QString& key : lrp.keys(QStringLiteral("Language")))
        note(key);
    for (const QString& group : lrp.groupNames())
        note(group);
    return described;
}

} // namespace

QStringList CheckLanguage()
{
    const IniFile lrp = IniFile::load(sharePath(kLanguageFile), Encoding::Utf8);
    // The count is bound by what the file holds: a count of two billion in
    // a file of two languages would otherwise list names without end.
    const int said = toIntOrZero(lrp.value(QStringLiteral("Language"), QStringLiteral("LanguageCnt"), QStringLiteral("0")));
    const int count = std::clamp(said, 0, languagesDescribed(lrp));
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << lrp.value(QStringLiteral("Language"), QStringLiteral("Language_%1").arg(i), QStringLiteral("0"));
    if (settings::Language.read() >= count)
        writeSetting(QString::fromLatin1(settings::Language.key), 0);
    return names;
}

void BuildContext()
{
    SelectSkin();
    LoadTexts();
}

bool SetLanguage(int language)
{
    if (language == settings::Language.read())
        return false;
    writeSetting(QString::fromLatin1(settings::Language.key), language);
    BuildContext();
    return true;
}

} // namespace tovrin::shell
