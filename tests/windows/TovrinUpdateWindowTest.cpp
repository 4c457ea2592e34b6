// A firmware update from the engineering window on the simulated frame:
// choosing the package, the progress bar and the locked buttons, the close
// rule while it runs, a frame found in its boot loader, and bad packages.

#include "WindowTestSupport.h"

#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"
#include "widgets/Button.h"
#include "windows/Tovrin.h"
#include "windows/UpdateChooser.h"
#include "tests/support/Files.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QtTest>

using tovrin::widgets::Button;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;
namespace shell = tovrin::shell;
namespace windows = tovrin::windows;

namespace {

const QString kSample = QStringLiteral(TOVRIN_SAMPLE_PACKAGE);

Button* tile(Tovrin& w, const char* name) { return w.findChild<Button*>(QString::fromLatin1(name)); }
QProgressBar* bar(Tovrin& w) { return w.findChild<QProgressBar*>(QStringLiteral("progressBar")); }

// The version of a unit's image information, as the frame keeps it.
uint32_t imageVersion(const sim::SimulatedFrame& f, sim::Unit u)
{
    const auto b = f.readFlash(u, 0x13000, 4);
    return static_cast<uint32_t>(b[0]) | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

bool waitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, kDeviceTimeoutMs); }

} // namespace

class TovrinUpdateWindowTest : public WindowTest {
    Q_OBJECT
public:
    TovrinUpdateWindowTest() : WindowTest(1) {}

protected:
    void cleanupOne() override { windows::setPackageFileDialog({}); }

private slots:
    void updateFromTheWindow();
    void lastPackageIsOfferedAndReelectionOpensTheDialog();
    void cancelledChoiceTouchesNothing();
    void escapeWhileUpdatingIsRefused();
    void frameInItsBootLoaderIsUpdatedFromThere();
    void badPackageShowsItsMessage();
    void unplugDuringTheUpdate();
};

void TovrinUpdateWindowTest::updateFromTheWindow()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    int dialogs = 0;
    windows::setPackageFileDialog([&](QWidget*) {
        ++dialogs;
        return kSample;
    });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    QList<int> progress;
    connect(bar(w), &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
    QSignalSpy shown(&w, &Tovrin::statusShown);

    w.FirmwareUpdateButSlot();
    QCOMPARE(dialogs, 1);  // no package used before: the dialog at once
    const auto boxes = MyMessageBox::shownBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Update"));
    // The file's name: a whole path would not fit the box.
    QCOMPARE(boxes[0].message, QStringLiteral("File:update-sample.bin\nAre you sure you update?"));
    QCOMPARE(boxes[0].labels, (QStringList{"Re-election", "Update", "Cancel"}));
    QVERIFY(w.isUpdateRunning());
    QVERIFY(bar(w)->isVisible() || !w.isVisible());
    for (const char* name : {"levelingButton", "setButton", "calibrateButton", "updateButton", "aboutButton"})
        QVERIFY2(!tile(w, name)->isButtonEnabled(), name);

    // The new firmware comes back and passes its status test.
    QVERIFY(waitUntil([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15 && w.isConnected(); }));
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progress.contains(99));
    QVERIFY(!bar(w)->isVisible());
    QCOMPARE(imageVersion(*m_frame, sim::Unit::Master), 0x01020006u);
    QCOMPARE(imageVersion(*m_frame, sim::Unit::Slave), 0x01020006u);
    QVERIFY(!m_frame->inBootLoader());
    for (Button* b : {tile(w, "levelingButton"), tile(w, "updateButton"), tile(w, "aboutButton")})
        QVERIFY(b->isButtonEnabled());
    const QList<int> ids = shownIds(shown);
    QVERIFY(ids.indexOf(22) < ids.indexOf(39));  // preparing, then burning
    QCOMPARE(shell::readText(QStringLiteral("ImagePath/imagePath"), QStringLiteral("0")), kSample);
}

void TovrinUpdateWindowTest::lastPackageIsOfferedAndReelectionOpensTheDialog()
{
    QVERIFY(shell::writeSetting(shell::kSettingsFile, QStringLiteral("ImagePath/imagePath"), kSample));
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // First box: "Re-election"; the dialog then gives the same file and the
    // second box answers "Cancel".
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerChoose);
    int dialogs = 0;
    windows::setPackageFileDialog([&](QWidget*) {
        ++dialogs;
        MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
        return kSample;
    });
    w.FirmwareUpdateButSlot();
    QCOMPARE(dialogs, 1);
    QCOMPARE(MyMessageBox::shownBoxes().size(), 2);
    QVERIFY(!w.isUpdateRunning());
    QCOMPARE(m_frame->commandsSeen(56), 0u);  // no reboot
}

