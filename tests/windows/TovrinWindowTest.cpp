// The engineering main window on the simulated frame: what its status line
// and buttons show for each detection outcome, its keyboard, the version
// display, reset, language change and the close question.

#include "WindowTestSupport.h"

#include "records/CalibrationRecord.h"
#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"
#include "widgets/Button.h"
#include "windows/Tovrin.h"
#include "windows/TovrinEntries.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <chrono>

using tovrin::widgets::Button;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::Tovrin;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;
namespace device = tovrin::device;
namespace shell = tovrin::shell;

namespace {

Button* tile(Tovrin& w, const char* name) { return w.findChild<Button*>(QString::fromLatin1(name)); }

// Every tile of the page, in no particular order.
QList<Button*> tiles(Tovrin& w)
{
    QList<Button*> out;
    for (Button* b : w.findChildren<Button*>()) {
        if (b->objectName() != QLatin1String("minimizeButton") && b->objectName() != QLatin1String("quitButton"))
            out << b;
    }
    return out;
}

} // namespace

class TovrinWindowTest : public WindowTest {
    Q_OBJECT
public:
    TovrinWindowTest() : WindowTest(1) {}

private slots:
    // Detection outcomes.
    void factoryFrameIsReady();
    void unplugAndReplug();
    void hardwareFaultShowsErrorWords();
    void uncalibratedFrameAsksForLeveling();

    // Layouts.
    void debugPageButtonsFollowTheFrame();

    // Keyboard and jobs.
    void tilesAndTabOrders_data();
    void tilesAndTabOrders();
    void returnOnTheFourthTileOpensShortcutCalibration();
    void returnOnTheVersionsTileShowsVersions();
    void dragMovesTheWindowAndHoverMovesTheFocusLook();
    void childWindowClosingWithTheFrameThereChangesNothing();
    void setRefusesAFirmwareWithoutSettings();
    void versionsSayWhyTheFrameWouldNotSwitch();
    void resetSucceedsOrFails();
    void withoutFrameJobsAskToReconnectAndEscapeCloses();
    void languageChangeRedrawsStatus();

    // Closing.
    void escapeWhileConnectedAsksFirst();
};

void TovrinWindowTest::factoryFrameIsReady()
{
    Tovrin w;
    QCOMPARE(w.statusMessageId(), 0);  // checking until the thread reports
    QVERIFY(!tile(w, "setButton")->isButtonEnabled());
    QVERIFY(waitForStatus(w, 15));
    QCOMPARE(w.statusText(), shell::context().text(15));
    QCOMPARE(w.statusText(), QStringLiteral("Devices check completed."));
    for (Button* b : tiles(w))
        QVERIFY2(b->isButtonEnabled(), qPrintable(b->objectName()));
    const QString log = logText();
    QVERIFY(log.contains(QStringLiteral("Tovrin log start!\n")));
    QVERIFY(log.contains(QStringLiteral("ChooseToolEnable = 1\n")));
    QVERIFY(log.contains(QStringLiteral("Open hid device success!PID:0x0055")));
}

void TovrinWindowTest::unplugAndReplug()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    QSignalSpy shown(&w, &Tovrin::statusShown);

    m_frame->unplug();
    QVERIFY(waitForStatus(w, 17));
    QCOMPARE(w.statusText(), QStringLiteral("Device not detected, please check the connection."));
    for (Button* b : tiles(w))
        QVERIFY2(!b->isButtonEnabled(), qPrintable(b->objectName()));
    QVERIFY(!w.isConnected());
    QVERIFY(logText().contains(QStringLiteral("Open hid device failed!\n")));

    shown.clear();
    m_frame->plug();
    QVERIFY(waitForStatus(w, 15));
    QCOMPARE(shownIds(shown), (QList<int>{0, 15}));
    for (Button* b : tiles(w))
        QVERIFY(b->isButtonEnabled());
}

