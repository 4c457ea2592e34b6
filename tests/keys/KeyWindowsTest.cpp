// The key windows on the simulated frame: a key calibration that ends in
// the key test, the key test lighting the key under the finger (the mouse),
// refusals before anything is captured, a store that fails, a lost frame,
// the keyboard; screenshots at 1920 and 1024.
#include "tests/windows/WindowTestSupport.h"
#include "KeyFrame.h"

#include "keys/core/KeyCalibrationThread.h"
#include "jobs/TaskWorker.h"
#include "keys/core/KeyEntry.h"
#include "keys/ui/KeyCalibrationWin.h"
#include "keys/ui/KeyLaunch.h"
#include "keys/ui/KeyTestWin.h"
#include "calibration/ui/MouseFinger.h"
#include "keys/ui/FingerKeys.h"
#include "sim/Fingers.h"
#include "sim/IdealCalibration.h"
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"
#include "sim/KeyPanel.h"
#include "tests/support/RecordingTransport.h"
#include "widgets/Button.h"
#include "widgets/MyMessageBox.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"
#include "tests/support/Heartbeat.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <thread>
#include <utility>

using namespace tovrin;
using namespace tovrin::keys;
using namespace tovrin::windows::test;
using tovrin::keys::ui::KeyCalibrationWin;
using tovrin::keys::ui::KeyTestWin;

namespace {

void writeFile(const char* name, const char* text)
{
    QVERIFY(tovrin::test::writeFile(QString::fromLatin1(name), text));
}

QSize windowOf(int screen) { return screen >= 1920 ? QSize(1920, 1080) : QSize(1024, 768); }

std::vector<int> codesOf(const QSignalSpy& spy)
{
    std::vector<int> codes;
    for (const auto& args : spy)
        codes.push_back(args.at(0).toInt());
    return codes;
}

using KeyEntry = void (*)(QWidget*, jobs::TaskWorker&, std::function<void(int)>, std::function<void(int)>);
constexpr int kNoAnswer = -2;

// A key entry as the engineering window runs it, waited for: the message id
// it shows, or -1 once the key window opened.
int runEntry(KeyEntry entry, std::function<void(int)> showData = {})
{
    jobs::TaskWorker task;
    int messageId = kNoAnswer;
    entry(nullptr, task, std::move(showData), [&](int id) { messageId = id; });
    (void)QTest::qWaitFor([&] { return messageId != kNoAnswer; }, kDeviceTimeoutMs);
    return messageId;
}

// The key window of that class the entry opened, while it is shown.
template <class Window>
Window* shownKeyWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(w); window && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class KeyWindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFolder> m_folder;
    std::shared_ptr<sim::SimulatedFrame> m_frame;
    std::shared_ptr<tovrin::test::RecordingTransport> m_wire;

    // A frame calibrated for its optics. The windows print the keys of
    // Tovrin.ini on it when they find it behind the link; behind a recording
    // link (wire) they cannot, so the test prints them.
    void openFrame(bool autoTouch, bool wire = false)
    {
        m_frame = installFrame(false);
        sim::writeIdealCalibration(*m_frame, m_frame->fingers().optics(0));
        if (wire) {
            m_wire = std::make_shared<tovrin::test::RecordingTransport>(sim::makeSimTransport(m_frame));
            device::setTransport(m_wire);
            m_frame->keyPanel().printKeys(groupSizesByEdge(readKeyConfiguration()));
        }
        QVERIFY(tovrin::test::openFrameLink());
        autoFinger(autoTouch);
        QVERIFY(device::SwitchModeChecked(device::mode::Calibration).ok);
    }

    void autoFinger(bool on) { keys::test::autoTouch(*m_frame, on); }

    // The hook of --simulate: the mouse on a touch surface is the frame's
    // finger (start-up installs it on the application the same way).
    std::unique_ptr<calib::ui::MouseFinger> mouseFinger()
    {
        calib::ui::MouseFinger::Hands hands;
        auto frame = m_frame;
        hands.down = [frame](QPointF p) { frame->fingers().press(p.x(), p.y()); };
        hands.move = [frame](QPointF p) { frame->fingers().move(p.x(), p.y()); };
        hands.up = [frame] { frame->fingers().lift(); };
        auto hook = std::make_unique<calib::ui::MouseFinger>(std::move(hands));
        qApp->installEventFilter(hook.get());
        return hook;
    }

