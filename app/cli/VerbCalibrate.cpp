// tovrin-cli calibrate: the whole touch calibration without a window, with
// the same worker threads as the calibration windows. On the simulated frame
// the finger touches every target by itself (auto touch); on a real frame a
// person touches the targets of a screen of the given size.
//
//   tovrin-cli [--simulate] calibrate [--points 16|4] [--screen WxH | --screen-name NAME] [--grid CxR] [--average|--vote]
//
// --screen-name takes the size of the screen of that name (the one the
// frame is on; the names are the system's, e.g. "HDMI-1"), which needs a
// display (or QT_QPA_PLATFORM=offscreen).
//
// --average takes each captured position as the robust mean of the hold,
// --vote as the vote of the spot choice (Tovrin_Debug/CaptureAverage=1 or 0
// in Tovrin.ini does the same for the windows); without either, the mean.
//
// Prints the stored block, the image windows and the accuracy at the
// calibration points; on the simulated frame also the dense-grid figure.
// Exit 0 when stored and the frame handed back (the mode kept in the screen
// record, work mode), 1 when rejected (the prior data kept), failed or
// stopped, 3 when the frame went away.
//
// What the run asks of the person (lift the finger, touch with one finger)
// goes to standard error as it is asked. An interrupt (SIGINT, SIGTERM)
// stops the run; during the save it waits for the save's end, and the log
// and standard error say whether the new calibration was stored.
#include "Cli.h"

#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/CalibrationThread.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/QualityCheck.h"
#include "calibration/run/RunState.h"
#include "device/DeviceStatus.h"
#include "device/Finger.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "shell/Settings.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <csignal>

namespace tovrin::cli {
namespace {

using namespace tovrin::calib;

// A person who has not touched anything for this long has gone away.
constexpr int kIdleLimitMs = 120000;
constexpr int kInterruptPollMs = 50;

std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onInterrupt(int)
{
    g_interrupted = 1;
}

// SIGINT and SIGTERM set g_interrupted while it lives.
class InterruptWatch {
public:
    InterruptWatch()
    {
        g_interrupted = 0;
        struct sigaction a = {};
        a.sa_handler = onInterrupt;
        sigemptyset(&a.sa_mask);
        sigaction(SIGINT, &a, &m_oldInt);
        sigaction(SIGTERM, &a, &m_oldTerm);
    }
    ~InterruptWatch()
    {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};

const QScreen* screenCalled(const QString& name)
{
    for (const QScreen* s : QGuiApplication::screens())
        if (s->name() == name)
            return s;
    return nullptr;
}

QStringList screenNames()
{
    QStringList names;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        for (const QScreen* s : QGuiApplication::screens())
            names << s->name();
    return names;
}

bool parseSize(const QString& text, int& a, int& b)
{
    const QRegularExpression re(QStringLiteral("^(\\d{1,6})x(\\d{1,6})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    a = m.captured(1).toInt();
    b = m.captured(2).toInt();
    return true;
}

void printBlock(QTextStream& out, const RunReport& r)
{
    const records::StClbInfo& b = r.block;
    out << "block: r_fix=" << b.r_fix << " LCam=(" << b.LCam.Po_l4.x << ',' << b.LCam.Po_l4.y << ") L_A=" << b.LCam.L_A
        << " L_Angle_fix=" << b.LCam.L_Angle_fix << " RCam=(" << b.RCam.Po_l4.x << ',' << b.RCam.Po_l4.y
        << ") L_A=" << b.RCam.L_A << " L_Angle_fix=" << b.RCam.L_Angle_fix << '\n';
    out << "windows: Master " << r.windows.leftStart << '-' << r.windows.leftEnd << ", Slave " << r.windows.rightStart
        << '-' << r.windows.rightEnd << '\n';
}

int runCalibrate(Session& session, const QStringList& arguments)
{
    int points = 16, width = 1920, height = 1080, columns = 15, rows = 9;
    int average = -1;  // Tovrin.ini decides
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const QString value = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        if (a == QLatin1String("--points") && (value == QLatin1String("16") || value == QLatin1String("4"))) {
            points = value.toInt();
            ++i;
        } else if (a == QLatin1String("--average")) {
            average = 1;
        } else if (a == QLatin1String("--vote")) {
            average = 0;
        } else if (a == QLatin1String("--screen-name") && !value.isEmpty()) {
            // The targets are that screen's: its size.
            const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                        ? screenCalled(value)
                                        : nullptr;
            if (!screen) {
                session.say(QStringLiteral("calibrate: no screen is called %1 (screens: %2)")
                                .arg(value, screenNames().join(QStringLiteral(", "))));
                return kExitUsage;
            }
            width = screen->geometry().width();
            height = screen->geometry().height();
            ++i;
        } else if (a == QLatin1String("--screen") && parseSize(value, width, height)) {
            ++i;
        } else if (a == QLatin1String("--grid") && parseSize(value, columns, rows) && columns > 0 && rows > 0 &&
                   columns <= 200 && rows <= 200) {
            ++i;
        } else {
            return usage(session, "calibrate");
        }
    }

    // Calibrating is what a frame that is not yet calibrated needs.
    if (const int ready = session.requireWorkingFrame(true); ready != kExitDone)
        return ready;
    if (device::Finger* finger = session.finger()) {
        finger->setScreen(width, height);
        finger->touchTargetsByItself();
        // The truth is known here: a stored calibration is measured on a
        // grid of other touches, mapped as the frame maps them.
        setGridProbe(GridProbe{touchThroughFrame([finger](double x, double y) { finger->press(x, y); },
                                                 [finger] { finger->lift(); }),
                               columns, rows});
    }

    const Preparation prepared = prepareFrameForCalibration();
    if (!prepared.ok) {
        session.sayMessage(prepared.deviceAbsent ? 17 : prepared.messageId >= 0 ? prepared.messageId : 14);
        return kExitFailed;
    }
    FourCalib_en = points == 4 ? 1 : 0;
    loadRunSettings();
    if (average >= 0)
        g_CaptureAverage = average;

    std::unique_ptr<CalibrationThread> thread;
    if (points == 4)
        thread = std::make_unique<FastCalibrationThread>(width, height);
    else
        thread = std::make_unique<CalibrationThread>(width, height);
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    int lastIndex = -1;
    bool saving = false;
    PersonRequest asked = PersonRequest::None;
    QObject::connect(thread.get(), &CalibrationThread::sendData, &loop, [&](int code) {
        runState().repaint = 0;
        if (const int index = runState().pointIndex.load(); index != lastIndex) {
            lastIndex = index;
            idle.start(kIdleLimitMs);
        }
        if (code == code::Progress) {
            saving = true;
            idle.start(kIdleLimitMs);
        }
        // What the person is asked, once each time it changes.
        if (const PersonRequest now = runState().request.load(); now != asked) {
            asked = now;
            if (now != PersonRequest::None)
                session.sayMessage(touchPromptMessage(runState()));
        }
    }, Qt::QueuedConnection);
    QObject::connect(thread.get(), &jobs::Worker::ended, &loop, &QEventLoop::quit);
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        if (runState().request.load() == PersonRequest::LiftFinger)
            session.say(QStringLiteral("calibrate: the finger stayed down for %1 s; stopped").arg(kIdleLimitMs / 1000));
        else
            session.say(QStringLiteral("calibrate: no touch was taken for %1 s; stopped").arg(kIdleLimitMs / 1000));
        thread->requestStop();
    });
    InterruptWatch interrupts;
    bool interrupted = false;
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &loop, [&] {
        if (interrupted || !g_interrupted.load())
            return;
        interrupted = true;
        // Stopping a save half way could leave the frame without any
        // calibration: the save goes on to its end.
        if (saving) {
            shell::LogF("Calibration: interrupted during the save; waiting for its end\n");
            session.say(QStringLiteral("calibrate: interrupted; waiting for the save to end"));
        } else {
            shell::LogF("Calibration: interrupted\n");
            thread->requestStop();
        }
    });
    interruptPoll.start(kInterruptPollMs);
    idle.start(kIdleLimitMs);
    thread->startWork();
    loop.exec();
    thread->wait();
    const RunReport report = thread->report();
    if (interrupted) {
        const bool stored = report.outcome == RunOutcome::Stored;
        shell::LogF("Calibration: interrupted; %s\n",
                    stored ? "the new calibration was stored" : "nothing new was stored");
        session.say(stored ? QStringLiteral("calibrate: interrupted; the new calibration was stored")
                           : QStringLiteral("calibrate: interrupted; nothing new was stored"));
    }

