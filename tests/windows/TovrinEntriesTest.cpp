// The engineering window's entries as they are wired, on the simulated
// frame: every button reaches its job; the leveling, calibration, settings,
// key and device-information windows open between calibration and work
// mode; a whole calibration touched by the simulated finger runs from the
// Calibrate button to "Calibrate completed"; Step Debug reads a register
// into the output box.

#include "WindowTestSupport.h"

#include "calibration/run/RunState.h"
#include "calibration/ui/CalibrationWin.h"
#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "keys/ui/KeyCalibrationWin.h"
#include "maintenance/serviceui/K274_3DebugWin.h"
#include "leveling/ui/AdjustScreenWin.h"
#include "sim/Fingers.h"
#include "windows/PreviewPage.h"
#include "windows/SetWin.h"
#include "windows/Tovrin.h"
#include "windows/TovrinDebugPage.h"
#include "windows/TovrinEntries.h"
#include "tests/support/Files.h"

#include <QApplication>
#include <QScreen>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace windows = tovrin::windows;
using Id = windows::DebugPage::ButtonId;

namespace {

QPushButton* button(Tovrin& w, Id id) { return w.debugPage()->button(id); }

constexpr int kRunTimeoutMs = 60000;

// What a modal window saw when it came up: its class and the frame's mode.
struct ModalSeen {
    QString className;
    uint8_t mode = 0;
};

// Closes the next dialog the main window opens once it is up, noting what it
// was and the frame's mode at that moment.
void closeNextDialog(QWidget* mainWindow, ModalSeen& seen, const std::shared_ptr<sim::SimulatedFrame>& frame)
{
    QTimer::singleShot(20, mainWindow, [mainWindow, &seen, frame] {
        QDialog* shown = nullptr;
        for (QDialog* d : mainWindow->findChildren<QDialog*>())
            if (d->isVisible() && d->isWindow())
                shown = d;
        if (!shown) {
            closeNextDialog(mainWindow, seen, frame);
            return;
        }
        seen.className = QString::fromLatin1(shown->metaObject()->className());
        seen.mode = frame->mode();
        QTest::keyClick(shown, Qt::Key_Escape);
        if (shown->isVisible())
            shown->close();
    });
}

} // namespace

class TovrinEntriesTest : public WindowTest {
    Q_OBJECT
public:
    TovrinEntriesTest() : WindowTest(2) {}

protected:
    void initOne() override
    {
        tovrin::leveling::AdjustScreenWin::setPauseScale(0.02);
        windows::overridePreviewSource({});
    }

private slots:
    void everyEntryIsWiredAndEnabled();
    void levelingOpensItsWindowAndEscapeReturnsToWork();
    void aWholeCalibrationFromTheCalibrateButton();
    void modalEntriesRunBetweenCalibrationAndWorkMode_data();
    void modalEntriesRunBetweenCalibrationAndWorkMode();
    void stepDebugReadsIntoTheOutputBox();
    void thresholdWriteNeverHoldsTheWindow();
};

void TovrinEntriesTest::everyEntryIsWiredAndEnabled()
{
    for (int e = 0; e <= static_cast<int>(windows::Entry::DeviceInfo); ++e)
        QVERIFY2(windows::entryAvailable(static_cast<windows::Entry>(e)),
                 windows::entryName(static_cast<windows::Entry>(e)));
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    for (Id id : {Id::Leveling, Id::Calibrate, Id::Set, Id::Shortcuts, Id::KeyTest, Id::Download, Id::RunScript,
                  Id::EraseFlash, Id::ReadFlash, Id::WriteFlash, Id::Write, Id::Read, Id::FingerInto,
                  Id::DeviceInfo, Id::Preview}) {
        QVERIFY(button(w, id)->isEnabled());
        QVERIFY(!button(w, id)->toolTip().contains(QStringLiteral("not yet available")));
    }
}