void TovrinWindowTest::hardwareFaultShowsErrorWords()
{
    m_frame->setErrorWord(sim::Unit::Master, 0x02);
    m_frame->setErrorWord(sim::Unit::Slave, 0x100);
    Tovrin w;
    QVERIFY(waitForStatus(w, 142));
    QCOMPARE(w.statusText(), QStringLiteral("Equipment anomalies. Error code: 0x2, 0x100"));
}

void TovrinWindowTest::uncalibratedFrameAsksForLeveling()
{
    m_frame = installFrame(false);  // erased flash: neither leveled nor calibrated
    Tovrin w;
    QVERIFY(waitForStatus(w, 143));
    // Leveling and calibration are what the frame needs: they stay reachable.
    QVERIFY(tile(w, "levelingButton")->isButtonEnabled());
    QVERIFY(tile(w, "calibrateButton")->isButtonEnabled());
}

void TovrinWindowTest::debugPageButtonsFollowTheFrame()
{
    shell::context().toolFlavour = 2;
    Tovrin w;
    auto* test = w.findChild<QPushButton*>(QStringLiteral("testButton"));
    QVERIFY(test);
    QVERIFY(!test->isEnabled());
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(test->isEnabled());
    QVERIFY(!test->autoDefault());  // Return in a line edit presses nothing

    auto* addr = w.findChild<QLineEdit*>(QStringLiteral("regAddrEdit"));
    QVERIFY(addr);
    QTest::keyClicks(addr, QStringLiteral("0x1A_zz"));
    QCOMPARE(addr->text(), QStringLiteral("0x1A_"));

    m_frame->unplug();
    QVERIFY(waitForStatus(w, 17));
    QVERIFY(!test->isEnabled());
}

// The tiles of each flavour, inside the window and apart, in their Tab order.
void TovrinWindowTest::tilesAndTabOrders_data()
{
    QTest::addColumn<int>("flavour");
    QTest::addColumn<int>("shortcuts");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("user-like") << 0 << 0 << QStringList{"calibrateButton", "setButton", "aboutButton"};
    QTest::newRow("user-like, shortcuts") << 0 << 1
                                          << QStringList{"calibrateButton", "shortcutsButton", "setButton", "aboutButton"};
    QTest::newRow("full") << 1 << 0
                          << QStringList{"levelingButton", "setButton", "calibrateButton", "updateButton", "aboutButton"};
    QTest::newRow("full, shortcuts") << 1 << 1
                                     << QStringList{"levelingButton", "calibrateButton", "setButton", "shortcutsButton",
                                                    "updateButton", "aboutButton"};
}

void TovrinWindowTest::tilesAndTabOrders()
{
    QFETCH(int, flavour);
    QFETCH(int, shortcuts);
    QFETCH(QStringList, order);
    shell::context().toolFlavour = flavour;
    shell::writeSetting(QString::fromLatin1(shell::settings::Shortcuts_en.key), shortcuts);
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    QStringList found, names = order;
    for (Button* b : tiles(w))
        found << b->objectName();
    found.sort();
    names.sort();
    QCOMPARE(found, names);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("versionLabel"))->text(), QStringLiteral("V3.1.30"));
    for (Button* a : tiles(w)) {
        QVERIFY(w.rect().contains(a->geometry()));
        for (Button* b : tiles(w))
            QVERIFY(a == b || !a->geometry().intersects(b->geometry()));
    }
    QStringList visited;
    for (int i = 0; i < order.size() + 1; ++i) {
        QTest::keyClick(&w, Qt::Key_Tab);
        for (Button* b : tiles(w))
            if (b->currentLook() == Button::Look::Focus)
                visited << b->objectName();
    }
    QCOMPARE(visited, order + QStringList{order.first()});  // and round again
}

void TovrinWindowTest::returnOnTheFourthTileOpensShortcutCalibration()
{
    int opened = 0;
    tovrin::windows::overrideEntry(tovrin::windows::Entry::KeyCalibration,
                                   [&](tovrin::windows::EntryContext&) { ++opened; });
    shell::writeSetting(QString::fromLatin1(shell::settings::Shortcuts_en.key), 1);
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&w, Qt::Key_Tab);
    QTest::keyClick(&w, Qt::Key_Return);
    QCOMPARE(opened, 1);
    QTest::keyClick(&w, Qt::Key_Space);
    QCOMPARE(opened, 2);
    tovrin::windows::overrideEntry(tovrin::windows::Entry::KeyCalibration, {});
}

