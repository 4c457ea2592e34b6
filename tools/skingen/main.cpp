// tovrin-skingen: draws the skin pictures of the tool into
// <skin root>/1024/, <skin root>/1440/ and <skin root>/1920/.
//
//   tovrin-skingen <skin root>
//
// Every picture of SkinCatalog.h is drawn for every screen class, sized for
// that class, and "skin-manifest.txt" in the skin root lists each file with
// its size. Captions are not drawn into button pictures: the Button widget
// paints them over the picture in the colour of its look. Exit status 0 when
// every picture was written.

#include "SkinCatalog.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>

#include <cstdio>

namespace {

using tovrin::skingen::kSkinClasses;
using tovrin::skingen::kSkinPictures;
using tovrin::skingen::kTileBases;

// Colours of the skin. Captions and message texts are navy; the hold
// progress of a calibration target is the same green as the window's bar.
const QColor kNavy(0, 38, 102);
const QColor kBlue(0, 90, 170);
const QColor kBandTop(0, 66, 150);
const QColor kAccent(177, 233, 251);
const QColor kGreen(0, 211, 40);
const QColor kRed(205, 45, 45);

enum class Look { Normal, Focus, Press, Disabled };

// Sizes of one screen class, in pixels.
struct Metrics {
    int screen;
    QSize window;      // main-window background
    QSize tile;        // main-window buttons
    QSize titleButton; // minimise / quit in a window's title band
    QSize push;        // button_* (also the message box's answer buttons)
    QSize wide;        // button_*2
    QSize step;        // add_* / minus_*
    QSize box;         // messageBox/messageBox.png
    QSize setWindow;   // set.png
    int marker;        // calibration.png
    int target;        // calibration1-*, calibration2-*
};

Metrics metricsFor(int screen)
{
    switch (screen) {
    case 1024:
        return {1024, {600, 360}, {82, 90}, {28, 24}, {115, 34}, {150, 34}, {26, 26}, {420, 240}, {480, 400}, 22, 72};
    case 1440:
        return {1440, {780, 468}, {106, 116}, {36, 30}, {143, 42}, {186, 42}, {32, 32}, {520, 294}, {600, 500}, 28, 96};
    default:
        return {1920, {1000, 600}, {136, 148}, {44, 36}, {176, 50}, {230, 50}, {40, 40}, {640, 360}, {760, 620}, 36, 120};
    }
}

// Title band of a window background: tall enough for its title buttons.
int bandHeight(const Metrics& m) { return m.titleButton.height() + m.titleButton.height() * 2 / 3; }

QImage canvas(QSize size)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void beginPainter(QPainter& p, QImage& img)
{
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// The tool's mark: a screen with a camera in each upper corner looking along
// its surface.
void drawMark(QPainter& p, const QRectF& r, const QColor& frame, const QColor& camera)
{
    const qreal w = r.width();
    const QRectF screen = r.adjusted(w * 0.12, w * 0.22, -w * 0.12, -w * 0.16);
    p.setPen(QPen(frame, qMax<qreal>(1.5, w * 0.07), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(screen, w * 0.04, w * 0.04);
    QColor ray = camera;
    ray.setAlphaF(0.5);
    p.setPen(QPen(ray, qMax<qreal>(1.0, w * 0.025)));
    for (const qreal depth : {0.35, 0.8}) {
        p.drawLine(screen.topLeft(), QPointF(screen.right(), screen.top() + screen.height() * depth));
        p.drawLine(screen.topRight(), QPointF(screen.left(), screen.top() + screen.height() * depth));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(camera);
    const qreal d = w * 0.16;
    p.drawEllipse(QRectF(screen.left() - d / 2, screen.top() - d / 2, d, d));
    p.drawEllipse(QRectF(screen.right() - d / 2, screen.top() - d / 2, d, d));
}

QImage appIcon(int size)
{
    QImage img = canvas({size, size});
    QPainter p;
    beginPainter(p, img);
    const QRectF r(1, 1, size - 2, size - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(r, kBandTop, kNavy));
    p.drawRoundedRect(r, size * 0.2, size * 0.2);
    drawMark(p, r, Qt::white, kGreen);
    return img;
}

// Window background: navy title band, light body, thin outline.
QImage windowBackground(QSize size, int band)
{
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    const QRectF all(0, 0, size.width(), size.height());
    p.fillRect(all, vertical(all, QColor(248, 251, 255), QColor(226, 236, 248)));
    const QRectF top(0, 0, size.width(), band);
    p.fillRect(top, vertical(top, kBandTop, kNavy));
    p.fillRect(QRectF(0, band, size.width(), qMax(2, band / 16)), kAccent);
    // A quiet footer line above the status area.
    p.fillRect(QRectF(size.width() * 0.03, size.height() - band * 0.9, size.width() * 0.94, 1), QColor(200, 216, 236));
    drawMark(p, QRectF(band * 0.2, band * 0.1, band * 0.8, band * 0.8), Qt::white, kGreen);
    p.setPen(QPen(kNavy, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    return img;
}

// Message box background. The band above H / 8.85 is where the box can be
// dragged; the title label and the quit button sit in it.
QImage boxBackground(QSize size)
{
    const int w = size.width();
    const int h = size.height();
    const int band = static_cast<int>(h / 8.85);
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    const QRectF all(0, 0, w, h);
    p.fillRect(all, vertical(all, QColor(252, 253, 255), QColor(236, 243, 251)));
    const QRectF top(0, 0, w, band);
    p.fillRect(top, vertical(top, kBandTop, kNavy));
    p.fillRect(QRectF(0, band, w, qMax(2, h / 120)), kAccent);
    // Button area: a slightly darker strip from just above the answer buttons.
    const int buttonsTop = static_cast<int>(h / 1.23);
    const QRectF foot(0, buttonsTop - h / 30, w, h - buttonsTop + h / 30);
    p.fillRect(foot, QColor(228, 237, 248));
    p.fillRect(QRectF(0, foot.top(), w, 1), QColor(203, 219, 238));
    p.setPen(QPen(kNavy, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    return img;
}

// Minimise and quit buttons drawn for a navy title band; pressed: a filled plate.
// plateHeight limits the visible plate (0: the whole picture); the plate then
// sits in the top right corner of the picture.
QImage titleButton(QSize size, bool quit, bool pressed, int plateHeight = 0)
{
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    QRectF r = QRectF(0, 0, size.width(), size.height());
    if (plateHeight > 0 && plateHeight < size.height()) {
        const qreal w = qMin<qreal>(size.width(), plateHeight * 1.4);
        r = QRectF(size.width() - w, 0, w, plateHeight);
    }
    r.adjust(1.5, 1.5, -1.5, -1.5);
    const qreal radius = qMin(r.width(), r.height()) * 0.22;
    if (pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(quit ? kRed : QColor(0, 120, 210));
        p.drawRoundedRect(r, radius, radius);
    } else {
        p.setPen(QPen(QColor(255, 255, 255, 70), 1));
        p.setBrush(QColor(255, 255, 255, 28));
        p.drawRoundedRect(r, radius, radius);
    }
    const qreal g = qMin(r.width(), r.height()) * 0.26;
    const QPointF c = r.center();
    p.setPen(QPen(Qt::white, qMax<qreal>(1.6, g * 0.32), Qt::SolidLine, Qt::RoundCap));
    if (quit) {
        p.drawLine(QPointF(c.x() - g, c.y() - g), QPointF(c.x() + g, c.y() + g));
        p.drawLine(QPointF(c.x() - g, c.y() + g), QPointF(c.x() + g, c.y() - g));
    } else {
        p.drawLine(QPointF(c.x() - g, c.y() + g * 0.4), QPointF(c.x() + g, c.y() + g * 0.4));
    }
    return img;
}

struct Plate {
    QLinearGradient fill;
    QColor border;
    qreal borderWidth;
    QColor ink; // icon or glyph
};

Plate plateFor(Look look, const QRectF& r)
{
    switch (look) {
    case Look::Focus:
        return {vertical(r, QColor(255, 255, 255), QColor(198, 226, 255)), QColor(0, 120, 215), 2.5, QColor(0, 70, 160)};
    case Look::Press:
        return {vertical(r, QColor(0, 84, 170), QColor(0, 44, 112)), kNavy, 1.5, Qt::white};
    case Look::Disabled:
        return {vertical(r, QColor(250, 250, 250), QColor(238, 238, 238)), QColor(212, 212, 212), 1.2, QColor(204, 204, 204)};
    case Look::Normal:
        break;
    }
    return {vertical(r, QColor(255, 255, 255), QColor(222, 235, 250)), QColor(128, 165, 212), 1.2, kBlue};
}

void drawPlate(QPainter& p, const QRectF& outer, qreal radius, Look look)
{
    const Plate plate = plateFor(look, outer);
    const QRectF r = outer.adjusted(plate.borderWidth / 2 + 0.5, plate.borderWidth / 2 + 0.5,
                                    -plate.borderWidth / 2 - 0.5, -plate.borderWidth / 2 - 0.5);
    if (look == Look::Focus) {
        p.setPen(QPen(QColor(0, 120, 215, 60), plate.borderWidth + 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, radius, radius);
    }
    p.setPen(QPen(plate.border, plate.borderWidth));
    p.setBrush(plate.fill);
    p.drawRoundedRect(r, radius, radius);
    if (look != Look::Press && look != Look::Disabled) {
        // Gloss on the upper half.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 90));
        const QRectF gloss(r.left() + 2, r.top() + 2, r.width() - 4, r.height() * 0.42);
        p.drawRoundedRect(gloss, radius * 0.8, radius * 0.8);
    }
}

QImage pushButton(QSize size, Look look)
{
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    drawPlate(p, QRectF(0, 0, size.width(), size.height()), size.height() * 0.28, look);
    return img;
}

QImage stepButton(QSize size, bool add, Look look)
{
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    const QRectF r(0, 0, size.width(), size.height());
    drawPlate(p, r, r.width() / 2, look);
    const qreal g = r.width() * 0.24;
    const QPointF c = r.center();
    p.setPen(QPen(plateFor(look, r).ink, qMax<qreal>(2.0, r.width() * 0.1), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - g, c.y()), QPointF(c.x() + g, c.y()));
    if (add)
        p.drawLine(QPointF(c.x(), c.y() - g), QPointF(c.x(), c.y() + g));
    return img;
}

// Icons of the main-window buttons, drawn into a square.
void gearIcon(QPainter& p, const QRectF& r, const QColor& ink)
{
    const QPointF c = r.center();
    const qreal ro = r.width() * 0.46;
    const qreal ri = r.width() * 0.34;
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i - 0.5) * M_PI * 2 / (teeth * 4);
        const qreal rad = ((i / 2) % 2 == 0) ? ro : ri;
        const QPointF pt(c.x() + rad * qCos(a), c.y() + rad * qSin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    gear.addEllipse(c, r.width() * 0.14, r.width() * 0.14);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(gear);
}

void infoIcon(QPainter& p, const QRectF& r, const QColor& ink)
{
    const qreal w = r.width();
    p.setPen(QPen(ink, w * 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.center(), w * 0.42, w * 0.42);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(r.center().x(), r.top() + w * 0.28), w * 0.065, w * 0.065);
    p.drawRoundedRect(QRectF(r.center().x() - w * 0.055, r.top() + w * 0.4, w * 0.11, w * 0.34), w * 0.03, w * 0.03);
}

void updateIcon(QPainter& p, const QRectF& r, const QColor& ink)
{
    const qreal w = r.width();
    const QRectF arc = r.adjusted(w * 0.1, w * 0.1, -w * 0.1, -w * 0.1);
    p.setPen(QPen(ink, w * 0.09, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(arc, 100 * 16, 150 * 16);
    p.drawArc(arc, 280 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    // Arrow heads at the ends of the arcs (at 250 and 70 degrees).
    for (const qreal deg : {250.0, 70.0}) {
        const qreal a = qDegreesToRadians(deg);
        const QPointF tip(r.center().x() + arc.width() / 2 * qCos(a), r.center().y() - arc.height() / 2 * qSin(a));
        const qreal s = w * 0.16;
        const qreal dir = a + M_PI / 2; // tangent, counter-clockwise travel
        QPolygonF head;
        head << tip + QPointF(s * qCos(dir), -s * qSin(dir))
             << tip + QPointF(s * 0.8 * qCos(dir + M_PI / 2), -s * 0.8 * qSin(dir + M_PI / 2))
             << tip + QPointF(s * 0.8 * qCos(dir - M_PI / 2), -s * 0.8 * qSin(dir - M_PI / 2));
        p.drawPolygon(head);
    }
    // Chip in the middle.
    p.drawRoundedRect(QRectF(r.center().x() - w * 0.12, r.center().y() - w * 0.12, w * 0.24, w * 0.24), w * 0.03, w * 0.03);
}

void keysIcon(QPainter& p, const QRectF& r, const QColor& ink)
{
    const qreal w = r.width();
    const QRectF screen = r.adjusted(w * 0.24, w * 0.24, -w * 0.24, -w * 0.24);
    p.setPen(QPen(ink, w * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(screen, w * 0.03, w * 0.03);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const qreal k = w * 0.1;
    for (int i = 0; i < 3; ++i) {
        const qreal t = screen.left() + screen.width() * (i + 0.5) / 3 - k / 2;
        p.drawRoundedRect(QRectF(t, r.top() + w * 0.06, k, k), k * 0.2, k * 0.2);
        p.drawRoundedRect(QRectF(t, r.bottom() - w * 0.06 - k, k, k), k * 0.2, k * 0.2);
        const qreal v = screen.top() + screen.height() * (i + 0.5) / 3 - k / 2;
        p.drawRoundedRect(QRectF(r.left() + w * 0.06, v, k, k), k * 0.2, k * 0.2);
        p.drawRoundedRect(QRectF(r.right() - w * 0.06 - k, v, k, k), k * 0.2, k * 0.2);
    }
}

void levelIcon(QPainter& p, const QRectF& r, const QColor& ink)
{
    const qreal w = r.width();
    const QRectF bar(r.left() + w * 0.06, r.center().y() - w * 0.14, w * 0.88, w * 0.28);
    p.setPen(QPen(ink, w * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(bar, bar.height() / 2, bar.height() / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(bar.center(), w * 0.08, w * 0.08);
    p.setPen(QPen(ink, w * 0.045));
    p.drawLine(QPointF(bar.center().x() - w * 0.16, bar.top() + w * 0.05), QPointF(bar.center().x() - w * 0.16, bar.bottom() - w * 0.05));
    p.drawLine(QPointF(bar.center().x() + w * 0.16, bar.top() + w * 0.05), QPointF(bar.center().x() + w * 0.16, bar.bottom() - w * 0.05));
    // Camera views above and the line they level to.
    p.drawLine(QPointF(r.left() + w * 0.1, r.top() + w * 0.14), QPointF(r.right() - w * 0.1, r.top() + w * 0.14));
    p.drawLine(QPointF(r.left() + w * 0.1, r.bottom() - w * 0.14), QPointF(r.right() - w * 0.1, r.bottom() - w * 0.14));
}

void crosshairIcon(QPainter& p, const QRectF& r, const QColor& ink, bool withKeys)
{
    const qreal w = r.width();
    const QPointF c = r.center();
    const qreal ring = withKeys ? w * 0.3 : w * 0.36;
    p.setPen(QPen(ink, w * 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, ring, ring);
    p.setPen(QPen(ink, w * 0.05, Qt::SolidLine, Qt::RoundCap));
    const qreal arm = ring + w * 0.1;
    p.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() - w * 0.1, c.y()));
    p.drawLine(QPointF(c.x() + w * 0.1, c.y()), QPointF(c.x() + arm, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() - w * 0.1));
    p.drawLine(QPointF(c.x(), c.y() + w * 0.1), QPointF(c.x(), c.y() + arm));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(c, w * 0.04, w * 0.04);
    if (withKeys) {
        const qreal k = w * 0.1;
        for (const QPointF& corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
            const QPointF at = c + (corner - c) * 0.82;
            p.drawRoundedRect(QRectF(at.x() - k / 2, at.y() - k / 2, k, k), k * 0.2, k * 0.2);
        }
    }
}

// A main-window button: a tile with the icon in its upper part; the caption
// band below ⌊h / 1.45⌋ is left to the widget.
QImage tile(QSize size, std::string_view base, Look look)
{
    QImage img = canvas(size);
    QPainter p;
    beginPainter(p, img);
    const QRectF r(0, 0, size.width(), size.height());
    drawPlate(p, r.adjusted(1, 1, -1, -1), size.width() * 0.14, look);
    const QColor ink = plateFor(look, r).ink;
    const qreal captionTop = static_cast<int>(size.height() / 1.45);
    const qreal side = qMin<qreal>(captionTop - size.height() * 0.12, size.width() * 0.62);
    const QRectF icon(r.center().x() - side / 2, size.height() * 0.09, side, side);
    if (base == "about")
        infoIcon(p, icon, ink);
    else if (base == "update")
        updateIcon(p, icon, ink);
    else if (base == "keyCalibration")
        keysIcon(p, icon, ink);
    else if (base == "MP_adjustScreen")
        levelIcon(p, icon, ink);
    else if (base == "User1_calibration")
        crosshairIcon(p, icon, ink, false);
    else if (base == "User2_calibration")
        crosshairIcon(p, icon, ink, true);
    else
        gearIcon(p, icon, ink); // MP1_set, User_set
    return img;
}

// A captured calibration point: green disc with a white tick.
QImage marker(int size)
{
    QImage img = canvas({size, size});
    QPainter p;
    beginPainter(p, img);
    const QRectF r(1, 1, size - 2, size - 2);
    p.setPen(QPen(Qt::white, qMax(1.5, size * 0.06)));
    p.setBrush(kGreen);
    p.drawEllipse(r.adjusted(1, 1, -1, -1));
    p.setPen(QPen(Qt::white, qMax(2.0, size * 0.11), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPolygonF tick;
    tick << QPointF(size * 0.28, size * 0.52) << QPointF(size * 0.44, size * 0.68) << QPointF(size * 0.73, size * 0.35);
    p.drawPolyline(tick);
    return img;
}

// The current target. frame 1-5: idle animation, a ring that closes in on
// the centre. hold 1-4: the green arc of the hold progress (a quarter per
// step). The crosshair has a white halo so it reads on dark screens too.
QImage target(int size, int frame, int hold)
{
    QImage img = canvas({size, size});
    QPainter p;
    beginPainter(p, img);
    const QPointF c(size / 2.0, size / 2.0);
    const qreal arm = size * 0.46;
    const qreal line = qMax(1.5, size * 0.025);
    for (const auto& [colour, width] : {std::pair{QColor(255, 255, 255, 200), line * 3}, std::pair{kNavy, line}}) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(c, size * 0.04, size * 0.04);
    if (hold > 0) {
        const QRectF ring(c.x() - size * 0.3, c.y() - size * 0.3, size * 0.6, size * 0.6);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kAccent, size * 0.07));
        p.drawEllipse(ring);
        p.setPen(QPen(kGreen, size * 0.07, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(ring, 90 * 16, -hold * 90 * 16);
    } else {
        const qreal radius = size * (0.44 - 0.06 * (frame - 1));
        QColor ring = kNavy;
        ring.setAlphaF(0.35 + 0.15 * (frame - 1));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 160), line * 3));
        p.drawEllipse(c, radius, radius);
        p.setPen(QPen(ring, line * 1.4));
        p.drawEllipse(c, radius, radius);
    }
    return img;
}

Look lookFromSuffix(const QString& suffix)
{
    if (suffix == QLatin1String("1") || suffix == QLatin1String("Focus"))
        return Look::Focus;
    if (suffix == QLatin1String("2") || suffix == QLatin1String("Press"))
        return Look::Press;
    if (suffix == QLatin1String("3") || suffix == QLatin1String("Enabled"))
        return Look::Disabled;
    return Look::Normal;
}

// Draws one catalogue entry; a null image for a name this program does not know.
QImage draw(const QString& relPath, const Metrics& m)
{
    const QString folder = relPath.contains('/') ? relPath.section('/', 0, 0) : QString();
    QString name = relPath.section('/', -1);
    name.chop(4); // ".png"

    if (name == QLatin1String("Tovrin"))
        return appIcon(64);
    if (name == QLatin1String("back_pixmap"))
        return windowBackground(m.window, bandHeight(m));
    if (name == QLatin1String("set"))
        return windowBackground(m.setWindow, bandHeight(m));
    if (name == QLatin1String("messageBox"))
        return boxBackground(m.box);
    if (name == QLatin1String("1")) {
        const int band = bandHeight(m);
        return appIcon(band - band / 5);
    }
    if (name == QLatin1String("d")) {
        // Device indicator: a green lamp.
        const int s = m.titleButton.height() * 2 / 3;
        QImage img = canvas({s, s});
        QPainter p;
        beginPainter(p, img);
        QRadialGradient g(QPointF(s * 0.4, s * 0.35), s * 0.6);
        g.setColorAt(0, QColor(170, 255, 180));
        g.setColorAt(1, kGreen.darker(130));
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(g);
        p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
        return img;
    }
    if (name == QLatin1String("min1") || name == QLatin1String("min2") || name == QLatin1String("quit1") || name == QLatin1String("quit2")) {
        QSize size = m.titleButton;
        int plate = 0;
        if (folder == QLatin1String("messageBox")) {
            // The box places its quit button at y = H / 41.83, W / 8.52 by
            // H / 9.65, which reaches below the drag band (H / 8.85); the
            // visible plate stops a little above the band's lower edge.
            const int h = m.box.height();
            size = QSize(static_cast<int>(m.box.width() / 8.52), static_cast<int>(h / 9.65));
            plate = static_cast<int>(h / 8.85) - static_cast<int>(h / 41.83) - qMax(2, h / 90);
        }
        return titleButton(size, name.startsWith(QLatin1String("quit")), name.endsWith('2'), plate);
    }
    if (name.startsWith(QLatin1String("button_"))) {
        QString state = name.mid(7);
        const bool wide = state.endsWith('2');
        if (wide)
            state.chop(1);
        return pushButton(wide ? m.wide : m.push, lookFromSuffix(state));
    }
    if (name.startsWith(QLatin1String("add_")) || name.startsWith(QLatin1String("minus_"))) {
        const bool add = name.startsWith(QLatin1String("add_"));
        return stepButton(m.step, add, lookFromSuffix(name.section('_', 1)));
    }
    if (name == QLatin1String("calibration"))
        return marker(m.marker);
    if (name.startsWith(QLatin1String("calibration1-")))
        return target(m.target, name.mid(13).toInt(), 0);
    if (name.startsWith(QLatin1String("calibration2-")))
        return target(m.target, 1, name.mid(13).toInt());
    for (const std::string_view base : kTileBases) {
        const QString b = QString::fromLatin1(base.data(), static_cast<qsizetype>(base.size()));
        if (name.startsWith(b)) {
            const QString suffix = name.mid(b.size());
            if (suffix.isEmpty() || suffix == QLatin1String("1") || suffix == QLatin1String("2") || suffix == QLatin1String("3"))
                return tile(m.tile, base, lookFromSuffix(suffix));
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tovrin-skingen <skin root>\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    QString manifest;
    QTextStream out(&manifest);
    out << "# skin pictures: <screen class>/<file> <width>x<height>\n";
    for (const int screen : kSkinClasses) {
        const Metrics m = metricsFor(screen);
        for (const std::string_view entry : kSkinPictures) {
            const QString rel = QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size()));
            const QImage img = draw(rel, m);
            if (img.isNull()) {
                std::fprintf(stderr, "tovrin-skingen: no drawing for %s\n", qPrintable(rel));
                return 1;
            }
            const QString path = root.filePath(QStringLiteral("%1/%2").arg(screen).arg(rel));
            if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !img.save(path, "PNG")) {
                std::fprintf(stderr, "tovrin-skingen: cannot write %s\n", qPrintable(path));
                return 1;
            }
            out << screen << '/' << rel << ' ' << img.width() << 'x' << img.height() << '\n';
        }
    }
    out.flush();
    QFile file(root.filePath(QStringLiteral("skin-manifest.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(manifest.toUtf8()) < 0) {
        std::fprintf(stderr, "tovrin-skingen: cannot write the manifest\n");
        return 1;
    }
    return 0;
}
