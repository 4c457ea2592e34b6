// Renders the skinned buttons offscreen and keeps the pictures under
// <build>/screenshots/ for a person to look at; fails on a blank picture.
// (The message box's pictures are taken by MyMessageBoxTest.)

#include "WidgetTestSupport.h"

#include "widgets/Button.h"
#include "widgets/Fonts.h"

#include <QtTest>

using tovrin::widgets::Button;
using namespace tovrin::widgets::test;

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void buttonLooks_data();
    void buttonLooks();
};

void ScreenshotTest::buttonLooks_data()
{
    QTest::addColumn<int>("screen");
    for (const int screen : {1920, 1024})
        QTest::newRow(qPrintable(QStringLiteral("buttons-%1").arg(screen))) << screen;
}

// One row per kind of button (main-window tile, push button, step button),
// one column per look.
void ScreenshotTest::buttonLooks()
{
    QFETCH(int, screen);
    useSkin(screen);
    const QString dir = skinFolder(screen);
    const QFont font = tovrin::widgets::toQFont(tovrin::shell::AppContext::instance().buttonFont());
    struct Kind {
        QStringList files; // normal, focus, press, disabled
        int mode;
        QString caption;
    };
    const QList<Kind> kinds{
        {{"User2_calibration.png", "User2_calibration1.png", "User2_calibration2.png", "User2_calibration3.png"}, 0, "Calibrate"},
        {{"MP1_set.png", "MP1_set1.png", "MP1_set2.png", "MP1_set3.png"}, 0, "Set"},
        {{"update.png", "update1.png", "update2.png", "update3.png"}, 0, "Update"},
        {{"button_Normal.png", "button_Focus.png", "button_Press.png", "button_Enabled.png"}, 1, "Exposure"},
        {{"add_Normal.png", "add_Focus.png", "add_Press.png", "add_Enabled.png"}, 2, QString()},
    };
    QWidget sheet;
    sheet.setStyleSheet(QStringLiteral("background:rgb(240,244,250)"));
    const int cell = QPixmap(dir + "User_set.png").width() * 3 / 2 + QPixmap(dir + "button_Normal.png").width() / 2;
    int y = 10;
    for (const Kind& kind : kinds) {
        int rowHeight = 0;
        for (int look = 0; look < 4; ++look) {
            auto* b = new Button(&sheet);
            b->setNormalPixmap(QPixmap(dir + kind.files[0]));
            b->setFocusPixmap(QPixmap(dir + kind.files[1]));
            b->setPressPixmap(QPixmap(dir + kind.files[2]));
            b->setDisabledPixmap(QPixmap(dir + kind.files[3]));
            b->setCaptionFont(font);
            b->setCaptionMode(kind.mode);
            b->setCaption(kind.caption);
            const QSize size = QPixmap(dir + kind.files[0]).size();
            b->setGeometry(10 + look * cell, y, size.width(), size.height());
            if (look == 1)
                b->setFocusLook(true);
            else if (look == 2)
                QTest::mousePress(b, Qt::LeftButton, {}, QPoint(5, 5));
            else if (look == 3)
                b->setButtonEnabled(false);
            rowHeight = qMax(rowHeight, size.height());
        }
        y += rowHeight + 10;
    }
    sheet.resize(10 + 4 * cell, y);
    saveShot(sheet.grab().toImage(), QString::fromLatin1(QTest::currentDataTag()));
}

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