    // The keys of Tovrin.ini calibrated and stored, the frame in work mode.
    void storeKeys()
    {
        openFrame(true);
        const KeyConfiguration c = readKeyConfiguration();
        ui::printKeysForFinger(c);
        KeyRunState state;
        KeyCalibrationJob job(layOutKeys(c, 1920, 1080), 1920, 1080, readKeyCodes(), state);
        bool stored = false;
        job.run([&](int code) {
            state.repaint = 0;
            stored = stored || code == keycode::kStored;
        });
        QVERIFY(stored);
        QVERIFY(m_frame->keyPanel().hasPrintedKeys());
        autoFinger(false);
        QVERIFY(device::SwitchModeChecked(device::mode::Work).ok);
    }

    // `step` comes true while the frame answers each report after `latency`
    // (it may change that meanwhile), and the event loop never pauses
    // 200 ms: the window waits on the frame in no step of its own.
    bool withoutPause(const char* what, std::chrono::milliseconds latency, const std::function<bool()>& step)
    {
        m_frame->setReportLatency(latency);
        tovrin::test::Heartbeat heartbeat;
        const bool done = step();
        const qint64 pause = heartbeat.longestPauseMs();
        m_frame->setReportLatency(std::chrono::microseconds(0));
        if (pause >= 200)
            qWarning("%s: the event loop paused %lld ms", what, static_cast<long long>(pause));
        return done && pause < 200;
    }

private slots:
    void initTestCase()
    {
        m_folder = std::make_unique<AppFolder>();
        QVERIFY2(m_folder->isValid(), "the generated skin is missing from the application folder");
        setSleeper([](int) { std::this_thread::yield(); });
    }
    void init()
    {
        useScreen(1920);
        writeFile("Tovrin.ini", keys::test::kThreeEdges);
        writeFile("Tovrin_Key.ini", keys::test::kThreeCodes);
        widgets::MyMessageBox::setAutoAnswer(widgets::MyMessageBox::AnswerCancel);
    }
    void cleanup()
    {
        device::setTransport(nullptr);
        m_frame.reset();
        m_wire.reset();
    }

    void calibrationScreenshots_data()
    {
        addScreenRows("%d");
    }