void TovrinEntriesTest::levelingOpensItsWindowAndEscapeReturnsToWork()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // The preview runs: the guard stops it before the leveling takes the frame.
    button(w, Id::Preview)->click();
    QVERIFY(w.debugPage()->preview()->isRunning());
    button(w, Id::Leveling)->click();
    QVERIFY(!w.debugPage()->preview()->isRunning());
    // The leveling window opens once the preview's worker has ended.
    QPointer<tovrin::leveling::AdjustScreenWin> first;
    QVERIFY(QTest::qWaitFor(
        [&] {
            first = w.findChild<tovrin::leveling::AdjustScreenWin*>(QString(), Qt::FindDirectChildrenOnly);
            return !first.isNull();
        },
        kDeviceTimeoutMs));
    QVERIFY(first->isVisible());
    QCOMPARE(m_frame->mode(), sim::kModeCalibration);
    QVERIFY(QTest::qWaitFor([&] { return first->width() >= 640 && first->framesAvailable(); }, kDeviceTimeoutMs));
    QTest::qWait(200);
    saveShot(first->grab().toImage(), QStringLiteral("entry-leveling"));
    QTest::keyClick(first, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));

    // A second leveling replaces the first window; the frame is prepared
    // (calibration mode, firmware match, search window) while the window
    // goes on, however slowly the frame answers.
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(30),
                                        [&] { button(w, Id::Leveling)->click(); }, [&] { return first.isNull(); });
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(w.findChildren<tovrin::leveling::AdjustScreenWin*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    QPointer<tovrin::leveling::AdjustScreenWin> second =
        w.findChild<tovrin::leveling::AdjustScreenWin*>(QString(), Qt::FindDirectChildrenOnly);
    QTest::keyClick(second, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));

    // A leveling asked for while the Calibrate entry prepares the frame takes
    // its place: the preparation ends, and no calibration window opens.
    m_frame->setReportLatency(std::chrono::milliseconds(100));
    button(w, Id::Calibrate)->click();
    button(w, Id::Leveling)->click();
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QVERIFY(QTest::qWaitFor([&] { return second.isNull(); }, kDeviceTimeoutMs));
    auto* third = w.findChild<tovrin::leveling::AdjustScreenWin*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(third && third->isVisible());
    QTest::qWait(200);
    QVERIFY(!w.findChild<tovrin::calib::ui::CalibrationWin*>());
    QTest::keyClick(third, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));
}

void TovrinEntriesTest::aWholeCalibrationFromTheCalibrateButton()
{
    // The calibration window covers the screen the test runs on.
    useFinger(*m_frame, QGuiApplication::primaryScreen()->size(), true);
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // The frame is prepared (calibration mode, firmware, screen record) while
    // the window goes on, however slowly the frame answers.
    tovrin::calib::ui::CalibrationWin* calibration = nullptr;
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300),
                                        [&] { button(w, Id::Calibrate)->click(); },
                                        [&] { return (calibration = w.findChild<tovrin::calib::ui::CalibrationWin*>()); });
    QVERIFY2(calibration, qPrintable(QStringLiteral("status %1").arg(w.statusMessageId())));
    VERIFY_BRIEF_PAUSE(pause);
    QPointer<tovrin::calib::ui::CalibrationWin> alive(calibration);
    // Stored: the window shows the calibration's quality until it is left.
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull() || alive->qualityPage().active(); }, kRunTimeoutMs));
    QVERIFY(!alive.isNull());
    alive->ReturnSlot();
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull() || !alive->isVisible(); }, kDeviceTimeoutMs));
    QVERIFY(QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeWork; }, kDeviceTimeoutMs));
    QVERIFY(waitForStatus(w, 107));  // "Calibrate completed!", once handed back
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Master));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Slave));
}

void TovrinEntriesTest::modalEntriesRunBetweenCalibrationAndWorkMode_data()
{
    QTest::addColumn<int>("buttonId");
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("modeShown");
    // A frame that answers each report after 300 ms: the entry prepares it
    // and hands it back without holding the main window.
    QTest::addColumn<bool>("slowFrame");
    // The settings window puts the frame back to work while it is open.
    QTest::newRow("Set") << static_cast<int>(Id::Set) << QStringLiteral("tovrin::windows::SetWin")
                         << static_cast<int>(sim::kModeWork) << true;
    // The key window decides for itself (work mode once it refuses for want
    // of a key layout, or for its key test).
    QTest::newRow("Shortcuts") << static_cast<int>(Id::Shortcuts)
                               << QStringLiteral("tovrin::keys::ui::KeyCalibrationWin") << -1 << false;
    // The key test opens in work mode; the frame's modes are switched while
    // the window goes on, however slowly the frame answers.
    QTest::newRow("Key Test") << static_cast<int>(Id::KeyTest) << QStringLiteral("tovrin::keys::ui::KeyTestWin")
                              << static_cast<int>(sim::kModeWork) << true;
    QTest::newRow("Device Info") << static_cast<int>(Id::DeviceInfo)
                                 << QStringLiteral("tovrin::deviceinfo::ReadWriteDeviceInfo")
                                 << static_cast<int>(sim::kModeCalibration) << true;
    QTest::newRow("K274_3 Debug") << static_cast<int>(Id::FingerInto)
                                  << QStringLiteral("tovrin::maintenance::K274_3DebugWin")
                                  << static_cast<int>(sim::kModeCalibration) << true;
}

