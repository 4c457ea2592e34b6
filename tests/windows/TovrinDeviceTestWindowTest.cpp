// The device test and the update's own steps from the engineering window on
// a slow or hung simulated frame: they run beside the window's event loop
// (it paints and answers Escape meanwhile), the detection never talks to the
// frame while a job holds it, and a frame that answers again after a failed
// request keeps the job's message in the status line. A record left invalid
// by a write that never finished is offered for restore at detection.

#include "WindowTestSupport.h"

#include "records/RecordJournal.h"
#include "windows/Tovrin.h"
#include "windows/TovrinDebugPage.h"
#include "windows/UpdateChooser.h"

#include <QDir>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <memory>

using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;
namespace windows = tovrin::windows;

namespace {

constexpr int kGetStatus = 48;
constexpr int kReboot = 56;
constexpr int kSlaveRegisterWrite = 23;
constexpr int kMasterSensorRead = 8;

const QString kSample = QStringLiteral(TOVRIN_SAMPLE_PACKAGE);

bool waitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, kDeviceTimeoutMs); }

} // namespace

class TovrinDeviceTestWindowTest : public WindowTest {
    Q_OBJECT
public:
    TovrinDeviceTestWindowTest() : WindowTest(2) {}

protected:
    void cleanupOne() override { windows::setPackageFileDialog({}); }

private slots:
    void deviceTestRunsBesideTheEventLoop();
    void failedDeviceTestKeepsItsMessage();
    void updatePreparationRunsBesideTheEventLoop();
    void unfinishedWriteIsOfferedForRestore_data();
    void unfinishedWriteIsOfferedForRestore();
};

void TovrinDeviceTestWindowTest::deviceTestRunsBesideTheEventLoop()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    m_frame->setReportLatency(std::chrono::milliseconds(20));
    w.debugPage()->button(windows::DebugPage::ButtonId::Test)->click();
    // Back at once: the groups are still being sent.
    QVERIFY(m_frame->commandsSeen(kSlaveRegisterWrite) < 2);
    // Escape asks, as it does whenever the frame is connected; "Cancel" keeps the window.
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(MyMessageBox::shownBoxes().size(), 1);
    QCOMPARE(MyMessageBox::shownBoxes().at(0).title, QStringLiteral("Exit"));
    QVERIFY(w.isVisible());
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(waitForStatus(w, 31));
    QCOMPARE(m_frame->commandsSeen(kSlaveRegisterWrite), 2u);
    QCOMPARE(m_frame->mode(), sim::kModeWork);
    QVERIFY(w.isConnected());
}

void TovrinDeviceTestWindowTest::failedDeviceTestKeepsItsMessage()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // The Master's sensor never answers a read (the first request of the
    // test marks the frame as not answering, the other groups go on
    // slowly), nor the Slave a register write: both groups are named.
    m_frame->dropRepliesTo(kMasterSensorRead);
    m_frame->dropRepliesTo(kSlaveRegisterWrite);
    m_frame->setReportLatency(std::chrono::milliseconds(20));
    QSignalSpy shown(&w, &Tovrin::statusShown);
    const uint64_t statusBefore = m_frame->commandsSeen(kGetStatus);
    w.TestButSlot();
    QVERIFY(waitUntil([&] { return w.statusMessageIds() == QList<int>{26, 30}; }));
    QCOMPARE(m_frame->commandsSeen(kGetStatus), statusBefore);  // nobody else talked to the frame meanwhile
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QCOMPARE(shownIds(shown).first(), 24);
    QCOMPARE(w.statusText(), QStringLiteral("The left sensor communication bad!The right FPGA communication bad!"));
    QVERIFY(logText().contains(QStringLiteral("Imageversion:0x01020005, bootloader version=0x01000007\n")));

    // The frame still answers its status: once the test has let go of it,
    // the detection finds it working again, and the status line keeps the test's result.
    QVERIFY(waitUntil([&] { return device::g_bDevExist.load() != 0 && w.isConnected(); }));
    QTest::qWait(300);
    QCOMPARE(w.statusMessageIds(), (QList<int>{26, 30}));
    QVERIFY(!shownIds(shown).contains(15));
}

