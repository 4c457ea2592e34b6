// Renders the main windows offscreen with the 1920 and the 1024 skin on a
// ready simulated frame and keeps the pictures under <build>/screenshots/
// for a person to look at; fails when a picture is missing or blank.

#include "WindowTestSupport.h"

#include "production/TovrinTest.h"
#include "widgets/Button.h"
#include "windows/Tovrin.h"
#include "windows/TovrinUser.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <QtTest>

using tovrin::production::TovrinTest;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using tovrin::windows::TovrinUser;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;
namespace shell = tovrin::shell;

namespace {

QString shotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(TOVRIN_SCREENSHOT_DIR));
    return QStringLiteral(TOVRIN_SCREENSHOT_DIR "/%1.png").arg(name);
}

void saveShot(const QImage& image, const QString& name)
{
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY2(image.save(shotPath(name)), qPrintable(name));
    QVERIFY2(QFile::exists(shotPath(name)), qPrintable(name));
    QVERIFY2(!isBlank(QImage(shotPath(name))), qPrintable(name + QStringLiteral(" is blank")));
}

template <typename W>
bool waitForStatus(W& w, int id)
{
    return QTest::qWaitFor([&] { return w.statusMessageId() == id; }, kDeviceTimeoutMs);
}

QSize screenSize(int screenClass) { return screenClass >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

} // namespace

class WindowScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void engineering_data();
    void engineering();
    void user_data();
    void user();
    void productionTest_data();
    void productionTest();
    void versionsBox_data();
    void versionsBox();

private:
    std::unique_ptr<AppFolder> m_folder;
    std::shared_ptr<sim::SimulatedFrame> m_frame;
};

void WindowScreenshotTest::initTestCase()
{
    m_folder = std::make_unique<AppFolder>();
    QVERIFY(m_folder->isValid());
    useFastWaits();
}

void WindowScreenshotTest::init()
{
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    m_frame = installFrame();
}

void WindowScreenshotTest::cleanup()
{
    device::setTransport(nullptr);
    m_frame.reset();
}

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
    QTest::addColumn<int>("screen");
    for (int screen : {1920, 1024})
        QTest::addRow("tovrinuser-%d", screen) << screen;
}

void WindowScreenshotTest::user()
{
    QFETCH(int, screen);
    useScreen(screen);
    shell::context().toolFlavour = 3;
    TovrinUser w;
    w.resize(screenSize(screen));
    w.show();
    QVERIFY(QTest::qWaitFor([&] { return w.versionText().contains(QStringLiteral("FirmwareID")); }, kDeviceTimeoutMs));
    saveShot(w.grab().toImage(), QString::fromLatin1(QTest::currentDataTag()));
}

void WindowScreenshotTest::productionTest_data()
{
    QTest::addColumn<int>("screen");
    for (int screen : {1920, 1024})
        QTest::addRow("tovrintest-%d", screen) << screen;
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
    QTest::addColumn<int>("screen");
    for (int screen : {1920, 1024})
        QTest::addRow("versions-box-%d", screen) << screen;
}

void WindowScreenshotTest::versionsBox()
{
    QFETCH(int, screen);
    useScreen(screen);
    shell::context().toolFlavour = 1;
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    // The box is modal: grab it from inside its own event loop.
    MyMessageBox::setAutoAnswer(std::nullopt);
    QImage shot;
    QTimer::singleShot(0, [&shot] {
        auto* box = qobject_cast<MyMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* b = qobject_cast<MyMessageBox*>(top); b && b->isVisible())
                    box = b;
            }
        }
        if (!box)
            return;
        shot = box->grab().toImage();
        box->close();
    });
    w.AboutButSlot();
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    saveShot(shot, QString::fromLatin1(QTest::currentDataTag()));
}

QTEST_MAIN(WindowScreenshotTest)
#include "WindowScreenshotTest.moc"