void TovrinUpdateWindowTest::cancelledChoiceTouchesNothing()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    windows::setPackageFileDialog([](QWidget*) { return QString(); });
    const uint64_t before = m_frame->outputReports();
    w.FirmwareUpdateButSlot();
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());
    QCOMPARE(m_frame->outputReports(), before);
    QCOMPARE(w.statusMessageId(), 15);
}

void TovrinUpdateWindowTest::escapeWhileUpdatingIsRefused()
{
    m_frame->setReportLatency(std::chrono::milliseconds(1));  // an update that takes a while
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    windows::setPackageFileDialog([](QWidget*) { return kSample; });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    w.FirmwareUpdateButSlot();
    QVERIFY(waitForStatus(w, 39));
    MyMessageBox::clearShownBoxes();
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QCOMPARE(w.statusMessageId(), 10);
    QCOMPARE(w.statusText(), QStringLiteral("Updating, please wait......"));
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());  // not even asked
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(waitUntil([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }));
}

void TovrinUpdateWindowTest::frameInItsBootLoaderIsUpdatedFromThere()
{
    // An update cut short earlier: its boot loader erased the firmware
    // sector, and after a power cycle the frame comes up in its boot loader.
    m_frame->reenumerate(true);
    m_frame->eraseSector(sim::Unit::Master, 0x10000);
    m_frame->unplug();
    m_frame->plug();
    QVERIFY(m_frame->inBootLoader());
    Tovrin w;
    QVERIFY(waitForStatus(w, 16));
    QCOMPARE(w.statusText(), QStringLiteral("The device is not ready, please update the firmware."));
    QVERIFY(w.isPrepared());
    // The update is all the window offers.
    QVERIFY(tile(w, "updateButton")->isButtonEnabled());
    for (const char* name : {"levelingButton", "setButton", "calibrateButton", "aboutButton"})
        QVERIFY2(!tile(w, name)->isButtonEnabled(), name);
    windows::setPackageFileDialog([](QWidget*) { return kSample; });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    w.FirmwareUpdateButSlot();
    QVERIFY(waitUntil([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }));
    // Straight from the boot loader: no mode switch, one reboot (into the application).
    QCOMPARE(m_frame->commandsSeen(56), 1u);
    QVERIFY(!m_frame->inBootLoader());
    QVERIFY(!w.isPrepared());
}

// Which package gets which message is the flow's (UpdateOnFrameTest); the
// window shows it and keeps its tiles.
void TovrinUpdateWindowTest::badPackageShowsItsMessage()
{
    QByteArray flagsOfTwo(200, '\0');
    flagsOfTwo[0] = 2;
    QVERIFY(tovrin::test::writeFile(QStringLiteral("bad.bin"), flagsOfTwo));
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    windows::setPackageFileDialog([](QWidget*) { return QStringLiteral("bad.bin"); });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    const uint64_t before = m_frame->outputReports();
    w.FirmwareUpdateButSlot();
    QCOMPARE(w.statusMessageId(), 35);
    QVERIFY(!w.isUpdateRunning());
    QVERIFY(tile(w, "setButton")->isButtonEnabled());
    QCOMPARE(m_frame->outputReports(), before);
}

void TovrinUpdateWindowTest::unplugDuringTheUpdate()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    windows::setPackageFileDialog([](QWidget*) { return kSample; });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    // Armed while the frame restarts into its boot loader, before any block.
    connect(&w.updateFlow(), &tovrin::update::FirmwareUpdateFlow::waitForFrame, this, [&](uint8_t state) {
        if (state == device::kStateWaitBootLoader)
            m_frame->unplugAtDownloadBlock(20);
    });
    w.FirmwareUpdateButSlot();
    QVERIFY(waitForStatus(w, 17));
    QVERIFY(!w.isUpdateRunning());
    QVERIFY(!bar(w)->isVisible());
    // Plugged in again the frame stays in its boot loader and the window offers the update.
    m_frame->plug();
    QVERIFY(waitForStatus(w, 16));
    QVERIFY(w.isPrepared());
    w.FirmwareUpdateButSlot();
    QVERIFY(waitUntil([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }));
    QCOMPARE(imageVersion(*m_frame, sim::Unit::Slave), 0x01020006u);
}

QTEST_MAIN(TovrinUpdateWindowTest)
#include "TovrinUpdateWindowTest.moc"
