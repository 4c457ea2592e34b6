// MySlider: a left release jumps to the clicked position.

#include "widgets/MySlider.h"

#include <QtTest>

using tovrin::widgets::MySlider;

class MySliderTest : public QObject {
    Q_OBJECT
private slots:
    void clickPosition_data();
    void clickPosition();
    void onlyEnabledLeftRelease_data();
    void onlyEnabledLeftRelease();
    void vertical();
};

void MySliderTest::clickPosition_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("expected");
    QTest::newRow("quarter") << 0 << 100 << 200 << 50 << 25;
    QTest::newRow("last pixel truncates") << 0 << 100 << 200 << 199 << 99;
    QTest::newRow("offset range truncates") << 10 << 20 << 100 << 55 << 15;
    QTest::newRow("negative range truncates toward zero") << -100 << 0 << 300 << 100 << -66;
    QTest::newRow("beyond the right end is clamped") << 0 << 100 << 200 << 260 << 100;
}

void MySliderTest::clickPosition()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, width);
    QFETCH(int, x);
    QFETCH(int, expected);
    MySlider s(Qt::Horizontal);
    s.setRange(minimum, maximum);
    s.setValue(maximum);
    s.resize(width, 20);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(x, 10));
    QCOMPARE(s.value(), expected);
    // A click on the groove starts QSlider's page-step repeat; the release
    // must end it and leave the slider up.
    QVERIFY(!s.isSliderDown());
}

void MySliderTest::onlyEnabledLeftRelease_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("right button") << Qt::RightButton << true;
    QTest::newRow("disabled") << Qt::LeftButton << false;
}

void MySliderTest::onlyEnabledLeftRelease()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, enabled);
    MySlider s(Qt::Horizontal);
    s.setRange(0, 100);
    s.setValue(80);
    s.resize(200, 20);
    s.setEnabled(enabled);
    QTest::mouseRelease(&s, button, {}, QPoint(20, 10));
    QCOMPARE(s.value(), 80);
}

void MySliderTest::vertical()
{
    MySlider s(Qt::Vertical);
    s.setRange(0, 100);
    s.resize(20, 200);
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(10, 50));
    QCOMPARE(s.value(), 75);
}

QTEST_MAIN(MySliderTest)
#include "MySliderTest.moc"
