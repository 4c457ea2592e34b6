// Full-screen windows on a computer with two screens (the offscreen
// platform given two: OffscreenA, the primary one at (0,0), and OffscreenB,
// 1024 x 768 at (1920,120)): Tovrin.ini names the screen the frame is on,
// and the calibration, leveling, key calibration and key test windows each
// cover exactly that screen; the calibration's targets and the captured
// points are in its coordinates.

#include "WindowTestSupport.h"

#include "calibration/run/RunState.h"
#include "calibration/ui/CalibrationLauncher.h"
#include "calibration/ui/CalibrationWin.h"
#include "calibration/ui/MouseFinger.h"
#include "keys/ui/KeyCalibrationWin.h"
#include "keys/ui/KeyLaunch.h"
#include "keys/ui/KeyTestWin.h"
#include "leveling/ui/AdjustScreenWin.h"
#include "leveling/ui/LevelingLauncher.h"
#include "sim/Fingers.h"
#include "sim/IdealCalibration.h"
#include "widgets/FullScreen.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QtTest>

using tovrin::calib::runState;
using tovrin::calib::ui::CalibrationWin;
using namespace tovrin::windows::test;
namespace calib = tovrin::calib;
namespace device = tovrin::device;
namespace sim = tovrin::sim;
namespace widgets = tovrin::widgets;

namespace {

void nameFrameScreen(const QString& name)
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), QStringLiteral("[Tovrin_Config]\nFrameScreen=%1\n").arg(name).toUtf8()));
}

QScreen* screenB() { return widgets::screenNamed(QStringLiteral("OffscreenB")); }

// The desktop of both screens (grey, outlined, named) with the window drawn
// where it lies: a picture of the placement.
QImage desktopWith(QWidget& window)
{
    QRect all;
    for (const QScreen* s : QGuiApplication::screens())
        all |= s->geometry();
    QImage desktop(all.size(), QImage::Format_RGB32);
    desktop.fill(QColor(40, 40, 40));
    QPainter p(&desktop);
    p.translate(-all.topLeft());
    for (const QScreen* s : QGuiApplication::screens())
        p.fillRect(s->geometry(), QColor(90, 90, 90));
    p.drawImage(window.geometry().topLeft(), window.grab().toImage());
    p.setPen(QPen(Qt::yellow, 4));
    QFont f = p.font();
    f.setPixelSize(40);
    p.setFont(f);
    for (const QScreen* s : QGuiApplication::screens()) {
        p.drawRect(s->geometry().adjusted(2, 2, -2, -2));
        p.drawText(s->geometry().adjusted(20, 20, -20, -20), Qt::AlignRight | Qt::AlignBottom, s->name());
    }
    return desktop;
}

} // namespace

class FullScreenTest : public WindowTest {
    Q_OBJECT
public:
    FullScreenTest() : WindowTest(1) {}

private:
    void openFrame(QSize screen)
    {
        useFinger(*m_frame, screen, false);
        QVERIFY(tovrin::test::openInCalibrationMode());
        calib::FourCalib_en = 0;
    }

private slots:
    void theFramesScreenIsNamedInTheSettings();
    void calibrationCoversTheFramesScreenAndTakesItsPoints();
    void levelingCoversTheFramesScreen();
    void keyWindowsCoverTheFramesScreen_data();
    void keyWindowsCoverTheFramesScreen();
};

void FullScreenTest::theFramesScreenIsNamedInTheSettings()
{
    // The two screens the platform was given.
    QCOMPARE(QGuiApplication::screens().size(), 2);
    QVERIFY(screenB());
    QCOMPARE(screenB()->geometry(), QRect(1920, 120, 1024, 768));
    QVERIFY(QGuiApplication::primaryScreen() != screenB());
    QCOMPARE(widgets::frameScreen(), QGuiApplication::primaryScreen());
    nameFrameScreen(QStringLiteral("OffscreenB"));
    QCOMPARE(widgets::frameScreen(), screenB());
    nameFrameScreen(QStringLiteral("HDMI-9"));  // gone: the primary one
    QCOMPARE(widgets::frameScreen(), QGuiApplication::primaryScreen());
}