    // The first corner to touch, and the window after the whole run: the key
    // test in the same window with a key lit. The frame's modes are switched
    // and the workers restarted while the window goes on, however slowly the
    // frame answers.
    void calibrationScreenshots()
    {
        QFETCH(int, screen);
        useScreen(screen);
        openFrame(false);
        QVERIFY(device::SwitchModeChecked(device::mode::Work).ok);
        KeyCalibrationWin w(nullptr, windowOf(screen));
        QSignalSpy shown(&w, &KeyCalibrationWin::sendShowData);
        QVERIFY(withoutPause("calibration mode", std::chrono::milliseconds(300), [&] {
            w.show();
            return QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeCalibration; }, kDeviceTimeoutMs);
        }));
        QVERIFY(QTest::qWaitFor([&] { return w.calibrationThread()->state().target.load() >= 0; }, kDeviceTimeoutMs));
        QTest::qWait(20);
        QCOMPARE(w.statusMessageId(), 79);
        saveShot(w.grab().toImage(), QStringLiteral("keycal-first-target-%1").arg(screen));

        // Stored: the frame turns slow as the run ends, before the window
        // puts it in work mode for the key test.
        auto frame = m_frame;
        connect(w.calibrationThread(), &KeyCalibrationThread::sendData, &w, [frame](int code) {
            if (code == keycode::kStored)
                frame->setReportLatency(std::chrono::milliseconds(300));
        }, Qt::DirectConnection);
        QVERIFY(withoutPause("work mode for the key test", std::chrono::milliseconds(0), [&] {
            autoFinger(true);
            return QTest::qWaitFor(
                [&] { return w.mode() == KeyCalibrationWin::Mode::Test && m_frame->mode() == sim::kModeWork; },
                kDeviceTimeoutMs);
        }));
        QCOMPARE(codesOf(shown), (std::vector<int>{5, 6}));
        QVERIFY(keys::test::touchKey(*m_frame, kEdgeRight, 2));
        QVERIFY(QTest::qWaitFor([&] { return w.shownKey() == PressedKey{kEdgeRight, 2}; }, kDeviceTimeoutMs));
        QTest::qWait(30);
        QCOMPARE(w.testMessageId(), 82);
        saveShot(w.grab().toImage(), QStringLiteral("keycal-test-mode-lit-%1").arg(screen));
        m_frame->fingers().lift();
        QVERIFY(QTest::qWaitFor([&] { return w.shownKey() == PressedKey{}; }, kDeviceTimeoutMs));

        // The test button starts the key test afresh once the running one,
        // in a request to the slow frame, has ended: pressed as a key
        // report comes in, while the next one is under way.
        int testsStarted = 0;
        bool pressOnReport = false;
        auto* testButton = w.findChild<widgets::Button*>(QStringLiteral("testButton"));
        connect(w.testThread(), &KeyTestThread::sendData, &w, [&](int code) {
            testsStarted += code == testcode::kTesting;
            if (code == testcode::kRepaint && std::exchange(pressOnReport, false))
                QTest::mouseClick(testButton, Qt::LeftButton);
        }, Qt::QueuedConnection);
        QVERIFY(withoutPause("key test afresh", std::chrono::milliseconds(500), [&] {
            pressOnReport = true;
            return QTest::qWaitFor([&] { return testsStarted > 0; }, kDeviceTimeoutMs);
        }));

        // Shortcuts from the key test: a new calibration, in calibration mode.
        autoFinger(false);
        QVERIFY(withoutPause("a new calibration", std::chrono::milliseconds(300), [&] {
            QTest::mouseClick(w.findChild<widgets::Button*>(QStringLiteral("calibrateButton")), Qt::LeftButton);
            return QTest::qWaitFor([&] { return m_frame->mode() == sim::kModeCalibration; }, kDeviceTimeoutMs);
        }));
        QCOMPARE(w.mode(), KeyCalibrationWin::Mode::Calibration);
        QCOMPARE(codesOf(shown), (std::vector<int>{5, 6, 5}));
    }

    void keyTestScreenshots_data() { calibrationScreenshots_data(); }

    // The standalone key test, the mouse as the finger.
    void keyTestScreenshots()
    {
        QFETCH(int, screen);
        useScreen(screen);
        storeKeys();
        const auto hook = mouseFinger();
        KeyTestWin w(nullptr, windowOf(screen));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect* key = w.depiction().key(kEdgeLeft, 4);
        QVERIFY(key);
        QTest::mousePress(&w, Qt::LeftButton, {}, key->center());
        QVERIFY(QTest::qWaitFor([&] { return w.shownKey() == PressedKey{kEdgeLeft, 4}; }, kDeviceTimeoutMs));
        QTest::qWait(30);
        QCOMPARE(w.statusMessageId(), 82);
        saveShot(w.grab().toImage(), QStringLiteral("keytest-lit-%1").arg(screen));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, key->center());
        QVERIFY(QTest::qWaitFor([&] { return w.shownKey() == PressedKey{}; }, kDeviceTimeoutMs));
        // The bottom keys too, at another place of the key.
        const QRect* bottom = w.depiction().key(kEdgeBottom, 1);
        QTest::mousePress(&w, Qt::LeftButton, {}, bottom->topLeft() + QPoint(bottom->width() / 4, bottom->height() / 3));
        QVERIFY(QTest::qWaitFor([&] { return w.shownKey() == PressedKey{kEdgeBottom, 1}; }, kDeviceTimeoutMs));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, bottom->center());
    }

    void anUnfinishedTouchCalibrationIsOfferedBack_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addRow("restore") << true;
        QTest::addRow("keep") << false;
    }

    // A touch calibration that an unfinished write left invalid: the key
    // calibration offers the journal's record back and opens once it is
    // back; kept, the entry is refused as before.
    void anUnfinishedTouchCalibrationIsOfferedBack()
    {
        QFETCH(bool, restore);
        QDir(records::journalFolder()).removeRecursively();
        openFrame(false);
        QVERIFY(records::eraseCalibrationRecord(records::UnitId::Slave));  // a store cut off after its erase
        QVERIFY(!m_frame->calibrationRecordValid(sim::Unit::Slave));
        widgets::MyMessageBox::clearShownBoxes();
        widgets::MyMessageBox::setAutoAnswer(restore ? widgets::MyMessageBox::AnswerOk : widgets::MyMessageBox::AnswerCancel);
        bool opened = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<KeyCalibrationWin*>(w) && w->isVisible()) {
                    opened = true;
                    w->close();
                }
        });
        look.start(50);
        // The records are read, and written back, while the window goes on
        // (the frame slow to answer: 20 ms a report, the offer reads many).
        int entry = kNoAnswer;
        QVERIFY(withoutPause("the offer", std::chrono::milliseconds(20), [&] {
            entry = runEntry(ui::runKeyCalibration);
            return QTest::qWaitFor([&] { return opened == restore && !shownKeyWindow<KeyCalibrationWin>(); },
                                   kDeviceTimeoutMs);
        }));
        look.stop();
        QCOMPARE(entry, restore ? -1 : kCalibrateFirstMessage);
        QCOMPARE(opened, restore);
        QCOMPARE(widgets::MyMessageBox::shownBoxes().size(), 1);
        QCOMPARE(widgets::MyMessageBox::shownBoxes().first().labels, (QStringList{"Restore", "Keep"}));
        QCOMPARE(m_frame->calibrationRecordValid(sim::Unit::Slave), restore);
        QCOMPARE(records::journalHasOpenEntries(), !restore);
    }

    void keyTestShowsOnlyKeysOfTheLayout()
    {
        openFrame(false);
        KeyTestWin w(nullptr, QSize(1920, 1080));
        w.show();
        struct Row {
            int edge, number;
            PressedKey shown;
        };
        for (Row r : {Row{1, 1, {1, 1}}, Row{2, 0, {}}, Row{5, 1, {}}, Row{0, 0, {}}, Row{2, 9, {}}, Row{3, 2, {3, 2}}}) {
            m_frame->setKeyState(static_cast<uint8_t>(r.edge), static_cast<uint8_t>(r.number));
            QVERIFY(QTest::qWaitFor([&] { return w.thread()->state().edge.load() == (r.number > 0 ? r.edge : 0); }, 5000));
            QCOMPARE(w.shownKey(), r.shown);
        }
    }

    void keyTestWithoutKeysSaysSo()
    {
        writeFile("Tovrin.ini", "[Top_Key]\nGroupCnt=0\n");
        openFrame(false);
        KeyTestWin w(nullptr, QSize(1024, 768));
        QSignalSpy shown(&w, &KeyTestWin::sendShowData);
        w.show();
        QTest::qWait(50);
        QCOMPARE(w.statusMessageId(), 78);  // the test's own texts do not hide it
        QCOMPARE(codesOf(shown), std::vector<int>{6});
    }

    void keyTestClosesWhenTheFrameIsGone()
    {
        openFrame(false);
        KeyTestWin w(nullptr, QSize(1024, 768));
        QSignalSpy shown(&w, &KeyTestWin::sendShowData);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.statusMessageId() == 82; }, 5000));
        device::g_bDevExist = 0;
        QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
        QCOMPARE(w.statusMessageId(), 61);
        QCOMPARE(codesOf(shown), std::vector<int>{3});
        QVERIFY(!w.thread()->isRunning());
    }

    void refusedBeforeAnyCapture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("message");
        QTest::addColumn<std::vector<int>>("codes");
        QTest::addRow("layout beyond the record")
            << "Tovrin.ini" << "[Left_Key]\nGroupCnt=2\nGroup1_Num=20\nGroup2_Num=3\n" << 78 << std::vector<int>{5, 6};
        QTest::addRow("key codes that cannot be stored") << "Tovrin_Key.ini" << "[Key_Value]\nKeyCnt=1000\n" << 78
                                                         << std::vector<int>{5, 6};
        // The run switches the frame to calibration mode itself; a refusal
        // (both tries of the switch) ends it and the window says so.
        QTest::addRow("calibration mode refused") << QString() << QString() << 142 << std::vector<int>{5};
    }

    void refusedBeforeAnyCapture()
    {
        QFETCH(QString, file);
        QFETCH(QString, text);
        QFETCH(int, message);
        QFETCH(std::vector<int>, codes);
        if (!file.isEmpty())
            writeFile(qPrintable(file), qPrintable(text));
        openFrame(!file.isEmpty());
        if (file.isEmpty())
            m_frame->answerNextWithStatus(0xFF, 2, 14);
        KeyCalibrationWin w(nullptr, QSize(1024, 768));
        QSignalSpy shown(&w, &KeyCalibrationWin::sendShowData);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.statusMessageId() == message; }, kDeviceTimeoutMs));
        QVERIFY(w.calibrationThread()->hasEnded());
        QCOMPARE(m_frame->commandsSeen(30), uint64_t(0));
        QCOMPARE(m_frame->commandsSeen(11), uint64_t(0));
        QCOMPARE(codesOf(shown), codes);
    }

    void aFailedStoreSays71AndKeepsTheRecords()
    {
        openFrame(true, true);
        const auto slave = m_frame->readFlash(sim::Unit::Slave, 0x11000, 1354);
        const auto master = m_frame->readFlash(sim::Unit::Master, 0x11000, 1354);
        auto frame = m_frame;
        m_wire->setBeforeWrite([frame](const tovrin::test::WireReport& r) {
            if (r[1] == 13 && r[3] == 0x10 && r[4] == 0x01)  // the Master record's erase
                frame->answerNextWithStatus(0xFF, 1, 13);
        });
        KeyCalibrationWin w(nullptr, QSize(1024, 768));
        QSignalSpy shown(&w, &KeyCalibrationWin::sendShowData);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.statusMessageId() == 71; }, kDeviceTimeoutMs));
        QTest::qWait(30);
        QCOMPARE(w.mode(), KeyCalibrationWin::Mode::Calibration);
        QCOMPARE(codesOf(shown), std::vector<int>{5});
        QCOMPARE(m_frame->readFlash(sim::Unit::Slave, 0x11000, 1354), slave);
        QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x11000, 1354), master);
        saveShot(w.grab().toImage(), QStringLiteral("keycal-store-failed-1024"));
    }

    void keyboardAndExit()
    {
        openFrame(false);
        KeyCalibrationWin w(nullptr, QSize(1024, 768));
        QSignalSpy shown(&w, &KeyCalibrationWin::sendShowData);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.calibrationThread()->state().target.load() >= 0; }, kDeviceTimeoutMs));
        auto* reset = w.findChild<widgets::Button*>(QStringLiteral("resetButton"));
        QVERIFY(!reset->isButtonEnabled());
        QTest::keyClick(&w, Qt::Key_Backspace);  // at the first corner: nothing to go back to
        QCOMPARE(w.calibrationThread()->state().pointIndex.load(), 0);
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(w.focusPlace(), 1);
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(w.focusPlace(), 2);
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(w.focusPlace(), 1);
        // Two corners captured with the mouse on the drawn circles (the
        // first key's corners: the finger goes to the printed key's), then
        // one back.
        const auto hook = mouseFinger();
        const auto key = *m_frame->keyPanel().printedKey(kEdgeLeft, 1);
        auto& run = w.calibrationThread()->state();
        const QPoint first = w.depiction().targets[0].depiction;
        QTest::mousePress(&w, Qt::LeftButton, {}, first);
        QVERIFY(m_frame->fingers().position());
        QCOMPARE(m_frame->fingers().position()->x, key.left);
        QCOMPARE(m_frame->fingers().position()->y, key.top);
        QVERIFY(QTest::qWaitFor([&] { return run.pointIndex.load() == 1; }, kDeviceTimeoutMs));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, first);
        QVERIFY(!m_frame->fingers().position());
        QTest::qWait(20);
        const QPoint second = w.depiction().targets[1].depiction;
        QTest::mousePress(&w, Qt::LeftButton, {}, second);
        QCOMPARE(m_frame->fingers().position()->x, key.right);
        QCOMPARE(m_frame->fingers().position()->y, key.bottom);
        QVERIFY(QTest::qWaitFor([&] { return run.pointIndex.load() == 2; }, kDeviceTimeoutMs));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, second);
        QTest::qWait(20);
        // Pressing a button is no touch.
        QTest::mousePress(reset, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!m_frame->fingers().position());
        QTest::mouseRelease(reset, Qt::LeftButton, {}, QPoint(5, 5));
        const int at = w.calibrationThread()->state().pointIndex.load();
        QVERIFY(at >= 1);
        QVERIFY(reset->isButtonEnabled());
        QTest::keyClick(&w, Qt::Key_Backspace);
        QCOMPARE(w.calibrationThread()->state().pointIndex.load(), at - 1);
        QTest::keyClick(&w, Qt::Key_Escape);  // the window closes once its workers have ended
        QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, kDeviceTimeoutMs));
        QCOMPARE(codesOf(shown), (std::vector<int>{5, 2}));
        QVERIFY(!w.calibrationThread()->isRunning());
    }

    // Leaving while the key store waits for a frame slow to answer: the
    // window goes on meanwhile, the store runs to its end, and the window
    // closes once its worker has ended.
    void exitDuringTheStoreNeverWaits()
    {
        openFrame(true);
        m_frame->setReportLatency(std::chrono::milliseconds(2));
        KeyCalibrationWin w(nullptr, QSize(1024, 768));
        // The worker's codes as the window gets them, in its thread.
        std::vector<int> codes;
        connect(w.calibrationThread(), &KeyCalibrationThread::sendData, &w, [&](int c) { codes.push_back(c); },
                Qt::QueuedConnection);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return !codes.empty() && codes.back() == keycode::kProgress; }, kDeviceTimeoutMs));
        m_frame->setReportLatency(std::chrono::milliseconds(1500));
        QTest::qWait(100);
        QVERIFY(withoutPause("leaving", std::chrono::milliseconds(0), [&] {
            QTest::keyClick(&w, Qt::Key_Escape);
            return QTest::qWaitFor([&] { return !w.isVisible(); }, kDeviceTimeoutMs);
        }));
        QVERIFY(w.calibrationThread()->hasEnded());
        QVERIFY(w.testThread()->hasEnded());
    }

    void theShortcutsEntryNeedsATouchCalibration()
    {
        QDir(records::journalFolder()).removeRecursively();
        m_frame = installFrame(false);  // blank flash: no calibration
        QVERIFY(tovrin::test::openFrameLink());
        std::vector<int> codes;
        // Refused without holding the window, however slowly the frame answers
        // (30 ms a report: a frame without records refuses work mode after
        // many tries).
        int entry = kNoAnswer;
        QVERIFY(withoutPause("the refusal", std::chrono::milliseconds(30), [&] {
            entry = runEntry(ui::runKeyCalibration, [&](int c) { codes.push_back(c); });
            return true;
        }));
        QCOMPARE(entry, 46);
        QVERIFY(codes.empty());
        QCOMPARE(m_frame->commandsSeen(30), uint64_t(0));
    }

    void theKeyTestEntryOpensAndCloses()
    {
        storeKeys();
        std::vector<int> codes;
        // The frame's modes are switched while the window goes on, however
        // slowly the frame answers.
        int entry = kNoAnswer;
        QVERIFY(withoutPause("the key test entry", std::chrono::milliseconds(300), [&] {
            entry = runEntry(ui::runKeyTest, [&](int c) { codes.push_back(c); });
            KeyTestWin* test = shownKeyWindow<KeyTestWin>();
            if (test)
                QTest::keyClick(test, Qt::Key_Escape);
            return test && QTest::qWaitFor([] { return !shownKeyWindow<KeyTestWin>(); }, kDeviceTimeoutMs);
        }));
        QCOMPARE(entry, -1);
        QCOMPARE(codes, std::vector<int>{3});
        QCOMPARE(m_frame->mode(), uint8_t(0x22));
    }
};

QTEST_MAIN(KeyWindowsTest)
#include "KeyWindowsTest.moc"
