#pragma once
// Shared set-up of the window tests: a temporary application folder holding
// the generated skin and the language file, the context of a screen class,
// fast device waits, and a fresh simulated frame per test (WindowTest).

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/Finger.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "records/RecordJournal.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Language.h"
#include "shell/Skin.h"
#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/SimFinger.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/Heartbeat.h"
#include "tests/support/QtTestSupport.h"
#include "widgets/MyMessageBox.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace tovrin::windows::test {

using tovrin::test::saveShot;
using tovrin::test::whenBoxShown;

// The application folder of one test run: the current directory points into
// a temporary folder with links to the build's skin and language file, so
// that logs and INI files of the windows stay out of the build tree.
class AppFolder {
public:
    AppFolder()
    {
        const QString app = QStringLiteral(TOVRIN_APP_DIR);
        QFile::link(app + QStringLiteral("/skin"), m_dir.filePath(QStringLiteral("skin")));
        QFile::copy(app + QStringLiteral("/Tovrin_language.lrp"), m_dir.filePath(QStringLiteral("Tovrin_language.lrp")));
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    ~AppFolder() { QDir::setCurrent(m_previous); }
    AppFolder(const AppFolder&) = delete;
    AppFolder& operator=(const AppFolder&) = delete;

    bool isValid() const { return m_dir.isValid() && QFile::exists(QStringLiteral("skin/1920/back_pixmap.png")); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Skin folder, fonts and texts (language 0) of a screen class.
inline void useScreen(int screenClass)
{
    const shell::SkinChoice choice = tovrin::test::skinOfClass(screenClass);
    shell::AppContext& ctx = shell::context();
    ctx.setSkinPath(choice.skinPath);
    ctx.setFonts(choice.titleFont, choice.buttonFont, choice.applicationFont);
    shell::LoadTexts();
}

// A test's data: a "screen" column with the two screen classes the windows
// are checked at, each row named by rowFormat ("%d" takes the class).
inline void addScreenRows(const char* rowFormat)
{
    QTest::addColumn<int>("screen");
    for (int screen : {1920, 1024})
        QTest::addRow(rowFormat, screen) << screen;
}

// Device procedures wait in 20 ms slices and for seconds in the status test;
// a twentieth of each keeps the order of events and makes the tests quick.
inline void useFastWaits()
{
    setSleeper([](int ms) { QThread::msleep(static_cast<unsigned long>(std::max(1, ms / 20))); });
}

// A new frame behind the device link, and the shared detection state as a
// fresh start finds it.
inline std::shared_ptr<sim::SimulatedFrame> installFrame(bool factory = true)
{
    auto frame = std::make_shared<sim::SimulatedFrame>();
    if (factory)
        sim::writeFactoryContents(*frame);
    device::setTransport(sim::makeSimTransport(frame));
    device::setFinger(sim::makeSimFinger(frame));
    device::g_bDevExist = 0;
    device::g_isDeviceCommunicate = 0;
    device::g_ErrorCodeM = 0;
    device::g_ErrorCodeS = 0;
    device::UpdateExpected = 0;
    device::DeviceCheckState = device::kStateOpen;
    return frame;
}

// The simulated frame's finger for windows of `screen`: touching every
// target by itself, or waiting for the test to lead it.
inline void useFinger(sim::SimulatedFrame& frame, QSize screen, bool autoTouch)
{
    frame.fingers().setScreen(screen.width(), screen.height());
    sim::FingerSettings s;
    s.autoTouch = autoTouch;
    frame.fingers().configure(s);
}

// A save cut off after it erased the Slave's calibration record, with an
// empty journal before it: the journal holds the old record, still open.
// `before` gets what the record held.
inline void cutOffSlaveSave(sim::SimulatedFrame& frame, std::vector<uint8_t>& before)
{
    QDir(records::journalFolder()).removeRecursively();
    before = frame.readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset, records::kCalInfoSize);
    uint16_t pid = 0;
    QVERIFY(device::OpenHidDevice(pid));
    device::g_bDevExist = 1;
    QVERIFY(device::SwitchModeChecked(device::mode::Calibration).ok);
    QVERIFY(records::eraseCalibrationRecord(records::UnitId::Slave));
    QVERIFY(!frame.calibrationRecordValid(sim::Unit::Slave));
}

inline QString logText()
{
    QFile file(QString::fromStdString(shell::context().logFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Detection, the status test and a re-plug take a few seconds of fast waits;
// the limit only keeps a broken run from hanging.
constexpr int kDeviceTimeoutMs = 20000;

template <typename Window>
bool waitForStatus(Window& w, int id)
{
    return QTest::qWaitFor([&] { return w.statusMessageId() == id; }, kDeviceTimeoutMs);
}

// The message ids a window's statusShown signal gave, in order.
inline QList<int> shownIds(const QSignalSpy& spy)
{
    QList<int> ids;
    for (const QList<QVariant>& args : spy)
        ids << args.at(0).toInt();
    return ids;
}

// The longest the event loop may pause while a job waits on the frame: far
// below the time the frame takes for one request in the slow-frame tests.
constexpr qint64 kLongestPauseMs = 200;

// The event loop's longest pause from `act` until `done` holds, on a frame
// that answers each report after `latency` meanwhile and at once again
// afterwards; -1 when `done` never held.
template <typename Act, typename Done>
qint64 pauseWhileSlow(sim::SimulatedFrame& frame, std::chrono::microseconds latency, Act&& act, Done&& done,
                      int timeoutMs = kDeviceTimeoutMs)
{
    frame.setReportLatency(latency);
    tovrin::test::Heartbeat heartbeat;
    act();
    const bool ended = QTest::qWaitFor(done, timeoutMs);
    const qint64 pause = heartbeat.longestPauseMs();
    frame.setReportLatency(std::chrono::microseconds(0));
    return ended ? pause : -1;
}

// A window that waited on the frame (or a job that never ended) fails here.
#define VERIFY_BRIEF_PAUSE(ms) \
    QVERIFY2((ms) >= 0 && (ms) < kLongestPauseMs, (ms) < 0 ? "the job never ended" : qPrintable(QString::number(ms)))

// The quality page's marks (each check target's cross and error) that lie
// under the window's status label or one of its buttons; empty when none.
template <typename Window>
QStringList marksUnderWidgets(Window& w)
{
    QStringList under;
    const auto& page = w.qualityPage();
    for (int i = 0; i < static_cast<int>(page.checkReport().points.size()); ++i)
        for (const char* name : {"statusLabel", "calTypeButton", "resetBeforeButton", "exitButton"}) {
            const QWidget* widget = w.template findChild<QWidget*>(QString::fromLatin1(name));
            if (widget && widget->isVisible() && widget->geometry().intersects(page.markArea(i)))
                under << QStringLiteral("target %1 under %2").arg(i).arg(QString::fromLatin1(name));
        }
    return under;
}

// The end-user window shows the firmware version once the frame is ready.
template <typename Window>
bool waitForFirmware(Window& w)
{
    return QTest::qWaitFor([&] { return w.versionText().contains(QStringLiteral("FirmwareID")); }, kDeviceTimeoutMs);
}

// The version box of a shown engineering window, grabbed from inside its
// own event loop (the box is modal).
template <typename Window>
QImage grabVersionBox(Window& w)
{
    widgets::MyMessageBox::setAutoAnswer(std::nullopt);
    QImage shot;
    // The versions are read in the window's worker: the box comes later.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (widgets::MyMessageBox* box = tovrin::test::openBox()) {
            watch.stop();
            shot = box->grab().toImage();
            box->close();
        }
    });
    watch.start(10);
    w.AboutButSlot();
    const bool shown = QTest::qWaitFor([&] { return !shot.isNull(); }, kDeviceTimeoutMs);
    widgets::MyMessageBox::setAutoAnswer(widgets::MyMessageBox::AnswerCancel);
    return shown ? shot : QImage();
}

// Base of the window test classes: one application folder for the run; for
// each test the 1920 screen, the given tool flavour, no settings file,
// question boxes answered "Cancel", and a fresh factory frame.
class WindowTest : public QObject {
    Q_OBJECT
public:
    explicit WindowTest(int flavour) : m_flavour(flavour) {}

protected:
    std::shared_ptr<sim::SimulatedFrame> m_frame;
    // Set-up and clean-up of one test in a derived test class, after and
    // before the base's.
    virtual void initOne() {}
    virtual void cleanupOne() {}

private slots:
    void initTestCase()
    {
        m_folder = std::make_unique<AppFolder>();
        QVERIFY2(m_folder->isValid(), "the generated skin is missing from the application folder");
        useFastWaits();
    }
    void init()
    {
        useScreen(1920);
        shell::context().toolFlavour = m_flavour;
        QFile::remove(QStringLiteral("Tovrin.ini"));
        widgets::MyMessageBox::setAutoAnswer(widgets::MyMessageBox::AnswerCancel);
        widgets::MyMessageBox::clearShownBoxes();
        m_frame = installFrame();
        initOne();
    }
    void cleanup()
    {
        cleanupOne();
        device::setTransport(nullptr);
        m_frame.reset();
    }

private:
    std::unique_ptr<AppFolder> m_folder;
    int m_flavour;
};

} // namespace tovrin::windows::test
