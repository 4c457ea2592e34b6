// MyMessageBox: answers by key and click, focus wrap (with pictures of the
// box on each skin before and after a Tab), window-manager close, dragging,
// labels, a skin without pictures. Each box runs its own modal loop; the
// checks run inside it (whenBoxShown) and the box is closed there.

#include "WidgetTestSupport.h"

#include "widgets/Button.h"
#include "widgets/MyMessageBox.h"

#include <QLabel>
#include <QWindow>
#include <QtTest>

using tovrin::widgets::Button;
using tovrin::widgets::MyMessageBox;
using namespace tovrin::widgets::test;

namespace {

// An answer no box gives, so that a box that writes nothing is noticed.
constexpr int kUntouched = 7;

void resetAnswer(int value = kUntouched)
{
    MyMessageBox::setAnswer(value);
    MyMessageBox::setAnswered(false);
}

} // namespace

class MyMessageBoxTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void answers_data();
    void answers();
    void tabMovesFocusLookAndWraps_data();
    void tabMovesFocusLookAndWraps();
    void windowManagerCloseLeavesAnswer();
    void dragOnlyInTopBand_data();
    void dragOnlyInTopBand();
    void layoutFitsTheSkin_data();
    void layoutFitsTheSkin();
    void labels_data();
    void labels();
    void leftAlignedMessageStaysInside();
    void richTextShownAsText();
    void missingSkinStillAnswerable();
};

void MyMessageBoxTest::init()
{
    useSkin(1920);
    MyMessageBox::setAutoAnswer(std::nullopt);
    MyMessageBox::clearShownBoxes();
}

void MyMessageBoxTest::cleanup()
{
    MyMessageBox::setAutoAnswer(std::nullopt);
}

// Every way to answer: "Return", "Enter" or "Escape" pressed after `tabs`
// Tabs, "click N" on answer button N, "quit" on the quit button.
void MyMessageBoxTest::answers_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("tabs");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::newRow("one: Return") << 1 << 0 << "Return" << 0;
    QTest::newRow("one: Escape") << 1 << 0 << "Escape" << 0;
    QTest::newRow("one: click on the button") << 1 << 0 << "click 1" << 0;
    QTest::newRow("one: click on quit") << 1 << 0 << "quit" << 0;
    QTest::newRow("two: Return on OK") << 2 << 0 << "Return" << 1;
    QTest::newRow("two: keypad Enter on OK") << 2 << 0 << "Enter" << 1;
    QTest::newRow("two: Return on cancel") << 2 << 1 << "Return" << 0;
    QTest::newRow("three: Return on choose") << 3 << 0 << "Return" << 2;
    QTest::newRow("three: Return on OK") << 3 << 1 << "Return" << 1;
    QTest::newRow("three: Return on cancel") << 3 << 2 << "Return" << 0;
    QTest::newRow("three: Return, wrapped back to choose") << 3 << 3 << "Return" << 2;
    QTest::newRow("two: click OK") << 2 << 0 << "click 1" << 1;
    QTest::newRow("two: click cancel") << 2 << 0 << "click 2" << 0;
    QTest::newRow("three: click choose") << 3 << 0 << "click 1" << 2;
    QTest::newRow("three: click OK") << 3 << 0 << "click 2" << 1;
    QTest::newRow("three: click cancel") << 3 << 0 << "click 3" << 0;
}

void MyMessageBoxTest::answers()
{
    QFETCH(int, buttons);
    QFETCH(int, tabs);
    QFETCH(QString, how);
    QFETCH(int, expected);
    resetAnswer();
    bool ran = false;
    whenBoxShown([&](MyMessageBox* box) {
        ran = true;
        for (int i = 0; i < tabs; ++i)
            QTest::keyClick(box, Qt::Key_Tab);
        if (how.startsWith("click"))
            QTest::mouseClick(box->answerButton(how.back().digitValue()), Qt::LeftButton, {}, QPoint(10, 10));
        else if (how == "quit")
            QTest::mouseClick(box->quitButton(), Qt::LeftButton, {}, QPoint(10, 10));
        else
            QTest::keyClick(box, how == "Return" ? Qt::Key_Return : how == "Enter" ? Qt::Key_Enter : Qt::Key_Escape);
    });
    MyMessageBox box(nullptr, "Tovrin", "Are you sure you exit?", 1, buttons);
    QVERIFY(ran);
    QVERIFY(!box.isVisible());
    QCOMPARE(MyMessageBox::answer(), expected);
    QVERIFY(MyMessageBox::answered());
}

// Rows named after the pictures of the box as it comes up and after one Tab.
void MyMessageBoxTest::tabMovesFocusLookAndWraps_data()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QList<int>>("focusAfterEachTab");
    QTest::addColumn<int>("centred");
    QTest::addColumn<QString>("message");
    for (const int screen : {1920, 1440, 1024}) {
        QTest::addRow("messagebox-%d-1", screen)
            << screen << 1 << QList<int>{1, 1} << 1 << QStringLiteral("Device not detected, please check the connection.");
        QTest::addRow("messagebox-%d-2", screen)
            << screen << 2 << QList<int>{2, 1, 2} << 1 << QStringLiteral("Are you sure you exit?");
        QTest::addRow("messagebox-%d-3", screen)
            << screen << 3 << QList<int>{2, 3, 1, 2} << 0
            << QStringLiteral("File: ./Tovrin_FW_V1.2.3.bin\nAre you sure you update? Choose another package with Re-election.");
    }
}

