#pragma once
// Shared set-up of the widget tests: a context with the generated skin, the
// fonts of a screen class and the answer-button texts; running a modal
// MyMessageBox from inside its own event loop.

#include "shell/AppContext.h"
#include "widgets/MyMessageBox.h"

#include <QApplication>
#include <QImage>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace tovrin::widgets::test {

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
    ctx.setSkinPath(skinFolder(screenClass));
    ctx.setTexts(testTexts());
    if (screenClass >= 1920)
        ctx.setFonts({"Arial black", 17}, {"Calibri", 18}, {"Calibri", 16});
    else if (screenClass >= 1440)
        ctx.setFonts({"Arial black", 13}, {"Calibri", 14}, {"Calibri", 12});
    else
        ctx.setFonts({"Arial black", 10}, {"Calibri", 11}, {"Calibri", 9});
}

inline MyMessageBox* openBox()
{
    if (auto* box = qobject_cast<MyMessageBox*>(QApplication::activeModalWidget()))
        return box;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<MyMessageBox*>(w); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Queues `action` to run on the next box once its modal loop runs. Whatever
// the action does, a box still open afterwards is closed (as the window
// manager would), so a failing test cannot leave the loop running.
inline void whenBoxShown(std::function<void(MyMessageBox*)> action)
{
    QTimer::singleShot(0, [action = std::move(action)] {
        MyMessageBox* box = openBox();
        if (!box)
            return;
        action(box);
        if (box->isVisible())
            box->close();
    });
}

// True when every pixel has the same colour (alpha included).
inline bool isBlank(const QImage& image)
{
    if (image.isNull())
        return true;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (line[x] != first)
                return false;
        }
    }
    return true;
}

} // namespace tovrin::widgets::test
