#include "TovrinSkinnedPage.h"

#include "widgets/Fonts.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace tovrin::windows {

namespace {

namespace msg {
constexpr int Set = 1, Leveling = 2, Versions = 3, Calibrate = 4, Update = 5, Shortcuts = 6;
} // namespace msg

widgets::Button* makeTile(QWidget* window, const QString& baseName, int captionId, const char* objectName,
                          Captions& captions, QObject* eventFilter)
{
    widgets::Button* button = widgets::makeSkinButton(window, objectName, baseName + QStringLiteral(".png"),
                                              baseName + QStringLiteral("1.png"), baseName + QStringLiteral("2.png"),
                                              baseName + QStringLiteral("3.png"));
    button->setCaptionMode(widgets::Button::CaptionBand);
    button->setCaptionFont(widgets::toQFont(shell::context().buttonFont()));
    button->installEventFilter(eventFilter);
    captions.add(button, captionId);
    return button;
}

} // namespace

SkinnedTiles buildSkinnedTiles(QWidget* window, int flavour, bool shortcuts, Captions& captions, QObject* eventFilter)
{
    SkinnedTiles t;
    auto tile = [&](const char* base, int caption, const char* name) {
        return makeTile(window, QString::fromLatin1(base), caption, name, captions, eventFilter);
    };
    if (flavour == 0) {
        t.calibrate = tile(shortcuts ? "User2_calibration" : "User1_calibration", msg::Calibrate, "calibrateButton");
        if (shortcuts)
            t.shortcuts = tile("keyCalibration", msg::Shortcuts, "shortcutsButton");
        t.set = tile("User_set", msg::Set, "setButton");
        t.about = tile("about", msg::Versions, "aboutButton");
        t.focus.buttons = {t.calibrate};
        if (t.shortcuts)
            t.focus.buttons.push_back(t.shortcuts);
        t.focus.buttons.push_back(t.set);
        t.focus.buttons.push_back(t.about);
        return t;
    }
    t.leveling = tile("MP_adjustScreen", msg::Leveling, "levelingButton");
    t.calibrate = tile("User2_calibration", msg::Calibrate, "calibrateButton");
    t.set = tile(shortcuts ? "User_set" : "MP1_set", msg::Set, "setButton");
    if (shortcuts)
        t.shortcuts = tile("keyCalibration", msg::Shortcuts, "shortcutsButton");
    t.update = tile("update", msg::Update, "updateButton");
    t.about = tile("about", msg::Versions, "aboutButton");
    if (shortcuts)
        t.focus.buttons = {t.leveling, t.calibrate, t.set, t.shortcuts, t.update, t.about};
    else
        t.focus.buttons = {t.leveling, t.set, t.calibrate, t.update, t.about};
    return t;
}

void placeSkinnedTiles(const SkinnedTiles& tiles, QWidget* window, int bandHeight, QLabel* status,
                       QProgressBar* progress)
{
    const int w = window->width();
    const int h = window->height();
    const int footerTop = h - bandHeight * 9 / 10;
    const std::vector<widgets::Button*>& row = tiles.focus.buttons;
    const int tileW = row.front()->width();
    const int tileH = row.front()->height();
    const int count = static_cast<int>(row.size());
    const int gap = std::min(w / 25, count > 1 ? (w * 9 / 10 - count * tileW) / (count - 1) : 0);
    const int rowWidth = count * tileW + (count - 1) * gap;
    int x = (w - rowWidth) / 2;
    const int y = bandHeight + (footerTop - bandHeight - tileH) / 2;
    for (widgets::Button* tile : row) {
        tile->move(x, y);
        x += tileW + gap;
    }
    const int margin = w * 3 / 100;
    status->setGeometry(margin, footerTop + 2, w - 2 * margin, h - footerTop - 4);
    status->setFont(widgets::toQFont(shell::context().applicationFont()));
    progress->setGeometry(margin, footerTop - bandHeight / 2 - 4, w - 2 * margin, bandHeight / 3);
}

} // namespace tovrin::windows
