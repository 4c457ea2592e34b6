// Pictures of the engineering window for a person to look at, kept under
// <build>/screenshots/: the three tool flavours in English and Simplified
// Chinese, ready and in the middle of a firmware update, the version box,
// and the debug page's Preview page showing frames.

#include "WindowTestSupport.h"

#include "shell/CommentIniWriter.h"
#include "windows/PreviewPage.h"
#include "windows/Tovrin.h"
#include "windows/TovrinDebugPage.h"
#include "windows/TovrinEntries.h"
#include "windows/UpdateChooser.h"

#include <QProgressBar>
#include <QPushButton>
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

class TovrinScreenshotTest : public WindowTest {
    Q_OBJECT
public:
    TovrinScreenshotTest() : WindowTest(1) {}

protected:
    void cleanupOne() override
    {
        windows::setPackageFileDialog({});
        windows::overridePreviewSource({});
        useLanguage(0);
    }

private slots:
    void flavours_data();
    void flavours();
    void versionBox_data();
    void versionBox();
    void previewPage();
};

void TovrinScreenshotTest::flavours_data()
{
    QTest::addColumn<int>("flavour");
    QTest::addColumn<int>("language");
    for (int language : {0, 1})
        for (int flavour : {0, 1, 2})
            QTest::addRow("engineering-flavour%d-%s", flavour, language ? "zh" : "en") << flavour << language;
}

void TovrinScreenshotTest::flavours()
{
    QFETCH(int, flavour);
    QFETCH(int, language);
    useLanguage(language);
    shell::context().toolFlavour = flavour;
    m_frame->setReportLatency(std::chrono::milliseconds(1));  // an update slow enough to be seen
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), name);

    windows::setPackageFileDialog([](QWidget*) { return kSample; });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    auto* bar = w.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    w.FirmwareUpdateButSlot();
    QVERIFY2(QTest::qWaitFor([&] { return bar->value() >= 32; }, kDeviceTimeoutMs), qPrintable(w.statusText()));
    QVERIFY(bar->isVisible());
    saveShot(w.grab().toImage(), name + QStringLiteral("-updating"));
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(QTest::qWaitFor([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }, kDeviceTimeoutMs));
}

void TovrinScreenshotTest::versionBox_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("versions-en") << 0;
    QTest::newRow("versions-zh") << 1;
}

void TovrinScreenshotTest::versionBox()
{
    QFETCH(int, language);
    useLanguage(language);
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    saveShot(grabVersionBox(w), QString::fromLatin1(QTest::currentDataTag()));
}

void TovrinScreenshotTest::previewPage()
{
    // PreviewThread on the simulated cameras.
    shell::context().toolFlavour = 2;
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(QTest::qWaitFor([] { return tovrin::device::g_isDeviceCommunicate.load() == 1; }, kDeviceTimeoutMs));
    w.debugPage()->button(windows::DebugPage::ButtonId::Preview)->click();
    QSignalSpy shown(w.debugPage()->preview(), &windows::PreviewPage::frameShown);
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    saveShot(w.grab().toImage(), QStringLiteral("engineering-flavour2-preview"));
    w.debugPage()->button(windows::DebugPage::ButtonId::Preview)->click();
}

QTEST_MAIN(TovrinScreenshotTest)
#include "TovrinScreenshotTest.moc"