void TovrinWindowTest::dragMovesTheWindowAndHoverMovesTheFocusLook()
{
    Tovrin w;
    w.move(100, 100);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(waitForStatus(w, 15));
    // Hovering a tile gives it the focus look; Return then presses it.
    Button* about = tile(w, "aboutButton");
    QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), about->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(about, &hover);
    QCOMPARE(about->currentLook(), Button::Look::Focus);
    // A free spot of the window: the look goes, and a drag moves the window.
    const QPoint start = w.pos();
    const QPoint grip(w.width() / 2, w.height() - 60);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, grip);
    QMouseEvent drag(QEvent::MouseMove, QPointF(grip + QPoint(30, 20)), w.mapToGlobal(QPointF(grip + QPoint(30, 20))),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drag);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, grip + QPoint(30, 20));
    QCOMPARE(about->currentLook(), Button::Look::Normal);
    QCOMPARE(w.pos(), start + QPoint(30, 20));
}

void TovrinWindowTest::childWindowClosingWithTheFrameThereChangesNothing()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    w.recvShowData(3);  // a child window closing
    QTest::qWait(300);
    QCOMPARE(w.statusMessageId(), 15);
    QVERIFY(w.isConnected());
    QVERIFY(tile(w, "setButton")->isButtonEnabled());

    // A child window that leaves the frame in calibration mode (2) has it
    // switched back to work; the window goes on meanwhile, whatever the
    // frame takes to answer.
    QVERIFY(device::SwitchModeChecked(device::mode::Calibration).ok);
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300), [&] { w.recvShowData(2); },
                                        [&] { return m_frame->mode() == sim::kModeWork; });
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(w.statusMessageId(), 15);
}

void TovrinWindowTest::setRefusesAFirmwareWithoutSettings()
{
    // Master 1.1.130 does not match the Slave's 1.2.5.
    m_frame->eraseSector(sim::Unit::Master, sim::kVersionRecordOffset);
    m_frame->programFlash(sim::Unit::Master, sim::kVersionRecordOffset, std::array<uint8_t, 4>{0x82, 0x00, 0x01, 0x01});
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // The frame answers each report after 300 ms: the versions are read
    // while the window goes on.
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300), [&] { w.SetButSlot(); },
                                        [&] { return w.statusMessageId() == 45; });
    VERIFY_BRIEF_PAUSE(pause);
    QCOMPARE(w.statusText(), QStringLiteral("The current firmware without setting!"));
    QCOMPARE(m_frame->mode(), sim::kModeWork);
}

// The Master's version of 1.1.34 and an erased boot loader version on the
// Slave, shown as the boot loader's factory version.
void TovrinWindowTest::returnOnTheVersionsTileShowsVersions()
{
    const uint8_t erased[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    m_frame->setFlash(sim::Unit::Slave, sim::kVersionRecordOffset + 4, erased);
    m_frame->setFlash(sim::Unit::Master, sim::kVersionRecordOffset, std::array<uint8_t, 4>{0x22, 0x00, 0x01, 0x01});
    shell::writeSetting(QString::fromLatin1(shell::settings::Shortcuts_en.key), 1);
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(&w, Qt::Key_Tab);
    // Focus on the sixth tile (Versions): Return shows the versions, read
    // while the window goes on.
    MyMessageBox::clearShownBoxes();
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300),
                                        [&] { QTest::keyClick(&w, Qt::Key_Return); },
                                        [] { return !MyMessageBox::shownBoxes().isEmpty(); });
    VERIFY_BRIEF_PAUSE(pause);
    const auto boxes = MyMessageBox::shownBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Versions"));
    QCOMPARE(boxes[0].message, QStringLiteral("ToolID:3.1.30\n(M)FirmwareID: 1.1.34\n(S)FirmwareID: 1.2.5\nBootloaderID: 1.0.7"));
    QCOMPARE(boxes[0].buttons, 1);
    QVERIFY(logText().contains(QStringLiteral("BootloaderID: V1.0.7\n")));
    // The frame went back to work after the reading.
    QCOMPARE(m_frame->mode(), sim::kModeWork);
}

