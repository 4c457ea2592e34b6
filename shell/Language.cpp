#include "Language.h"

#include "AppContext.h"
#include "CommentIniWriter.h"
#include "MessageTexts.h"
#include "Settings.h"
#include "Skin.h"

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
    AppContext::instance().setTexts(loadTextsFrom(kLanguageFile, settings::Language.read()));
}

QStringList CheckLanguage()
{
    const IniFile lrp = IniFile::load(kLanguageFile, Encoding::Utf8);
    const int count = toIntOrZero(lrp.value(QStringLiteral("Language"), QStringLiteral("LanguageCnt"), QStringLiteral("0")));
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
