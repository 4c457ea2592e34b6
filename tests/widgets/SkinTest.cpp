// The generated skin: every picture the windows load exists for each screen
// class and is not blank; the tiles fit their captions; the skin fonts
// resolve. (The message box pictures are checked against the box itself in
// MyMessageBoxTest.)

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

void SkinTest::captionBandFitsTiles_data()
{
    QTest::addColumn<int>("screen");
    for (const int screen : tovrin::skingen::kSkinClasses)
        QTest::newRow(qPrintable(QString::number(screen))) << screen;
}

// The caption of a main-window button is drawn centred in a band from
// ⌊h / 1.45⌋, point size + 16 high; its middle must lie inside the tile.
// The window itself must suit the screen class.
void SkinTest::captionBandFitsTiles()
{
    QFETCH(int, screen);
    const int buttonPointSize = tovrin::test::skinOfClass(screen).buttonFont.pointSize;
    const QSize tile = QImage(skinFolder(screen) + "User_set.png").size();
    const int top = int(tile.height() / 1.45);
    const int middle = top + (buttonPointSize + 16) / 2;
    const QFont font = tovrin::widgets::toQFont({"Calibri", buttonPointSize});
    const int textHeight = QFontMetrics(font).ascent();
    QVERIFY2(middle + textHeight / 2 <= tile.height(), qPrintable(QString::number(middle)));
    QVERIFY(QFontMetrics(font).horizontalAdvance(QStringLiteral("Calibrate")) < tile.width());
    const QSize window = QImage(skinFolder(screen) + "back_pixmap.png").size();
    QVERIFY(window.width() <= screen * 3 / 5);
    QVERIFY(window.width() >= screen / 2);
}

void SkinTest::fontsResolve()
{
    for (const tovrin::shell::FontStyle& style : {tovrin::shell::FontStyle{"Calibri", 18}, tovrin::shell::FontStyle{"Arial black", 17}}) {
        const QFont font = tovrin::widgets::toQFont(style);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic());
    }
    const QString family = QFontInfo(tovrin::widgets::toQFont({"Calibri", 18})).family();
    if (family != QLatin1String("Carlito") && family != QLatin1String("Calibri"))
        qWarning("%s", qPrintable(QStringLiteral("\"Calibri\" resolves to \"%1\"; install fonts-crosextra-carlito").arg(family)));
    // Chinese message texts need a CJK font.
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).size())
        qWarning("no font with Simplified Chinese glyphs");
}

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