void TovrinDeviceTestWindowTest::updatePreparationRunsBesideTheEventLoop()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    windows::setPackageFileDialog([](QWidget*) { return kSample; });
    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    m_frame->setReportLatency(std::chrono::milliseconds(30));
    w.FirmwareUpdateButSlot();
    // Mode switch, two version reads and the restart into the boot loader
    // are still under way when the slot returns.
    QCOMPARE(m_frame->commandsSeen(kReboot), 0u);
    QVERIFY(w.isUpdateRunning());
    MyMessageBox::clearShownBoxes();
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(w.statusMessageId(), 10);
    QVERIFY(w.isVisible());
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());
    QVERIFY(waitUntil([&] { return m_frame->commandsSeen(kReboot) == 1; }));
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(waitUntil([&] { return !w.isUpdateRunning() && w.statusMessageId() == 15; }));
    QCOMPARE(m_frame->commandsSeen(kReboot), 2u);
}

void TovrinDeviceTestWindowTest::unfinishedWriteIsOfferedForRestore_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("restore") << int(MyMessageBox::AnswerOk);
    QTest::newRow("keep") << int(MyMessageBox::AnswerCancel);
}

void TovrinDeviceTestWindowTest::unfinishedWriteIsOfferedForRestore()
{
    QFETCH(int, answer);
    namespace records = tovrin::records;
    std::vector<uint8_t> before;
    cutOffSlaveSave(*m_frame, before);
    if (QTest::currentTestFailed())
        return;

    // "Restore": the box is shown for real, photographed and answered;
    // "Keep": answered at once.
    // The records are checked (and written back) while the window goes on.
    std::unique_ptr<tovrin::test::Heartbeat> heartbeat;
    qint64 pauseUntilAsked = -1;
    QImage shot;
    QTimer watch;
    if (answer == MyMessageBox::AnswerOk) {
        MyMessageBox::setAutoAnswer(std::nullopt);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (MyMessageBox* box = tovrin::test::openBox()) {
                if (pauseUntilAsked < 0) {
                    pauseUntilAsked = heartbeat->longestPauseMs();  // before the picture
                    return;
                }
                if (shot.isNull()) {
                    shot = box->grab().toImage();
                    return;
                }
                watch.stop();
                heartbeat = std::make_unique<tovrin::test::Heartbeat>();  // the picture is not the window's pause
                QTest::keyClick(box, Qt::Key_Return);  // the first button: "Restore"
            }
        });
        watch.start(20);
    } else {
        MyMessageBox::setAutoAnswer(answer);
    }
    m_frame->setReportLatency(std::chrono::milliseconds(30));
    Tovrin w;
    w.show();
    heartbeat = std::make_unique<tovrin::test::Heartbeat>();
    QVERIFY(waitUntil([&] { return !MyMessageBox::shownBoxes().isEmpty(); }));
    if (answer != MyMessageBox::AnswerOk)
        pauseUntilAsked = heartbeat->longestPauseMs();
    qint64 restorePause = 0;
    if (answer == MyMessageBox::AnswerOk) {
        QVERIFY(waitUntil([&] { return !shot.isNull(); }));
        QVERIFY(waitForStatus(w, 19));
        restorePause = heartbeat->longestPauseMs();
        saveShot(shot, QStringLiteral("tovrin-restore-offer"));
        MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    }
    const auto box = MyMessageBox::shownBoxes().first();
    QCOMPARE(box.labels, (QStringList{"Restore", "Keep"}));
    QVERIFY(box.message.contains(QStringLiteral("Restore the records it replaced?")));
    m_frame->setReportLatency(std::chrono::microseconds(0));
    // The window's start (the records' check) is one pause with the frame's
    // detection; a window that waited for the check paused far longer.
    QVERIFY2(pauseUntilAsked < 200, qPrintable(QString::number(pauseUntilAsked)));
    QVERIFY2(restorePause < 200, qPrintable(QString::number(restorePause)));
    if (answer == MyMessageBox::AnswerOk) {
        QVERIFY(waitForStatus(w, 19));
        QCOMPARE(m_frame->readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset, records::kCalInfoSize), before);
        QVERIFY(!records::journalHasOpenEntries());
    } else {
        QTest::qWait(200);
        QVERIFY(!m_frame->calibrationRecordValid(sim::Unit::Slave));
        QVERIFY(records::journalHasOpenEntries());
    }
}

QTEST_MAIN(TovrinDeviceTestWindowTest)
#include "TovrinDeviceTestWindowTest.moc"