void MyMessageBoxTest::tabMovesFocusLookAndWraps()
{
    QFETCH(int, screen);
    QFETCH(int, buttons);
    QFETCH(QList<int>, focusAfterEachTab);
    QFETCH(int, centred);
    QFETCH(QString, message);
    useSkin(screen);
    resetAnswer();
    QList<int> seen;
    QStringList lookErrors;
    QImage shot;
    QImage tabbed;
    whenBoxShown([&](MyMessageBox* box) {
        shot = box->grab().toImage();
        if (box->focusIndex() != 1 || box->answerButton(1)->currentLook() != Button::Look::Focus)
            lookErrors << "initial focus is not on the first button";
        for (int i = 0; i < focusAfterEachTab.size(); ++i) {
            QTest::keyClick(box, Qt::Key_Tab);
            if (i == 0)
                tabbed = box->grab().toImage();
            seen << box->focusIndex();
            for (int b = 1; b <= box->buttonCount(); ++b) {
                const bool focused = box->answerButton(b)->currentLook() == Button::Look::Focus;
                if (focused != (b == box->focusIndex()))
                    lookErrors << QStringLiteral("after tab %1: button %2 focus look %3").arg(i + 1).arg(b).arg(focused);
            }
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    MyMessageBox box(nullptr, QStringLiteral("warning"), message, centred, buttons);
    QCOMPARE(seen, focusAfterEachTab);
    QVERIFY2(lookErrors.isEmpty(), qPrintable(lookErrors.join("; ")));
    QCOMPARE(MyMessageBox::answer(), 0);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(shot, name);
    saveShot(tabbed, name + "-tab");
    if (buttons > 1)
        QVERIFY2(shot != tabbed, "Tab did not change the picture");
}

void MyMessageBoxTest::windowManagerCloseLeavesAnswer()
{
    // The caller's value, whatever it is, survives a close by the window manager.
    resetAnswer(1);
    bool closed = false;
    whenBoxShown([&](MyMessageBox* box) {
        QVERIFY(box->windowHandle());
        box->windowHandle()->close();
        closed = !box->isVisible();
    });
    MyMessageBox box(nullptr, "Tovrin", "Closed from outside", 1, 2);
    QVERIFY(closed);
    QCOMPARE(MyMessageBox::answer(), 1);
    QVERIFY(!MyMessageBox::answered());
}

void MyMessageBoxTest::dragOnlyInTopBand_data()
{
    QTest::addColumn<int>("pressY"); // -1: bottom of the band, -2: just below it
    QTest::addColumn<bool>("moves");
    QTest::newRow("top edge") << 0 << true;
    QTest::newRow("bottom of the band") << -1 << true;
    QTest::newRow("just below the band") << -2 << false;
}

void MyMessageBoxTest::dragOnlyInTopBand()
{
    QFETCH(int, pressY);
    QFETCH(bool, moves);
    resetAnswer();
    QPoint before;
    QPoint afterMove;
    QPoint afterRelease;
    whenBoxShown([&](MyMessageBox* box) {
        const int band = static_cast<int>(box->backgroundHeight() / 8.85);
        const int y = pressY == -1 ? band : pressY == -2 ? band + 1 : pressY;
        before = box->pos();
        QTest::mousePress(box, Qt::LeftButton, {}, QPoint(100, y));
        QTest::mouseMove(box, QPoint(130, y + 20));
        afterMove = box->pos();
        QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(130, y + 20));
        QTest::mouseMove(box, QPoint(160, y + 40));
        afterRelease = box->pos();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    MyMessageBox box(nullptr, "Tovrin", "Drag me", 1, 1);
    QCOMPARE(afterMove - before, moves ? QPoint(30, 20) : QPoint(0, 0));
    QCOMPARE(afterRelease, afterMove); // the release ends the drag
}

void MyMessageBoxTest::layoutFitsTheSkin_data()
{
    QTest::addColumn<int>("screen");
    for (const int screen : {1920, 1440, 1024})
        QTest::newRow(qPrintable(QString::number(screen))) << screen;
}

// The box takes its size from the background picture and places its
// buttons by fractions of it; each skin must be drawn so that the three
// answer buttons sit side by side below the message, whole, and the quit
// button shows nothing below the drag band.
void MyMessageBoxTest::layoutFitsTheSkin()
{
    QFETCH(int, screen);
    useSkin(screen);
    MyMessageBox::setAutoAnswer(0);
    const QString dir = skinFolder(screen) + "messageBox/";
    const QSize background = QPixmap(dir + "messageBox.png").size();
    QVERIFY(!background.isEmpty());
    MyMessageBox box(nullptr, "Tovrin", "Size", 1, 3);
    QCOMPARE(box.size(), background);
    const QRect inside(QPoint(0, 0), background);
    for (int i = 1; i <= 3; ++i) {
        const QRect b = box.answerButton(i)->geometry();
        QCOMPARE(b.size(), QPixmap(dir + "button_Normal.png").size());
        QVERIFY(inside.contains(b));
        QVERIFY(b.top() > box.messageLabel()->geometry().bottom());
        if (i > 1)
            QVERIFY(box.answerButton(i - 1)->geometry().right() < b.left());
    }
    const QRect quit = box.quitButton()->geometry();
    QVERIFY(inside.contains(quit));
    const QImage quitImage = QImage(dir + "quit1.png").convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(quitImage.size(), quit.size());
    int lastVisibleRow = -1;
    for (int y = 0; y < quitImage.height(); ++y) {
        for (int x = 0; x < quitImage.width(); ++x) {
            if (qAlpha(quitImage.pixel(x, y)) > 0)
                lastVisibleRow = y;
        }
    }
    QVERIFY(lastVisibleRow >= 0);
    QVERIFY2(quit.top() + lastVisibleRow < int(background.height() / 8.85), qPrintable(QString::number(lastVisibleRow)));
}

void MyMessageBoxTest::labels_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("expected");
    const QString null;
    QTest::newRow("one: default") << 1 << QStringList{null, null, null} << QStringList{"OK"};
    QTest::newRow("one: texts ignored") << 1 << QStringList{"Yes", "No", null} << QStringList{"OK"};
    QTest::newRow("two: defaults") << 2 << QStringList{null, null, null} << QStringList{"OK", "Cancel"};
    QTest::newRow("two: given") << 2 << QStringList{"Save", "Discard", null} << QStringList{"Save", "Discard"};
    QTest::newRow("three: defaults") << 3 << QStringList{null, null, null} << QStringList{"Re-election", "OK", "Cancel"};
    QTest::newRow("three: middle given") << 3 << QStringList{null, "Apply", null} << QStringList{"Re-election", "Apply", "Cancel"};
    QTest::newRow("three: empty is not default") << 3 << QStringList{"", null, null} << QStringList{"", "OK", "Cancel"};
    QTest::newRow("zero buttons taken as one") << 0 << QStringList{null, null, null} << QStringList{"OK"};
    QTest::newRow("nine buttons taken as three") << 9 << QStringList{null, null, null} << QStringList{"Re-election", "OK", "Cancel"};
}

void MyMessageBoxTest::labels()
{
    QFETCH(int, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, expected);
    MyMessageBox::setAutoAnswer(1);
    resetAnswer();
    MyMessageBox box(nullptr, "Tovrin", "Labels", 1, buttons, texts[0], texts[1], texts[2]);
    QCOMPARE(MyMessageBox::answer(), 1);
    QVERIFY(MyMessageBox::answered());
    QCOMPARE(MyMessageBox::shownBoxes().size(), 1);
    QCOMPARE(MyMessageBox::shownBoxes().first().labels, expected);
    for (int i = 1; i <= expected.size(); ++i)
        QVERIFY(!box.answerButton(i)->isHidden());
    QVERIFY(box.answerButton(expected.size() + 1) == nullptr);
}

void MyMessageBoxTest::leftAlignedMessageStaysInside()
{
    MyMessageBox::setAutoAnswer(0);
    for (const int centred : {0, 1, 2}) {
        MyMessageBox box(nullptr, "Tovrin", "A long message", centred, 1);
        const QRect area = box.messageLabel()->geometry();
        QVERIFY2(QRect(0, 0, box.backgroundWidth(), box.backgroundHeight()).contains(area), qPrintable(QString::number(centred)));
        QCOMPARE(box.messageLabel()->alignment() & Qt::AlignHorizontal_Mask, centred == 1 ? Qt::AlignHCenter : Qt::AlignLeft);
    }
}

void MyMessageBoxTest::richTextShownAsText()
{
    MyMessageBox::setAutoAnswer(0);
    MyMessageBox box(nullptr, "<b>Tovrin</b>", "<img src=x> <=30 inches", 1, 1);
    QCOMPARE(box.messageLabel()->textFormat(), Qt::PlainText);
    QCOMPARE(box.titleLabel()->textFormat(), Qt::PlainText);
}

void MyMessageBoxTest::missingSkinStillAnswerable()
{
    tovrin::shell::AppContext::instance().setSkinPath(QStringLiteral("/nonexistent/skin/1920/"));
    resetAnswer();
    QSize size;
    QSize buttonSize;
    whenBoxShown([&](MyMessageBox* box) {
        size = box->size();
        buttonSize = box->answerButton(1)->size();
        QTest::keyClick(box, Qt::Key_Return);
    });
    MyMessageBox box(nullptr, "Tovrin", "No skin", 1, 2);
    QVERIFY(!size.isEmpty());
    QVERIFY(!buttonSize.isEmpty());
    QCOMPARE(MyMessageBox::answer(), 1);
}

QTEST_MAIN(MyMessageBoxTest)
#include "MyMessageBoxTest.moc"
