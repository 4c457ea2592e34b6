// Renders the main windows offscreen with the 1920 and the 1024 skin on a
// ready simulated frame and keeps the pictures under <build>/screenshots/
// for a person to look at; fails when a picture is missing or blank.

#include "WindowTestSupport.h"

#include "production/TovrinTest.h"
#include "shell/CommentIniWriter.h"
#include "shell/Language.h"
#include "widgets/Button.h"
#include "windows/Tovrin.h"
#include "windows/TovrinUser.h"

#include <QCheckBox>
#include <QtTest>

using tovrin::production::TovrinTest;
using tovrin::windows::Tovrin;
using tovrin::windows::TovrinUser;
using namespace tovrin::windows::test;
namespace shell = tovrin::shell;

namespace {

QSize screenSize(int screenClass) { return screenClass >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

// One row per screen class, named after the picture.
void screenRows(const char* name)
{
    QTest::addColumn<int>("screen");
    for (int screen : {1920, 1024})
        QTest::addRow(name, screen) << screen;
}

} // namespace

class WindowScreenshotTest : public WindowTest {
    Q_OBJECT
public:
    WindowScreenshotTest() : WindowTest(1) {}

private slots:
    void engineering_data();
    void engineering();
    void user_data();
    void user();
    void productionTest_data();
    void productionTest();
    void versionsBox_data();
    void versionsBox();
    void chinese();
};

void WindowScreenshotTest::engineering_data()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<int>("flavour");
    for (int screen : {1920, 1024}) {
        for (int flavour : {0, 1, 2})
            QTest::addRow("tovrin-flavour%d-%d", flavour, screen) << screen << flavour;
    }
}

void WindowScreenshotTest::engineering()
{
    QFETCH(int, screen);
    QFETCH(int, flavour);
    useScreen(screen);
    shell::context().toolFlavour = flavour;
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name);
    if (flavour != 2) {
        // The focus look after two Tabs, and a disabled page without a frame.
        QTest::keyClick(&w, Qt::Key_Tab);
        QTest::keyClick(&w, Qt::Key_Tab);
        const QImage tabbed = w.grab().toImage();
        saveShot(tabbed, name + QStringLiteral("-tab"));
        m_frame->unplug();
        QVERIFY(waitForStatus(w, 17));
        saveShot(w.grab().toImage(), name + QStringLiteral("-noframe"));
    }
}

void WindowScreenshotTest::user_data()
{
    screenRows("tovrinuser-%d");
}

void WindowScreenshotTest::user()
{
    QFETCH(int, screen);
    useScreen(screen);
    shell::context().toolFlavour = 3;
    TovrinUser w;
    w.resize(screenSize(screen));
    w.show();
    QVERIFY(waitForFirmware(w));
    saveShot(w.grab().toImage(), QString::fromLatin1(QTest::currentDataTag()));
}

void WindowScreenshotTest::productionTest_data()
{
    screenRows("tovrintest-%d");
}

void WindowScreenshotTest::productionTest()
{
    QFETCH(int, screen);
    useScreen(screen);
    shell::context().toolFlavour = 4;
    TovrinTest w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name);
    w.findChild<QCheckBox*>(QStringLiteral("flashTestBox"))->setChecked(true);
    w.StartTestSlot();
    saveShot(w.grab().toImage(), name + QStringLiteral("-running"));
}

void WindowScreenshotTest::versionsBox_data()
{
    screenRows("versions-box-%d");
}

void WindowScreenshotTest::versionsBox()
{
    QFETCH(int, screen);
    useScreen(screen);
    shell::context().toolFlavour = 1;
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    saveShot(grabVersionBox(w), QString::fromLatin1(QTest::currentDataTag()));
}

// The engineering window in Simplified Chinese: the CJK font resolves and
// the captions fit their tiles.
void WindowScreenshotTest::chinese()
{
    useScreen(1920);
    shell::context().toolFlavour = 1;
    QVERIFY(shell::writeSetting(QStringLiteral("Tovrin_Config/Language"), 1));
    shell::LoadTexts();
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(w.statusText() != QLatin1String("Devices check completed."));
    saveShot(w.grab().toImage(), QStringLiteral("tovrin-flavour1-1920-zh"));
    QVERIFY(shell::writeSetting(QStringLiteral("Tovrin_Config/Language"), 0));
    shell::LoadTexts();
}

QTEST_MAIN(WindowScreenshotTest)
#include "WindowScreenshotTest.moc"
