#pragma once
// Shared set-up of the widget tests: a context with the generated skin, the
// fonts of a screen class and the answer-button texts.

#include "shell/AppContext.h"
#include "tests/support/QtTestSupport.h"

#include <QStringList>

namespace tovrin::widgets::test {

using tovrin::test::isBlank;
using tovrin::test::saveShot;
using tovrin::test::whenBoxShown;

inline QString skinFolder(int screenClass)
{
    return QStringLiteral(TOVRIN_SKIN_DIR "/%1/").arg(screenClass);
}

// Texts 13, 40 and 116 are the box's default labels; the others are marked
// so a wrong id shows up in a label.
inline QStringList testTexts()
{
    QStringList texts;
    for (int id = 0; id <= 150; ++id)
        texts << QStringLiteral("#%1").arg(id);
    texts[13] = QStringLiteral("Cancel");
    texts[40] = QStringLiteral("Re-election");
    texts[116] = QStringLiteral("OK");
    texts[117] = QStringLiteral("warning");
    return texts;
}

// Skin folder and fonts of a screen class, as the skin choice sets them.
inline void useSkin(int screenClass)
{
    shell::AppContext& ctx = shell::AppContext::instance();
    const shell::SkinChoice choice = tovrin::test::skinOfClass(screenClass);
    ctx.setSkinPath(skinFolder(screenClass));
    ctx.setTexts(testTexts());
    ctx.setFonts(choice.titleFont, choice.buttonFont, choice.applicationFont);
}

} // namespace tovrin::widgets::test
