// Pictures of the engineering window for a person to look at, kept under
// <build>/screenshots/: the three tool flavours in English and Simplified
// Chinese, ready and in the middle of a firmware update, the version box,
// and the debug page's Preview page showing frames.

#include "WindowTestSupport.h"

#include "shell/CommentIniWriter.h"
#include "windows/PreviewPage.h"
#include "windows/PreviewSource.h"
#include "windows/Tovrin.h"
#include "windows/TovrinDebugPage.h"
#include "windows/TovrinEntries.h"
#include "windows/UpdateChooser.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cmath>

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

// Moving frames of two leveled cameras with a finger in front of each.
class PictureSource : public windows::PreviewSource {
public:
    explicit PictureSource(QObject* parent) : PreviewSource(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Q_EMIT sendData(10); });
    }
    bool start() override
    {
        m_timer.start(20);
        return true;
    }
    void stop() override { m_timer.stop(); }
    bool isRunning() const override { return m_timer.isActive(); }
    void setCompressed(bool) override {}
    bool takeFrame(windows::PreviewFrame& f) override
    {
        f.lines = 9;
        auto unit = [](int finger) {
            std::vector<uint8_t> v(9 * 640);
            for (int line = 0; line < 9; ++line) {
                const int distance = std::abs(line - 4);
                for (int c = 0; c < 640; ++c) {
                    const bool window = c >= 40 && c <= 600;
                    const bool shadow = std::abs(c - finger) < 9;
                    const int bright = distance == 0 ? 225 : distance == 1 ? 140 : 35;
                    v[static_cast<size_t>(line * 640 + c)] = static_cast<uint8_t>(!window ? 30 : shadow ? 25 : bright);
                }
            }
            return v;
        };
        f.master = unit(230);
        f.slave = unit(410);
        f.masterMarkers = {40, 120, 200, 280, 360, 440, 520, 600};
        f.slaveMarkers = f.masterMarkers;
        return true;
    }

private:
    QTimer m_timer;
};

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
    MyMessageBox::setAutoAnswer(std::nullopt);
    QImage shot;
    whenBoxShown([&shot](MyMessageBox* box) { shot = box->grab().toImage(); });
    w.AboutButSlot();
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    saveShot(shot, QString::fromLatin1(QTest::currentDataTag()));
}

void TovrinScreenshotTest::previewPage()
{
    windows::overridePreviewSource([](QObject* parent) { return std::make_unique<PictureSource>(parent); });
    shell::context().toolFlavour = 2;
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    w.debugPage()->button(windows::DebugPage::ButtonId::Preview)->click();
    QSignalSpy shown(w.debugPage()->preview(), &windows::PreviewPage::frameShown);
    QVERIFY(shown.wait(kDeviceTimeoutMs));
    saveShot(w.grab().toImage(), QStringLiteral("engineering-flavour2-preview"));
    w.debugPage()->button(windows::DebugPage::ButtonId::Preview)->click();
}

QTEST_MAIN(TovrinScreenshotTest)
#include "TovrinScreenshotTest.moc"
