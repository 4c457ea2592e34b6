#include "keys/ui/KeyWindowParts.h"

#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/FullScreen.h"
#include "windows/WindowSupport.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace tovrin::keys::ui {

QSize keyWindowSize(QSize requested)
{
    if (requested.isValid() && !requested.isEmpty())
        return requested;
    if (const QScreen* screen = widgets::frameScreen())
        return screen->geometry().size();
    return {1920, 1080};
}

widgets::Button* makeKeyButton(QWidget* parent, int captionId, const char* objectName)
{
    const QString skin = QStringLiteral("keyCalibration/");
    widgets::Button* b = windows::makeSkinButton(parent, objectName, skin + QStringLiteral("button_Normal.png"),
                                                 skin + QStringLiteral("button_Focus.png"),
                                                 skin + QStringLiteral("button_Press.png"),
                                                 skin + QStringLiteral("button_Enabled.png"));
    b->setCaptionMode(widgets::Button::CaptionCentred);
    b->setCaptionFont(widgets::toQFont(shell::context().buttonFont()));
    b->setCaption(shell::context().text(captionId));
    b->setFocusPolicy(Qt::NoFocus);
    b->setMouseTracking(true);
    return b;
}

QLabel* makeKeyLabel(QWidget* parent, const char* objectName)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setStyleSheet(QStringLiteral("color:rgb(0,38,102)"));
    label->setFont(widgets::toQFont(shell::context().buttonFont()));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

void placeKeyLabels(const KeyDepiction& d, QLabel* status, QLabel* second)
{
    const QRect area = d.projection.adjusted(d.width / 40, 0, -d.width / 40, 0);
    const int h = area.height() / 5;
    const int y = area.y() + area.height() / 2;
    if (status)
        status->setGeometry(area.x(), y, area.width(), h);
    if (second)
        second->setGeometry(area.x(), y + h, area.width(), h);
}

void placeKeyButtons(QWidget* window, const std::vector<widgets::Button*>& buttons)
{
    const int margin = window->height() / 30;
    int x = window->width() - margin;
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
        widgets::Button* b = *it;
        if (b->isHidden())  // a button of the other mode
            continue;
        x -= b->width();
        b->move(x, window->height() - margin - b->height());
        x -= margin / 2;
    }
}

bool frameConnected()
{
    return device::g_bDevExist.load() && device::g_isDeviceCommunicate.load();
}

} // namespace tovrin::keys::ui
