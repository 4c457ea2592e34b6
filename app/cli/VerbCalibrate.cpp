// tovrin-cli calibrate: the whole touch calibration without a window, with
// the same worker threads as the calibration windows. On the simulated frame
// the finger touches every target by itself (auto touch); on a real frame a
// person touches the targets of a screen of the given size.
//
//   tovrin-cli [--simulate] calibrate [--points 16|4] [--screen WxH] [--grid CxR] [--average|--vote]
//
// --average takes each captured position as the robust mean of the hold,
// --vote as the vote of the spot choice (Tovrin_Debug/CaptureAverage=1 or 0
// in Tovrin.ini does the same for the windows); without either, 16-point
// runs take the mean and 4-point runs the vote.
//
// Prints the stored block, the image windows and the accuracy at the
// calibration points; on the simulated frame also the dense-grid figure.
// Exit 0 when stored, 1 when rejected (the prior data kept) or failed.
#include "Cli.h"

#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationEntry.h"
#include "calibration/run/CalibrationThread.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/QualityCheck.h"
#include "calibration/run/RunState.h"
#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "shell/Settings.h"
#include "sim/Fingers.h"
#include "sim/SimulatedFrame.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <chrono>

namespace tovrin::cli {
namespace {

using namespace tovrin::calib;

// A person who has not touched anything for this long has gone away.
constexpr int kIdleLimitMs = 120000;

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
    sim::SimulatedFrame* frame = session.simulatedFrame();
    if (frame) {
        frame->fingers().setScreen(width, height);
        sim::FingerSettings s = frame->fingers().settings();
        s.autoTouch = true;
        frame->fingers().configure(s);
        // The truth is known here: a stored calibration is measured on a
        // grid of other touches, mapped as the frame maps them.
        sim::Fingers& fingers = frame->fingers();
        setGridProbe(GridProbe{touchThroughFrame([&fingers](double x, double y) { fingers.press(x, y); },
                                                 [&fingers] { fingers.lift(); }),
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
    QObject::connect(thread.get(), &CalibrationThread::sendData, &loop, [&](int code) {
        runState().repaint = 0;
        if (const int index = runState().pointIndex.load(); index != lastIndex) {
            lastIndex = index;
            idle.start(kIdleLimitMs);
        }
        if (code == code::Progress)
            idle.start(kIdleLimitMs);
    }, Qt::QueuedConnection);
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        session.say(QStringLiteral("calibrate: no touch was taken for %1 s; stopped").arg(kIdleLimitMs / 1000));
        thread->requestStop();
    });
    idle.start(kIdleLimitMs);
    thread->startRun();
    loop.exec();
    thread->wait();
    const RunReport report = thread->report();

    QTextStream& out = session.out();
    out << "points: " << points << " (" << width << 'x' << height << ")\n";
    out << "outcome: " << runOutcomeName(report.outcome) << '\n';
    int status = kExitFailed;
    switch (report.outcome) {
    case RunOutcome::Stored: {
        status = kExitDone;
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
        out << shell::context().text(107) << '\n';
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

    setGridProbe(std::nullopt);
    // Hand the frame back as the calibration window does: the chosen mode
    // kept, work mode.
    if (device::g_bDevExist.load()) {
        keepCalibrationMode(FourCalib_en.load());
        if (!device::SwitchModeChecked(device::mode::Work).ok)
            shell::LogF("Switch to work mode failed! g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
    }
    return status;
}

const CliVerb kCalibrate{"calibrate", "[--points 16|4] [--screen WxH] [--grid CxR] [--average|--vote]",
                         "touch calibration (auto touch on the simulated frame)", runCalibrate};

} // namespace
} // namespace tovrin::cli