void TovrinWindowTest::versionsSayWhyTheFrameWouldNotSwitch()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    // Both tries of the switch into calibration mode refused.
    m_frame->answerNextWithStatus(sim::kStatusRefused, 2, 14);
    w.AboutButSlot();
    QVERIFY(waitForStatus(w, 142));
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());
    QVERIFY(w.statusText().startsWith(QStringLiteral("Equipment anomalies. Error code: 0x80000000")));
}

void TovrinWindowTest::resetSucceedsOrFails()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    const qint64 pause = pauseWhileSlow(*m_frame, std::chrono::milliseconds(300), [&] { w.ResetButSlot(); },
                                        [&] { return w.statusMessageId() == 33; });
    VERIFY_BRIEF_PAUSE(pause);
    m_frame->answerNextWithStatus(sim::kStatusRefused);
    w.ResetButSlot();
    QVERIFY(waitForStatus(w, 32));
    QCOMPARE(w.statusText(), QStringLiteral("Reset failed, please try again!"));
}

void TovrinWindowTest::withoutFrameJobsAskToReconnectAndEscapeCloses()
{
    m_frame->unplug();
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 17));
    // Whatever reaches a job without a frame must neither crash nor talk to it.
    for (auto slot : {&Tovrin::AboutButSlot, &Tovrin::SetButSlot, &Tovrin::ResetButSlot, &Tovrin::TestButSlot,
                      &Tovrin::AdjustScreenButSlot, &Tovrin::AlignmentButSlot, &Tovrin::FirmwareUpdateButSlot}) {
        (w.*slot)();
        QCOMPARE(w.statusMessageId(), 14);
    }
    // Escape closes at once: no question without a frame.
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(MyMessageBox::shownBoxes().isEmpty());
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
}

void TovrinWindowTest::languageChangeRedrawsStatus()
{
    Tovrin w;
    QVERIFY(waitForStatus(w, 15));
    const QString english = w.statusText();
    const QString setEnglish = tile(w, "setButton")->caption();
    w.LanguageCBoxSlot(1);
    QCOMPARE(shell::settings::Language.read(), 1);
    QCOMPARE(w.statusMessageId(), 15);
    QCOMPARE(w.statusText(), shell::context().text(15));
    QVERIFY(w.statusText() != english);
    QCOMPARE(tile(w, "setButton")->caption(), shell::context().text(1));
    QVERIFY(tile(w, "setButton")->caption() != setEnglish);
    w.LanguageCBoxSlot(0);
    QCOMPARE(w.statusText(), english);
}

void TovrinWindowTest::escapeWhileConnectedAsksFirst()
{
    Tovrin w;
    w.show();
    QVERIFY(waitForStatus(w, 15));

    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
    QTest::keyClick(&w, Qt::Key_Escape);
    auto boxes = MyMessageBox::shownBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Exit"));
    QCOMPARE(boxes[0].message, QStringLiteral("Are you sure you exit?"));
    QCOMPARE(boxes[0].labels, (QStringList{"Exit", "Cancel"}));
    QVERIFY(w.isVisible());
    QVERIFY(!logText().contains(QStringLiteral("Tovrin log end!")));

    MyMessageBox::setAutoAnswer(MyMessageBox::AnswerOk);
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
    QCOMPARE(shell::readText(QStringLiteral("ImagePath/imagePath"), QStringLiteral("unset")), QStringLiteral("0"));
    QVERIFY(!device::currentTransport() || !device::currentTransport()->isOpen());
}

QTEST_MAIN(TovrinWindowTest)
#include "TovrinWindowTest.moc"
