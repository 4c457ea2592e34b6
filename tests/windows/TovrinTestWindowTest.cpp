// The production-test window on the simulated frame: device status to
// controls, and the start/stop control states with the options it reads,
// with pictures of it ready and running at 1920 and 1024.

#include "WindowTestSupport.h"

#include "production/TovrinTest.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using tovrin::production::TovrinTest;
using namespace tovrin::windows::test;
namespace production = tovrin::production;
namespace sim = tovrin::sim;

namespace {

template <typename T>
T* child(TovrinTest& w, const char* name)
{
    return w.findChild<T*>(QString::fromLatin1(name));
}

// Whether the start and the stop button are enabled.
std::pair<bool, bool> startStop(TovrinTest& w)
{
    return {child<QPushButton>(w, "startButton")->isEnabled(), child<QPushButton>(w, "stopButton")->isEnabled()};
}

const char* const kOptionNames[] = {"flashTestBox", "compareAllRadio", "ignorePartRadio",
                                    "exposureBox", "columnBox", "lineJoinBox"};

} // namespace

class TovrinTestWindowTest : public WindowTest {
    Q_OBJECT
public:
    TovrinTestWindowTest() : WindowTest(4) {}

private slots:
    void readyFrameEnablesStartUntilUnpluggedAndEscapeCloses();
    void faultyFrameStillTestable();
    void bootLoaderFrameDisablesBoth();
    void startAndStopToggleControls_data();
    void startAndStopToggleControls();
    void ignoreListNeverGrows();
    void controlCodesOfTheWorker();
};

void TovrinTestWindowTest::readyFrameEnablesStartUntilUnpluggedAndEscapeCloses()
{
    TovrinTest w;
    w.show();
    QVERIFY(!child<QPushButton>(w, "startButton")->isEnabled());
    QVERIFY(waitForStatus(w, 15));
    QCOMPARE(w.statusText(), QStringLiteral("Devices check completed."));
    QCOMPARE(startStop(w), std::make_pair(true, false));
    QCOMPARE(child<QPushButton>(w, "startButton")->text(), QStringLiteral("开始测试"));
    QCOMPARE(child<QPushButton>(w, "stopButton")->text(), QStringLiteral("停止测试"));
    const QString log = logText();
    QVERIFY(log.contains(QStringLiteral("Tovrin log start!\n")));
    QVERIFY(log.contains(QStringLiteral("ChooseToolEnable = 4\n")));

    m_frame->unplug();
    QVERIFY(waitForStatus(w, 17));
    QVERIFY(!child<QPushButton>(w, "startButton")->isEnabled());
    QVERIFY(!w.isConnected());
    m_frame->plug();
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(child<QPushButton>(w, "startButton")->isEnabled());

    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(logText().endsWith(QStringLiteral("Tovrin log end!\n")));
}

void TovrinTestWindowTest::faultyFrameStillTestable()
{
    m_frame->setErrorWord(sim::Unit::Slave, 0x80);
    TovrinTest w;
    QVERIFY(waitForStatus(w, 15));
    QVERIFY(child<QPushButton>(w, "startButton")->isEnabled());
}

void TovrinTestWindowTest::bootLoaderFrameDisablesBoth()
{
    m_frame->reenumerate(true);
    TovrinTest w;
    QVERIFY(waitForStatus(w, 16));
    QCOMPARE(startStop(w), std::make_pair(false, false));
}

void TovrinTestWindowTest::startAndStopToggleControls_data()
{
    addScreenRows("tovrintest-%d");
}

void TovrinTestWindowTest::startAndStopToggleControls()
{
    QFETCH(int, screen);
    useScreen(screen);
    TovrinTest w;
    w.show();
    QVERIFY(waitForStatus(w, 15));
    const QString picture = QString::fromLatin1(QTest::currentDataTag());
    saveShot(w.grab().toImage(), picture);
    // Without the flash test there is nothing to start, nor to stop.
    w.StartTestSlot();
    QCOMPARE(w.statusMessageId(), 15);
    QCOMPARE(startStop(w), std::make_pair(true, false));
    w.CloseTestSlot();
    QCOMPARE(w.statusMessageId(), 15);

    child<QCheckBox>(w, "flashTestBox")->setChecked(true);
    child<QRadioButton>(w, "ignorePartRadio")->setChecked(true);
    child<QCheckBox>(w, "exposureBox")->setChecked(true);
    w.StartTestSlot();
    QCOMPARE(w.statusText(), QStringLiteral("0_测试中......"));
    QCOMPARE(startStop(w), std::make_pair(false, true));
    for (const char* name : kOptionNames)
        QVERIFY2(!child<QWidget>(w, name)->isEnabled(), name);
    QCOMPARE(w.options().compareMode, production::CompareMode::IgnoreListed);
    QCOMPARE(w.options().ignore, (std::vector<production::IgnoreEntry>{{4, 7, 0x11000}}));
    saveShot(w.grab().toImage(), picture + QStringLiteral("-running"));

    w.CloseTestSlot();
    QCOMPARE(w.statusText(), QStringLiteral("测试完毕"));
    QCOMPARE(startStop(w), std::make_pair(true, false));
    for (const char* name : kOptionNames)
        QVERIFY2(child<QWidget>(w, name)->isEnabled(), name);
}

void TovrinTestWindowTest::ignoreListNeverGrows()
{
    TovrinTest w;
    QVERIFY(waitForStatus(w, 15));
    child<QCheckBox>(w, "flashTestBox")->setChecked(true);
    for (const char* name : {"exposureBox", "columnBox", "lineJoinBox"})
        child<QCheckBox>(w, name)->setChecked(true);
    for (int i = 0; i < 3; ++i) {
        w.StartTestSlot();
        w.CloseTestSlot();
    }
    QCOMPARE(w.options().ignore,
             (std::vector<production::IgnoreEntry>{{4, 7, 0x11000}, {8, 11, 0x11000}, {18, 65, 0x11000}}));
}

void TovrinTestWindowTest::controlCodesOfTheWorker()
{
    TovrinTest w;
    QVERIFY(waitForStatus(w, 15));
    w.recvShowData(8);
    QCOMPARE(startStop(w), std::make_pair(false, true));
    w.recvShowData(4);
    QCOMPARE(w.statusText(), QStringLiteral("Master Flash存在不同。地址：0x00000000"));
    QCOMPARE(startStop(w), std::make_pair(true, false));
    w.recvShowData(1);
    QCOMPARE(w.statusText(), QStringLiteral("模式转换失败！"));
    w.recvShowData(6);
    QCOMPARE(w.statusText(), QStringLiteral("读Flash出错"));
    // The worker ended: both buttons wait for the frame to be checked again;
    // the failure stays in view.
    w.recvShowData(0);
    QVERIFY(!child<QPushButton>(w, "startButton")->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return child<QPushButton>(w, "startButton")->isEnabled(); }, kDeviceTimeoutMs));
    QCOMPARE(w.statusText(), QStringLiteral("读Flash出错"));
}

QTEST_MAIN(TovrinTestWindowTest)
#include "TovrinTestWindowTest.moc"