void TovrinEntriesTest::modalEntriesRunBetweenCalibrationAndWorkMode()
{
    QFETCH(int, buttonId);
    QFETCH(QString, window);
    QFETCH(int, modeShown);
    QFETCH(bool, slowFrame);
    // A key layout: the key test without one would report back at once.
    if (buttonId == static_cast<int>(Id::KeyTest))
        QVERIFY(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), "[Top_Key]\nGroupCnt=1\nGroup1_Num=2\n"));
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    ModalSeen seen;
    closeNextDialog(&w, seen, m_frame);
    // A window whose opening steps run in a worker comes up after the click;
    // then back to work behind the window (in the window's workers).
    const qint64 pause = pauseWhileSlow(
        *m_frame, std::chrono::milliseconds(slowFrame ? 300 : 0),
        [&] { button(w, static_cast<Id>(buttonId))->click(); },
        [&] {
            const auto* task = w.findChild<QThread*>(QStringLiteral("windowTask"), Qt::FindDirectChildrenOnly);
            return !seen.className.isEmpty() && m_frame->mode() == sim::kModeWork && (!task || !task->isRunning());
        });
    QCOMPARE(seen.className, window);
    if (modeShown >= 0)
        QCOMPARE(static_cast<int>(seen.mode), modeShown);
    QVERIFY2(pause >= 0, "the entry never handed the frame back");
    if (slowFrame)
        VERIFY_BRIEF_PAUSE(pause);
    QVERIFY(w.isConnected());
}

void TovrinEntriesTest::stepDebugReadsIntoTheOutputBox()
{
    m_frame->setFpgaRegister(sim::Unit::Master, 0x35, 0x0F);
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    w.debugPage()->regAddrEdit()->setText(QStringLiteral("35"));
    w.debugPage()->sensorBox()->setChecked(false);
    w.debugPage()->slaveBox()->setChecked(false);
    w.SlaveCButSlot();
    // The switches and the request go out while the window goes on, however
    // slowly the frame answers.
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300), [&] { button(w, Id::Read)->click(); },
                                        [&] {
                                            return m_frame->mode() == sim::kModeWork
                                                   && w.debugPage()->outputBox()->toPlainText().contains(QStringLiteral(
                                                       "Master: FPGASingleRead Addr: 0x0035  value: 0x0f"));
                                        });
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(w.debugPage()->regAddrEdit()->text(), QStringLiteral("0x35"));
    QCOMPARE(w.debugPage()->regValueEdit()->text(), QStringLiteral("0x0f"));
}

// The K274_3 Debug dialog writes a new threshold into both units on a frame
// that answers each report after 300 ms: the window goes on meanwhile.
void TovrinEntriesTest::thresholdWriteNeverHoldsTheWindow()
{
    const std::vector<uint8_t> record{'T', 'E', 'S', 'T', 0xC0, 0x0A, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1};
    m_frame->setFlash(sim::Unit::Master, 0x1A000, record);
    m_frame->setFlash(sim::Unit::Slave, 0x1A000, record);
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // The dialog runs modal: the test acts on it from the event loop.
    bool clicked = false;
    QString written;
    std::function<void()> act = [&] {
        auto* dialog = w.findChild<tovrin::maintenance::K274_3DebugWin*>();
        if (dialog && dialog->isVisible() && !clicked) {
            dialog->choiceButton(3)->setChecked(true);
            QTest::mouseClick(dialog->writeButton(), Qt::LeftButton);
            clicked = true;
        }
        if (dialog && clicked && !dialog->statusText().isEmpty()) {
            written = dialog->statusText();
            dialog->close();
            return;
        }
        QTimer::singleShot(20, &w, act);
    };
    QTimer::singleShot(20, &w, act);
    const qint64 pause = pauseWhileSlow(
        *m_frame, std::chrono::milliseconds(300), [&] { button(w, Id::FingerInto)->click(); },
        [&] {
            const auto* task = w.findChild<QThread*>(QStringLiteral("windowTask"), Qt::FindDirectChildrenOnly);
            return !written.isEmpty() && m_frame->mode() == sim::kModeWork && (!task || !task->isRunning());
        },
        kRunTimeoutMs);
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(written, QStringLiteral("Flash Write Success!"));
    QCOMPARE(m_frame->flashByte(sim::Unit::Master, 0x1A005), uint8_t{0x10});
    QCOMPARE(m_frame->flashByte(sim::Unit::Slave, 0x1A005), uint8_t{0x10});
    QVERIFY(w.isConnected());
}

QTEST_MAIN(TovrinEntriesTest)
#include "TovrinEntriesTest.moc"