    // Hand the frame back as the calibration window does: the chosen mode
    // kept, work mode. A run is completed only when that worked too.
    setGridProbe(std::nullopt);
    bool kept = false, handedBack = false;
    if (device::g_bDevExist.load()) {
        kept = keepCalibrationMode(FourCalib_en.load());
        if (!kept)
            shell::LogF("Calibration: the screen record could not be written back\n");
        handedBack = device::SwitchModeChecked(device::mode::Work).ok;
        if (!handedBack)
            shell::LogF("Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    }
    const bool gone = !device::g_bDevExist.load();

    QTextStream& out = session.out();
    out << "points: " << points << " (" << width << 'x' << height << ")\n";
    out << "outcome: " << runOutcomeName(report.outcome) << '\n';
    int status = kExitFailed;
    switch (report.outcome) {
    case RunOutcome::Stored: {
        printBlock(out, report);
        out << "calibration points: " << residualText(report.accuracy) << '\n';
        {
            // The figures the windows show after a calibration, in mm too.
            const QualityFigures q = qualityOf(report.accuracy, configuredMmPerPixel(width, height));
            logQuality(q);
            out << "quality: " << qualityText(q) << '\n';
        }
        if (residualsFarOff(report.accuracy))
            session.say(shell::context().text(117) + QStringLiteral(": ") + residualText(report.accuracy));
        if (report.grid)
            out << gridText(*report.grid) << '\n';
        if (gone) {
            session.sayMessage(61);
        } else if (!kept) {
            session.say(QStringLiteral("calibrate: the calibration was stored, but the screen record could not be "
                                       "written back"));
        } else if (!handedBack) {
            session.sayMessage(142);
        } else {
            status = kExitDone;
            out << shell::context().text(107) << '\n';
        }
        break;
    }
    case RunOutcome::Rejected:
        session.sayMessage(19);
        if (!report.reason.empty())
            session.say(QString::fromStdString(report.reason));
        break;
    case RunOutcome::InitFailed:
        session.sayMessage(70);
        break;
    case RunOutcome::DeviceLost:
        session.sayMessage(61);
        break;
    case RunOutcome::Failed:
        session.sayMessage(device::g_bDevExist.load() ? 71 : 14);
        if (!report.reason.empty())
            session.say(QString::fromStdString(report.reason));
        break;
    default:
        break;
    }

    return gone ? kExitNoFrame : status;
}

const CliVerb kCalibrate{"calibrate", "[--points 16|4] [--screen WxH | --screen-name NAME] [--grid CxR] [--average|--vote]",
                         "touch calibration (auto touch on the simulated frame)", runCalibrate};

} // namespace
} // namespace tovrin::cli
