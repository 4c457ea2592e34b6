// tovrin-icongen: draws the menu icons of the three tools, each as an SVG and
// as 48 and 256 pixel PNG pictures, into an icon theme tree:
//
//   tovrin-icongen <root>
//     <root>/scalable/apps/<id>.svg
//     <root>/48x48/apps/<id>.png
//     <root>/256x256/apps/<id>.png
//
// Each icon is a list of shapes on a 64 x 64 grid; the SVG text and the
// pictures are both made from that list, so they cannot differ. All three
// show the frame from the front (the screen, and the two camera units in its
// upper corners looking along it); the engineering tool adds the cameras'
// sight lines, the end-user tool a calibration target, the production test a
// check mark. Exit status 0 when every file was written.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

struct Shape {
    enum Kind { Rect, Circle, Line, Polyline } kind;
    std::vector<double> v;  // Rect: x y w h radius; Circle: cx cy r; Line / Polyline: x y pairs
    QColor fill;            // invalid: none
    QColor stroke;          // invalid: none
    double width = 0;       // stroke width
};

struct Icon {
    const char* id;
    std::vector<Shape> shapes;
};

const QColor kNavy(0, 38, 102);
const QColor kBlue(0, 90, 170);
const QColor kScreen(177, 233, 251);
const QColor kCamera(255, 176, 32);
const QColor kRed(205, 45, 45);
const QColor kGreen(0, 170, 40);
const QColor kWhite(255, 255, 255);
const QColor kNone;

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// The frame seen from the front: a rounded tile, the bezel, the screen and
// the two camera units.
std::vector<Shape> frame()
{
    return {
        {Shape::Rect, {2, 2, 60, 60, 12}, kNavy, kNone, 0},
        {Shape::Rect, {8, 12, 48, 38, 3}, kBlue, kWhite, 2},
        {Shape::Rect, {12, 16, 40, 30, 1}, kScreen, kNone, 0},
        {Shape::Rect, {6, 9, 8, 7, 2}, kCamera, kNavy, 1},
        {Shape::Rect, {50, 9, 8, 7, 2}, kCamera, kNavy, 1},
    };
}

std::vector<Icon> icons()
{
    std::vector<Icon> all;

    Icon engineering{"org.tovrin.Tovrin", frame()};
    for (double x : {22.0, 34.0, 46.0})
        engineering.shapes.push_back({Shape::Line, {12, 16, x, 46}, kNone, withAlpha(kNavy, 170), 1.6});
    for (double x : {18.0, 30.0, 42.0})
        engineering.shapes.push_back({Shape::Line, {52, 16, x, 46}, kNone, withAlpha(kRed, 170), 1.6});
    engineering.shapes.push_back({Shape::Rect, {17, 50, 30, 6, 2}, kWhite, kNone, 0});
    all.push_back(engineering);

    Icon user{"org.tovrin.Tovrin.User", frame()};
    user.shapes.push_back({Shape::Circle, {32, 31, 8}, kNone, kRed, 2.5});
    user.shapes.push_back({Shape::Line, {32, 19, 32, 43}, kNone, kRed, 2});
    user.shapes.push_back({Shape::Line, {20, 31, 44, 31}, kNone, kRed, 2});
    user.shapes.push_back({Shape::Circle, {32, 31, 2.5}, kNavy, kNone, 0});
    all.push_back(user);

    Icon test{"org.tovrin.Tovrin.Test", frame()};
    test.shapes.push_back({Shape::Polyline, {20, 31, 28, 39, 44, 22}, kNone, kGreen, 5});
    for (int i = 0; i < 4; ++i)
        test.shapes.push_back({Shape::Rect, {18.0 + i * 8, 51, 5, 5, 1}, i < 3 ? kGreen : kWhite, kNone, 0});
    all.push_back(test);
    return all;
}

QString svgColour(const QColor& c)
{
    return c.isValid() ? c.name(QColor::HexRgb) : QStringLiteral("none");
}

QString svgPaint(const Shape& s)
{
    QString a = QStringLiteral(" fill=\"%1\"").arg(svgColour(s.fill));
    if (s.fill.isValid() && s.fill.alpha() != 255)
        a += QStringLiteral(" fill-opacity=\"%1\"").arg(s.fill.alphaF(), 0, 'f', 3);
    if (s.stroke.isValid()) {
        a += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\" stroke-linejoin=\"round\"")
                 .arg(svgColour(s.stroke))
                 .arg(s.width);
        if (s.stroke.alpha() != 255)
            a += QStringLiteral(" stroke-opacity=\"%1\"").arg(s.stroke.alphaF(), 0, 'f', 3);
    }
    return a;
}

QString toSvg(const Icon& icon)
{
    QString out;
    QTextStream s(&out);
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n";
    for (const Shape& sh : icon.shapes) {
        const auto& v = sh.v;
        switch (sh.kind) {
        case Shape::Rect:
            s << QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"")
                     .arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]).arg(v[4]);
            break;
        case Shape::Circle:
            s << QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\"").arg(v[0]).arg(v[1]).arg(v[2]);
            break;
        case Shape::Line:
            s << QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
            break;
        case Shape::Polyline: {
            QStringList points;
            for (size_t i = 0; i + 1 < v.size(); i += 2)
                points << QStringLiteral("%1,%2").arg(v[i]).arg(v[i + 1]);
            s << "  <polyline points=\"" << points.join(' ') << '"';
            break;
        }
        }
        s << svgPaint(sh) << "/>\n";
    }
    s << "</svg>\n";
    return out;
}

QImage toPicture(const Icon& icon, int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    for (const Shape& sh : icon.shapes) {
        const auto& v = sh.v;
        QPen pen(Qt::NoPen);
        if (sh.stroke.isValid()) {
            pen = QPen(sh.stroke, sh.width);
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
        }
        p.setPen(pen);
        p.setBrush(sh.fill.isValid() ? QBrush(sh.fill) : QBrush(Qt::NoBrush));
        switch (sh.kind) {
        case Shape::Rect:
            p.drawRoundedRect(QRectF(v[0], v[1], v[2], v[3]), v[4], v[4]);
            break;
        case Shape::Circle:
            p.drawEllipse(QPointF(v[0], v[1]), v[2], v[2]);
            break;
        case Shape::Line:
            p.drawLine(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
            break;
        case Shape::Polyline: {
            QPolygonF points;
            for (size_t i = 0; i + 1 < v.size(); i += 2)
                points << QPointF(v[i], v[i + 1]);
            p.drawPolyline(points);
            break;
        }
        }
    }
    p.end();
    return img;
}

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tovrin-icongen <icon root>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (const Icon& icon : icons()) {
        const QString id = QString::fromLatin1(icon.id);
        ok = QDir().mkpath(root + QStringLiteral("/scalable/apps")) && ok;
        ok = writeText(root + QStringLiteral("/scalable/apps/") + id + QStringLiteral(".svg"), toSvg(icon)) && ok;
        for (int size : {48, 256}) {
            const QString folder = root + QStringLiteral("/%1x%1/apps").arg(size);
            ok = QDir().mkpath(folder) && ok;
            ok = toPicture(icon, size).save(folder + QLatin1Char('/') + id + QStringLiteral(".png"), "PNG") && ok;
        }
    }
    if (!ok)
        std::fprintf(stderr, "tovrin-icongen: could not write every icon into %s\n", argv[1]);
    return ok ? 0 : 1;
}
