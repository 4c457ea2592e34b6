#include "Skin.h"

#include "Folders.h"

#include <QGuiApplication>
#include <QScreen>

namespace tovrin::shell {

SkinChoice skinForScreen(int width, int height)
{
    SkinChoice c;
    c.portrait = (width <= height) ? 1 : 0;
    const int d = c.portrait ? height : width;
    c.reference = d;
    if (d >= 1600) {
        c.skinPath = sharePath(QStringLiteral("skin/1920/"));
        c.buttonFont = {"Calibri", 18};
        c.titleFont = {"Arial black", 17};
        c.applicationFont = {"Calibri", 16};
    } else if (d >= 1280) {
        c.skinPath = sharePath(QStringLiteral("skin/1440/"));
        c.buttonFont = {"Calibri", 14};
        c.titleFont = {"Arial black", 13};
        c.applicationFont = {"Calibri", 12};
    } else {
        c.skinPath = sharePath(QStringLiteral("skin/1024/"));
        c.buttonFont = {"Calibri", d / 100 + 1};
        c.titleFont = {"Arial black", d / 100};
        c.applicationFont = {"Calibri", d / 100 - 1};
    }
    return c;
}

namespace {
QSize primaryScreenSize()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* s = QGuiApplication::primaryScreen())
            return s->geometry().size();
    }
    return {1920, 1080};
}
} // namespace

int SelectSkin()
{
    const QSize size = primaryScreenSize();
    const SkinChoice c = skinForScreen(size.width(), size.height());
    AppContext& ctx = AppContext::instance();
    ctx.portrait = c.portrait;
    ctx.setSkinPath(c.skinPath);
    ctx.setFonts(c.titleFont, c.buttonFont, c.applicationFont);
    return size.width();
}

int ScreenWidth()
{
    return primaryScreenSize().width();
}

} // namespace tovrin::shell
