#pragma once
// Helpers of the Qt widget and window tests: pictures kept under
// <build>/screenshots/ and refused when blank, and a modal MyMessageBox
// driven from inside its own event loop.

#include "shell/Skin.h"
#include "widgets/MyMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace tovrin::test {

// The skin choice of a screen class (1920, 1440 or 1024 wide) at the height
// of its usual screen.
inline shell::SkinChoice skinOfClass(int screenClass)
{
    return shell::skinForScreen(screenClass, screenClass >= 1920 ? 1080 : screenClass >= 1440 ? 900 : 768);
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

// Saves a picture for a person to look at; fails when it is missing, cannot
// be written or shows nothing but one colour.
inline void saveShot(const QImage& image, const QString& name)
{
    QDir().mkpath(QStringLiteral(TOVRIN_SCREENSHOT_DIR));
    const QString path = QStringLiteral(TOVRIN_SCREENSHOT_DIR "/%1.png").arg(name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY2(image.save(path), qPrintable(name));
    QVERIFY2(!isBlank(QImage(path)), qPrintable(name + QStringLiteral(" is blank")));
}

inline widgets::MyMessageBox* openBox()
{
    if (auto* box = qobject_cast<widgets::MyMessageBox*>(QApplication::activeModalWidget()))
        return box;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<widgets::MyMessageBox*>(w); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Queues `action` to run on the next box once its modal loop runs. Whatever
// the action does, a box still open afterwards is closed (as the window
// manager would), so a failing test cannot leave the loop running.
inline void whenBoxShown(std::function<void(widgets::MyMessageBox*)> action)
{
    QTimer::singleShot(0, [action = std::move(action)] {
        widgets::MyMessageBox* box = openBox();
        if (!box)
            return;
        action(box);
        if (box->isVisible())
            box->close();
    });
}

} // namespace tovrin::test
