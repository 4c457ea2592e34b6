// Button: release rule, own enabled flag, looks and caption placement.

#include "widgets/Button.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using tovrin::widgets::Button;

namespace {

QPixmap solid(QColor colour, QSize size = {100, 40})
{
    QPixmap p(size);
    p.fill(colour);
    return p;
}

const QColor kNormal(10, 200, 10);
const QColor kFocus(10, 10, 200);
const QColor kPress(200, 10, 10);
const QColor kDisabled(120, 120, 120);

QColor shown(const Button& b)
{
    const QPixmap p = b.pixmap();
    return p.isNull() ? QColor() : p.toImage().pixelColor(0, 0);
}

// A button with all four pictures, as the windows build them.
void dress(Button& b)
{
    b.setNormalPixmap(solid(kNormal));
    b.setFocusPixmap(solid(kFocus));
    b.setPressPixmap(solid(kPress));
    b.setDisabledPixmap(solid(kDisabled));
    b.resize(100, 40);
}

// Rows of the rendered button that hold caption ink (dark pixels).
QList<int> inkRows(Button& b)
{
    QImage img(b.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    b.render(&img);
    QList<int> rows;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qGray(img.pixel(x, y)) < 100) {
                rows << y;
                break;
            }
        }
    }
    return rows;
}

} // namespace

class ButtonTest : public QObject {
    Q_OBJECT
private slots:
    void releasePosition_data();
    void releasePosition();
    void disabledNeverClicks();
    void withoutPressPixmapKeepsPictureAndClicks();
    void receiverDisablingKeepsDisabledLook();
    void look_data();
    void look();
    void missingPictureShowsNothing();
    void captionPlacement_data();
    void captionPlacement();
};

void ButtonTest::releasePosition_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("clicks");
    QTest::newRow("inside") << QPoint(50, 20) << true;
    QTest::newRow("first counted pixel") << QPoint(1, 1) << true;
    QTest::newRow("left edge") << QPoint(0, 20) << false;
    QTest::newRow("top edge") << QPoint(50, 0) << false;
    QTest::newRow("beyond the right and bottom edges") << QPoint(130, 60) << true;
}

void ButtonTest::releasePosition()
{
    QFETCH(QPoint, at);
    QFETCH(bool, clicks);
    Button b;
    dress(b);
    QSignalSpy spy(&b, &Button::clicked);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, at);
    QCOMPARE(spy.count(), clicks ? 1 : 0);
    QVERIFY(!b.isPressed());
    QCOMPARE(shown(b), kNormal);
}

void ButtonTest::disabledNeverClicks()
{
    Button b;
    dress(b);
    b.setButtonEnabled(false);
    QCOMPARE(shown(b), kDisabled);
    QSignalSpy spy(&b, &Button::clicked);

    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(shown(b), kDisabled);
    QVERIFY(!b.isPressed());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(shown(b), kDisabled);
    QCOMPARE(spy.count(), 0);

    b.setButtonEnabled(true);
    QCOMPARE(shown(b), kNormal);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(spy.count(), 1);
}

void ButtonTest::withoutPressPixmapKeepsPictureAndClicks()
{
    Button b;
    b.setNormalPixmap(solid(kNormal));
    b.setFocusPixmap(solid(kFocus));
    b.resize(100, 40);
    b.setFocusLook(true);
    QCOMPARE(shown(b), kFocus);
    QSignalSpy spy(&b, &Button::clicked);

    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QVERIFY(b.isPressed());
    QCOMPARE(shown(b), kFocus);
    QCOMPARE(b.currentLook(), Button::Look::Focus);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(shown(b), kNormal);
}

void ButtonTest::receiverDisablingKeepsDisabledLook()
{
    Button b;
    dress(b);
    connect(&b, &Button::clicked, &b, [&b] { b.setButtonEnabled(false); });
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(b.currentLook(), Button::Look::Disabled);
    QCOMPARE(shown(b), kDisabled);
}

// The look a button shows: a press wins over focus, the disabled look over both.
void ButtonTest::look_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("focus");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("focus") << true << false << true << kFocus;
    QTest::newRow("disabled, focus") << false << false << true << kDisabled;
    QTest::newRow("pressed") << true << true << false << kPress;
    QTest::newRow("pressed, focus") << true << true << true << kPress;
    QTest::newRow("pressed, disabled") << false << true << false << kDisabled;
}

void ButtonTest::look()
{
    QFETCH(bool, enabled);
    QFETCH(bool, pressed);
    QFETCH(bool, focus);
    QFETCH(QColor, expected);
    Button b;
    dress(b);
    if (pressed) {
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(50, 20));
        QCOMPARE(shown(b), kPress);
    }
    b.setButtonEnabled(enabled);
    if (focus)
        b.setFocusLook(true);
    QCOMPARE(shown(b), expected);
}

void ButtonTest::missingPictureShowsNothing()
{
    Button b;
    b.setNormalPixmap(QPixmap(QStringLiteral("/nonexistent/skin/button_Normal.png")));
    b.setPressPixmap(QPixmap(QStringLiteral("/nonexistent/skin/button_Press.png")));
    b.resize(100, 40);
    QSignalSpy spy(&b, &Button::clicked);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(spy.count(), 1);
    QVERIFY(b.pixmap().isNull());
    QCOMPARE(b.currentLook(), Button::Look::None);
}

void ButtonTest::captionPlacement_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("firstInkRowMin"); // -1: no ink at all
    QTest::addColumn<int>("lastInkRowMax");
    // 100 pixels tall, 12 pt font: the band runs from 68 to 68 + 28.
    QTest::newRow("band") << 0 << 68 << 96;
    QTest::newRow("centred") << 1 << 30 << 70;
    QTest::newRow("none") << 2 << -1 << -1;
}

void ButtonTest::captionPlacement()
{
    QFETCH(int, mode);
    QFETCH(int, firstInkRowMin);
    QFETCH(int, lastInkRowMax);
    Button b;
    b.setNormalPixmap(solid(Qt::white, {120, 100}));
    b.resize(120, 100);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(12);
    b.setCaptionFont(font);
    b.setCaption(QStringLiteral("Set"));
    b.setCaptionMode(mode);
    const QList<int> rows = inkRows(b);
    if (firstInkRowMin < 0) {
        QVERIFY2(rows.isEmpty(), "a caption was drawn in mode 'none'");
        return;
    }
    QVERIFY(!rows.isEmpty());
    QVERIFY2(rows.first() >= firstInkRowMin, qPrintable(QString::number(rows.first())));
    QVERIFY2(rows.last() <= lastInkRowMax, qPrintable(QString::number(rows.last())));
    if (mode == 1) {
        const int middle = (rows.first() + rows.last()) / 2;
        QVERIFY(qAbs(middle - 50) <= 4);
    }
}

QTEST_MAIN(ButtonTest)
#include "ButtonTest.moc"