void FullScreenTest::calibrationCoversTheFramesScreenAndTakesItsPoints()
{
    nameFrameScreen(QStringLiteral("OffscreenB"));
    openFrame(QSize(1024, 768));
    // The mouse is the finger, as under --simulate.
    calib::ui::MouseFinger::Hands hands;
    auto frame = m_frame;
    hands.down = [frame](QPointF p) { frame->fingers().press(p.x(), p.y()); };
    hands.move = [frame](QPointF p) { frame->fingers().move(p.x(), p.y()); };
    hands.up = [frame] { frame->fingers().lift(); };
    calib::ui::MouseFinger hook(std::move(hands));
    qApp->installEventFilter(&hook);

    auto* w = new CalibrationWin(nullptr);
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<CalibrationWin> alive(w);
    widgets::showFullScreenOn(w);
    w->start();
    QCOMPARE(w->geometry(), screenB()->geometry());
    QCOMPARE(w->screen(), screenB());
    QVERIFY(waitForStatus(*w, 69));
    QCOMPARE(runState().width.load(), 1024);
    QCOMPARE(runState().height.load(), 768);
    saveShot(desktopWith(*w), QStringLiteral("fullscreen-calibration-screenB"));

    // The first target of that screen, touched where it is drawn.
    const QPoint first(1024 / 16, 768 / 32);
    QTest::mousePress(w, Qt::LeftButton, {}, first);
    const auto at = m_frame->fingers().position();
    QVERIFY(at);
    QCOMPARE(QPointF(at->x, at->y), QPointF(first));
    QVERIFY(QTest::qWaitFor([] { return runState().pointIndex.load() == 1; }, kDeviceTimeoutMs));
    QTest::mouseRelease(w, Qt::LeftButton, {}, first);
    qApp->removeEventFilter(&hook);
    w->close();
    QVERIFY(QTest::qWaitFor([&] { return alive.isNull(); }, kDeviceTimeoutMs));
}

void FullScreenTest::levelingCoversTheFramesScreen()
{
    nameFrameScreen(QStringLiteral("OffscreenB"));
    device::g_bDevExist = 1;
    device::g_isDeviceCommunicate = 1;
    uint16_t pid = 0;
    QVERIFY(device::OpenHidDevice(pid));
    tovrin::leveling::AdjustScreenWin* previous = nullptr;
    const tovrin::leveling::LevelingOpening o = tovrin::leveling::openLevelingWindow(nullptr, previous);
    QVERIFY(o.window);
    std::unique_ptr<tovrin::leveling::AdjustScreenWin> owned(o.window);
    QCOMPARE(o.window->geometry(), screenB()->geometry());
    QCOMPARE(o.window->screen(), screenB());
    QVERIFY(o.window->isFullScreen());
    saveShot(desktopWith(*o.window), QStringLiteral("fullscreen-leveling-screenB"));
}

void FullScreenTest::keyWindowsCoverTheFramesScreen_data()
{
    QTest::addColumn<bool>("calibration");
    QTest::addRow("key test") << false;
    QTest::addRow("key calibration") << true;
}

void FullScreenTest::keyWindowsCoverTheFramesScreen()
{
    QFETCH(bool, calibration);
    QVERIFY(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"),
                                    QStringLiteral("[Tovrin_Config]\nFrameScreen=OffscreenB\n[Top_Key]\nGroupCnt=1\nGroup1_Num=2\n").toUtf8()));
    sim::writeIdealCalibration(*m_frame, m_frame->fingers().optics(0));
    device::g_bDevExist = 1;
    device::g_isDeviceCommunicate = 1;
    uint16_t pid = 0;
    QVERIFY(device::OpenHidDevice(pid));
    QRect seen;
    const QScreen* on = nullptr;
    auto shownWindow = [calibration]() -> QWidget* {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            const bool ours = calibration ? qobject_cast<tovrin::keys::ui::KeyCalibrationWin*>(w) != nullptr
                                          : qobject_cast<tovrin::keys::ui::KeyTestWin*>(w) != nullptr;
            if (ours && w->isVisible())
                return w;
        }
        return nullptr;
    };
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (QWidget* w = shownWindow()) {
            seen = w->geometry();
            on = w->screen();
            w->close();
        }
    });
    look.start(100);
    tovrin::jobs::TaskWorker task;
    int opened = -2;
    (calibration ? tovrin::keys::ui::runKeyCalibration : tovrin::keys::ui::runKeyTest)(
        nullptr, task, {}, [&](int messageId) { opened = messageId; });
    // The window opens once the frame's steps have ended, and closes once
    // its workers have.
    QVERIFY(QTest::qWaitFor([&] { return opened != -2 && on && !shownWindow(); }, kDeviceTimeoutMs));
    if (calibration)
        QCOMPARE(opened, -1);
    look.stop();
    QCOMPARE(seen, screenB()->geometry());
    QCOMPARE(on, screenB());
}

QTEST_MAIN(FullScreenTest)
#include "FullScreenTest.moc"
