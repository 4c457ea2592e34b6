// Renders the main windows offscreen with the 1920 and the 1024 skin on a
// ready simulated frame and keeps the pictures under <build>/screenshots/
// for a person to look at; fails when a picture is missing or blank. The
// engineering window is shown in its three flavours in English and
// Simplified Chinese, ready, tabbed, without a frame and in the middle of a
// firmware update, the full tool with its versions box (the debug page's Preview page, the end-user window and the
// production-test window are shown by their own tests).

#include "WindowTestSupport.h"

#include "shell/CommentIniWriter.h"
#include "shell/Language.h"
#include "widgets/Button.h"
#include "windows/Tovrin.h"
#include "windows/TovrinEntries.h"
#include "windows/UpdateChooser.h"

#include <QProgressBar>
#include <QtTest>

using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace shell = tovrin::shell;
namespace windows = tovrin::windows;

namespace {

const QString kSample = QStringLiteral(TOVRIN_SAMPLE_PACKAGE);

void useLanguage(int language)
{
    QVERIFY(shell::writeSetting(QStringLiteral("Tovrin_Config/Language"), language));
    shell::LoadTexts();
}

} // namespace

class WindowScreenshotTest : public WindowTest {
    Q_OBJECT
public:
    WindowScreenshotTest() : WindowTest(1) {}

protected:
    void cleanupOne() override
    {
        windows::setPackageFileDialog({});
        useLanguage(0);
    }

private slots:
    void engineering_data();
    void engineering();
};

void WindowScreenshotTest::engineering_data()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("flavour");
    for (int flavour : {0, 1, 2}) {
        for (int screen : {1920, 1024})
            QTest::addRow("tovrin-flavour%d-%d", flavour, screen) << screen << 0 << flavour;
        QTest::addRow("tovrin-flavour%d-1920-zh", flavour) << 1920 << 1 << flavour;
    }
}

void WindowScreenshotTest::engineering()
{
    QFETCH(int, screen);
    QFETCH(int, language);
    QFETCH(int, flavour);
    useScreen(screen);
    useLanguage(language);
    shell::context().toolFlavour = flavour;
    m_frame->setReportLatency(std::chrono::milliseconds(1));  // an update slow enough to be seen
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    // The CJK font resolves and the captions fit their tiles.
    QVERIFY(language == 0 || w.statusText() != QLatin1String("Devices check completed."));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name);
    // The versions box over the full tool's window.
    if (flavour == 1)
        saveShot(grabVersionBox(w), QStringLiteral("versions-box-%1%2").arg(screen).arg(QLatin1String(language ? "-zh" : "")));

    if (screen == 1920) {
        windows::setPackageFileDialog([](QWidget*) { return kSample; });
        MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
        auto* bar = w.findChild<QProgressBar*>(QStringLiteral("progressBar"));
        w.FirmwareUpdateButSlot();
        QVERIFY2(QTest::qWaitFor([&] { return bar->value() >= 32; }, kDeviceTimeoutMs), qPrintable(w.statusText()));
        QVERIFY(bar->isVisible());
        saveShot(w.grab().toImage(), name + QStringLiteral("-updating"));
        m_frame->setReportLatency(std::chrono::microseconds(0));
        QVERIFY(QTest::qWaitFor([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }, kDeviceTimeoutMs));
        MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    }
    m_frame->setReportLatency(std::chrono::microseconds(0));
    if (flavour != 2 && language == 0) {
        // The focus look after two Tabs, and a disabled page without a frame.
        QTest::keyClick(&w, Qt::Key_Tab);
        QTest::keyClick(&w, Qt::Key_Tab);
        saveShot(w.grab().toImage(), name + QStringLiteral("-tab"));
        m_frame->unplug();
        QVERIFY(waitForStatus(w, 17));
        saveShot(w.grab().toImage(), name + QStringLiteral("-noframe"));
    }
}

QTEST_MAIN(WindowScreenshotTest)
#include "WindowScreenshotTest.moc"
