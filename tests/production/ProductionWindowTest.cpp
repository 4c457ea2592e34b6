// The production-test window running its flash read/write test on the
// simulated frame: the status while it runs, and a frame that changes a
// flash byte between two cycles; screenshots of both.

#include "production/TovrinTest.h"
#include "production/core/RWFlashTestThread.h"
#include "sim/FlashDrift.h"
#include "tests/windows/WindowTestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using tovrin::production::TovrinTest;
using namespace tovrin::windows::test;
namespace sim = tovrin::sim;

class ProductionWindowTest : public WindowTest {
    Q_OBJECT
public:
    ProductionWindowTest() : WindowTest(4) {}

private slots:
    void runsCyclesAndCatchesAFlashChange();
    void ignoredExposureBytesLetItRunOn();
};

void ProductionWindowTest::runsCyclesAndCatchesAFlashChange()
{
    // The frame changes one byte of the Master's calibration block at the
    // fourth switch into a work mode: after cycle 2's leveling.
    sim::addFlashDrift(*m_frame, sim::Unit::Master, 0x11003, 4);
    TovrinTest w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(waitForStatus(w, 15));
    w.findChild<QCheckBox*>(QStringLiteral("flashTestBox"))->setChecked(true);

    QImage running;
    connect(&w, &TovrinTest::statusShown, &w, [&](const QString& text) {
        if (text == QStringLiteral("2_测试中......"))
            running = w.grab().toImage();
    });
    w.StartTestSlot();
    QVERIFY(QTest::qWaitFor([&] { return w.statusText().contains(QStringLiteral("存在不同")); }, kDeviceTimeoutMs * 2));
    QCOMPARE(w.statusText(), QStringLiteral("Master Flash存在不同。地址：0x00011000"));
    QCOMPARE(w.cycleCount(), 2);
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled() ||
            !w.findChild<QPushButton*>(QStringLiteral("stopButton"))->isEnabled());
    QVERIFY(!running.isNull());
    saveShot(running, QStringLiteral("production-test-running"));
    saveShot(w.grab().toImage(), QStringLiteral("production-test-difference"));
    // Code 0 followed: detection checks the frame again and start comes
    // back, while the difference stays in view.
    QVERIFY(QTest::qWaitFor([&] { return w.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled(); },
                            kDeviceTimeoutMs));
    QCOMPARE(w.statusText(), QStringLiteral("Master Flash存在不同。地址：0x00011000"));
}

void ProductionWindowTest::ignoredExposureBytesLetItRunOn()
{
    sim::addFlashDrift(*m_frame, sim::Unit::Master, 0x11005, 2);
    TovrinTest w;
    QVERIFY(waitForStatus(w, 15));
    w.findChild<QCheckBox*>(QStringLiteral("flashTestBox"))->setChecked(true);
    w.findChild<QRadioButton*>(QStringLiteral("ignorePartRadio"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("exposureBox"))->setChecked(true);
    w.StartTestSlot();
    QVERIFY(QTest::qWaitFor([&] { return w.cycleCount() >= 3; }, kDeviceTimeoutMs * 3));
    QVERIFY(!w.statusText().contains(QStringLiteral("存在不同")));
    w.CloseTestSlot();
    QCOMPARE(w.statusText(), QStringLiteral("测试完毕"));
    QVERIFY(!w.testThread()->isRunning());
}

QTEST_MAIN(ProductionWindowTest)
#include "ProductionWindowTest.moc"
