// The generated skin: every picture the windows load exists for each screen
// class and is not blank; the pictures fit the widgets that show them; the
// skin fonts resolve.

#include "WidgetTestSupport.h"

#include "SkinCatalog.h"
#include "widgets/Fonts.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QtTest>

using namespace tovrin::widgets::test;

class SkinTest : public QObject {
    Q_OBJECT
private slots:
    void pictureExistsAndIsNotBlank_data();
    void pictureExistsAndIsNotBlank();
    void looksDiffer_data();
    void looksDiffer();
    void messageBoxLayoutFits_data();
    void messageBoxLayoutFits();
    void captionBandFitsTiles_data();
    void captionBandFitsTiles();
    void fontsResolve();
};

void SkinTest::pictureExistsAndIsNotBlank_data()
{
    QTest::addColumn<QString>("path");
    for (const int screen : tovrin::skingen::kSkinClasses) {
        for (const std::string_view name : tovrin::skingen::kSkinPictures) {
            const QString rel = QString::fromLatin1(name.data(), qsizetype(name.size()));
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(screen).arg(rel))) << skinFolder(screen) + rel;
        }
    }
}

void SkinTest::pictureExistsAndIsNotBlank()
{
    QFETCH(QString, path);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY2(!isBlank(image), qPrintable(path));
}

// Normal, focus, pressed and disabled pictures of one button must be told apart.
void SkinTest::looksDiffer_data()
{
    QTest::addColumn<QStringList>("files");
    for (const int screen : tovrin::skingen::kSkinClasses) {
        const QString dir = skinFolder(screen);
        for (const std::string_view base : tovrin::skingen::kTileBases) {
            const QString b = dir + QString::fromLatin1(base.data(), qsizetype(base.size()));
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(screen).arg(b.section('/', -1))))
                << QStringList{b + ".png", b + "1.png", b + "2.png", b + "3.png"};
        }
        for (const char* base : {"button_", "add_", "minus_", "messageBox/button_"}) {
            const QString b = dir + QLatin1String(base);
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(screen).arg(QLatin1String(base))))
                << QStringList{b + "Normal.png", b + "Focus.png", b + "Press.png", b + "Enabled.png"};
        }
    }
}

void SkinTest::looksDiffer()
{
    QFETCH(QStringList, files);
    QList<QImage> images;
    for (const QString& f : files)
        images << QImage(f).convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < images.size(); ++i) {
        QVERIFY2(!images[i].isNull(), qPrintable(files[i]));
        QCOMPARE(images[i].size(), images[0].size());
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j], qPrintable(files[i] + " = " + files[j]));
    }
}

void SkinTest::messageBoxLayoutFits_data()
{
    QTest::addColumn<int>("screen");
    for (const int screen : tovrin::skingen::kSkinClasses)
        QTest::newRow(qPrintable(QString::number(screen))) << screen;
}

// The box places its answer buttons by fixed fractions of the background;
// the pictures must be sized so that the three buttons fit side by side
// below the message and the quit button fits in the drag band.
void SkinTest::messageBoxLayoutFits()
{
    QFETCH(int, screen);
    const QSize box = QImage(skinFolder(screen) + "messageBox/messageBox.png").size();
    const QSize button = QImage(skinFolder(screen) + "messageBox/button_Normal.png").size();
    const QSize quit = QImage(skinFolder(screen) + "messageBox/quit1.png").size();
    const int W = box.width();
    const int H = box.height();
    const QRect choose(int(W / 13.5), int(H / 1.23), button.width(), button.height());
    const QRect ok(int(W / 2.6), choose.y(), button.width(), button.height());
    const QRect cancel(button.width() + int(W / 2.52), choose.y(), button.width(), button.height());
    QVERIFY(choose.right() < ok.left());
    QVERIFY(ok.right() < cancel.left());
    QVERIFY(cancel.right() < W);
    QVERIFY(cancel.bottom() < H);
    QVERIFY(choose.top() > int(H / 7.61) + int(H / 1.578)); // below the message
    QCOMPARE(quit, QSize(int(W / 8.52), int(H / 9.65)));
    // The quit button's label reaches below the drag band; what it shows must not.
    const QImage quitImage = QImage(skinFolder(screen) + "messageBox/quit1.png").convertToFormat(QImage::Format_ARGB32);
    int lastVisibleRow = -1;
    for (int y = 0; y < quitImage.height(); ++y) {
        for (int x = 0; x < quitImage.width(); ++x) {
            if (qAlpha(quitImage.pixel(x, y)) > 0)
                lastVisibleRow = y;
        }
    }
    QVERIFY(lastVisibleRow >= 0);
    QVERIFY2(int(H / 41.83) + lastVisibleRow < int(H / 8.85), qPrintable(QString::number(lastVisibleRow)));
    // A window of reasonable size for the screen class.
    const QSize window = QImage(skinFolder(screen) + "back_pixmap.png").size();
    QVERIFY(window.width() <= screen * 3 / 5);
    QVERIFY(window.width() >= screen / 2);
}

void SkinTest::captionBandFitsTiles_data()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<int>("buttonPointSize");
    QTest::newRow("1024") << 1024 << 11;
    QTest::newRow("1440") << 1440 << 14;
    QTest::newRow("1920") << 1920 << 18;
}

// The caption of a main-window button is drawn centred in a band from
// ⌊h / 1.45⌋, point size + 16 high; its middle must lie inside the tile.
void SkinTest::captionBandFitsTiles()
{
    QFETCH(int, screen);
    QFETCH(int, buttonPointSize);
    const QSize tile = QImage(skinFolder(screen) + "User_set.png").size();
    const int top = int(tile.height() / 1.45);
    const int middle = top + (buttonPointSize + 16) / 2;
    const QFont font = tovrin::widgets::toQFont({"Calibri", buttonPointSize});
    const int textHeight = QFontMetrics(font).ascent();
    QVERIFY2(middle + textHeight / 2 <= tile.height(), qPrintable(QString::number(middle)));
    QVERIFY(QFontMetrics(font).horizontalAdvance(QStringLiteral("Calibrate")) < tile.width());
}

void SkinTest::fontsResolve()
{
    const QFont calibri = tovrin::widgets::toQFont({"Calibri", 18});
    QCOMPARE(calibri.weight(), QFont::Normal);
    QVERIFY(!calibri.italic());
    const QString family = QFontInfo(calibri).family();
    if (family != QLatin1String("Carlito") && family != QLatin1String("Calibri"))
        qWarning("%s", qPrintable(QStringLiteral("\"Calibri\" resolves to \"%1\"; install fonts-crosextra-carlito").arg(family)));
    const QString title = QFontInfo(tovrin::widgets::toQFont({"Arial black", 17})).family();
    QVERIFY2(!title.isEmpty(), "no font for the title");
    // Chinese message texts need a CJK font.
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).size())
        qWarning("no font with Simplified Chinese glyphs");
}

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
