// MyMessageBox: answers by key and click, focus wrap, window-manager close,
// dragging, labels, a skin without pictures. Each box runs its own modal
// loop; the checks run inside it (whenBoxShown) and the box is closed there.

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

    void oneButtonAnswersCancel_data();
    void oneButtonAnswersCancel();
    void returnAnswersFocusedButton_data();
    void returnAnswersFocusedButton();
    void clickAnswers_data();
    void clickAnswers();
    void tabMovesFocusLookAndWraps_data();
    void tabMovesFocusLookAndWraps();
    void windowManagerCloseLeavesAnswer();
    void dragOnlyInTopBand_data();
    void dragOnlyInTopBand();
    void geometryFromBackground();
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

void MyMessageBoxTest::oneButtonAnswersCancel_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Return") << "return";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("click on the button") << "click";
    QTest::newRow("click on quit") << "quit";
}

void MyMessageBoxTest::oneButtonAnswersCancel()
{
    QFETCH(QString, how);
    resetAnswer();
    bool ran = false;
    whenBoxShown([&](MyMessageBox* box) {
        ran = true;
        if (how == "return")
            QTest::keyClick(box, Qt::Key_Return);
        else if (how == "escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else if (how == "click")
            QTest::mouseClick(box->answerButton(1), Qt::LeftButton, {}, QPoint(10, 10));
        else
            QTest::mouseClick(box->quitButton(), Qt::LeftButton, {}, QPoint(10, 10));
    });
    MyMessageBox box(nullptr, "warning", "Device not detected.", 1, 1);
    QVERIFY(ran);
    QVERIFY(!box.isVisible());
    QCOMPARE(MyMessageBox::answer(), 0);
    QVERIFY(MyMessageBox::answered());
}

void MyMessageBoxTest::returnAnswersFocusedButton_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("tabs");
    QTest::addColumn<int>("expected");
    QTest::newRow("two: OK first") << 2 << 0 << 1;
    QTest::newRow("two: cancel") << 2 << 1 << 0;
    QTest::newRow("two: wrapped back to OK") << 2 << 2 << 1;
    QTest::newRow("three: choose first") << 3 << 0 << 2;
    QTest::newRow("three: OK") << 3 << 1 << 1;
    QTest::newRow("three: cancel") << 3 << 2 << 0;
    QTest::newRow("three: wrapped back to choose") << 3 << 3 << 2;
    QTest::newRow("keypad Enter") << 2 << 0 << 1;
}

void MyMessageBoxTest::returnAnswersFocusedButton()
{
    QFETCH(int, buttons);
    QFETCH(int, tabs);
    QFETCH(int, expected);
    const bool keypad = QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("keypad Enter");
    resetAnswer();
    whenBoxShown([&](MyMessageBox* box) {
        for (int i = 0; i < tabs; ++i)
            QTest::keyClick(box, Qt::Key_Tab);
        QTest::keyClick(box, keypad ? Qt::Key_Enter : Qt::Key_Return);
    });
    MyMessageBox box(nullptr, "Tovrin", "Are you sure you exit?", 1, buttons);
    QCOMPARE(MyMessageBox::answer(), expected);
    QVERIFY(MyMessageBox::answered());
}

void MyMessageBoxTest::clickAnswers_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expected");
    QTest::newRow("two: OK") << 2 << 1 << 1;
    QTest::newRow("two: cancel") << 2 << 2 << 0;
    QTest::newRow("three: choose") << 3 << 1 << 2;
    QTest::newRow("three: OK") << 3 << 2 << 1;
    QTest::newRow("three: cancel") << 3 << 3 << 0;
}

void MyMessageBoxTest::clickAnswers()
{
    QFETCH(int, buttons);
    QFETCH(int, index);
    QFETCH(int, expected);
    resetAnswer();
    whenBoxShown([&](MyMessageBox* box) {
        QTest::mouseClick(box->answerButton(index), Qt::LeftButton, {}, QPoint(10, 10));
    });
    MyMessageBox box(nullptr, "Tovrin", "Choose an image", 1, buttons);
    QCOMPARE(MyMessageBox::answer(), expected);
    QVERIFY(MyMessageBox::answered());
}

void MyMessageBoxTest::tabMovesFocusLookAndWraps_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QList<int>>("focusAfterEachTab");
    QTest::newRow("one") << 1 << QList<int>{1, 1};
    QTest::newRow("two") << 2 << QList<int>{2, 1, 2};
    QTest::newRow("three") << 3 << QList<int>{2, 3, 1, 2};
}

void MyMessageBoxTest::tabMovesFocusLookAndWraps()
{
    QFETCH(int, buttons);
    QFETCH(QList<int>, focusAfterEachTab);
    resetAnswer();
    QList<int> seen;
    QStringList lookErrors;
    whenBoxShown([&](MyMessageBox* box) {
        if (box->focusIndex() != 1 || box->answerButton(1)->currentLook() != Button::Look::Focus)
            lookErrors << "initial focus is not on the first button";
        for (int i = 0; i < focusAfterEachTab.size(); ++i) {
            QTest::keyClick(box, Qt::Key_Tab);
            seen << box->focusIndex();
            for (int b = 1; b <= box->buttonCount(); ++b) {
                const bool focused = box->answerButton(b)->currentLook() == Button::Look::Focus;
                if (focused != (b == box->focusIndex()))
                    lookErrors << QStringLiteral("after tab %1: button %2 focus look %3").arg(i + 1).arg(b).arg(focused);
            }
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    MyMessageBox box(nullptr, "Tovrin", "Tab", 1, buttons);
    QCOMPARE(seen, focusAfterEachTab);
    QVERIFY2(lookErrors.isEmpty(), qPrintable(lookErrors.join("; ")));
    QCOMPARE(MyMessageBox::answer(), 0);
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
    QTest::newRow("inside the band") << 10 << true;
    QTest::newRow("bottom of the band") << -1 << true;
    QTest::newRow("just below the band") << -2 << false;
    QTest::newRow("middle of the box") << 150 << false;
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

void MyMessageBoxTest::geometryFromBackground()
{
    MyMessageBox::setAutoAnswer(0);
    const QSize background = QPixmap(skinFolder(1920) + "messageBox/messageBox.png").size();
    const QSize button = QPixmap(skinFolder(1920) + "messageBox/button_Normal.png").size();
    QVERIFY(!background.isEmpty());
    MyMessageBox box(nullptr, "Tovrin", "Size", 1, 3);
    const int W = background.width();
    const int H = background.height();
    QCOMPARE(box.size(), background);
    QCOMPARE(box.answerButton(1)->geometry(), QRect(int(W / 13.5), int(H / 1.23), button.width(), button.height()));
    QCOMPARE(box.answerButton(2)->geometry(), QRect(int(W / 2.6), int(H / 1.23), button.width(), button.height()));
    QCOMPARE(box.answerButton(3)->geometry(), QRect(button.width() + int(W / 2.52), int(H / 1.23), button.width(), button.height()));
    QCOMPARE(box.quitButton()->geometry(), QRect(int(W / 1.154), int(H / 41.83), int(W / 8.52), int(H / 9.65)));
    // The skin is drawn so that the buttons sit inside the box without overlapping.
    QVERIFY(box.answerButton(1)->geometry().right() < box.answerButton(2)->geometry().left());
    QVERIFY(box.answerButton(2)->geometry().right() < box.answerButton(3)->geometry().left());
    QVERIFY(QRect(0, 0, W, H).contains(box.answerButton(3)->geometry()));
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
