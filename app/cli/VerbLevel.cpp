// tovrin-cli level: the leveling job of the leveling window without its
// window. The same workers run it: CImagePreviewThread searches the start
// lines and columns, ExposureThread sets the exposure, the acceptance rule
// and the save are those of Save&Exit; then one image is fetched and checked
// the way the window fetches its frames. Prints both units' start lines,
// columns and exposure words.
//
// Only one worker talks to the frame at a time, and each ends at a fixed
// point of the conversation (the leveling thread right after it asked for
// exposure, the image thread after one frame): a frame pulled at a given
// report is always pulled in the same step, with the same message.
// Standard error carries only the outcome's message; the debug lines of the
// link and the transfers go to the log.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/ExposureScale.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingAcceptance.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingConfig.h"
#include "leveling/core/LevelingSave.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LevelingSteps.h"
#include "leveling/core/OpeningSteps.h"
#include "leveling/core/SensorTest.h"
#include "shell/Log.h"

#include <QEventLoop>
#include <QTimer>

namespace tovrin::cli {
namespace {

using namespace tovrin::leveling;

constexpr int kWatchdogMs = 120000;  // a job that hears nothing for this long has failed
constexpr int kLinkLost = -1;        // a failure that is the frame's loss, not a step's

// Qt's debug, info and warning lines of the job go to the log, not to
// standard error, while the verb runs.
class DebugLinesToLog {
public:
    DebugLinesToLog() { s_previous = qInstallMessageHandler(&DebugLinesToLog::handle); }
    ~DebugLinesToLog() { qInstallMessageHandler(s_previous); }
    DebugLinesToLog(const DebugLinesToLog&) = delete;
    DebugLinesToLog& operator=(const DebugLinesToLog&) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            if (s_previous)
                s_previous(type, context, message);
            return;
        }
        QString line = message;
        if (!line.endsWith(QLatin1Char('\n')))
            line += QLatin1Char('\n');
        shell::WriteLog(line.toStdString());
    }

    static inline QtMessageHandler s_previous = nullptr;
};

bool linkLost() { return !device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load(); }

// The frame was lost during the job. Gone from the bus: "pulled out" and
// exit 3. Still there but no longer answering: "not communicating", exit 1.
int lost(Session& session)
{
    settleLinkLoss();
    if (!device::g_isDeviceCommunicate.load()) {
        session.sayMessage(14);
        return kExitFailed;
    }
    session.sayMessage(61);
    return kExitNoFrame;
}

// The message of a leveling thread's failure code.
int messageOfImageCode(int code)
{
    switch (code) {
    case image::SearchFailed: return 58;
    case image::ConfigFailed: return 53;
    case image::ColumnFailed: return 60;
    case image::OptimumFailed: return 62;
    case image::FrameFailed: return 63;
    case image::DeviceLost: return kLinkLost;
    default: return 63;
    }
}

// Runs the leveling thread until it has done what `done` waits for (the
// exposure step, or its frames) and has ended. Returns 0, the message id of
// the failure, or kLinkLost.
int runLevelingThread(Session& session, FrameBuffers& frames, const CImagePreviewThread::Options& options,
                      int doneCode)
{
    CImagePreviewThread thread(frames, options);
    QEventLoop loop;
    int failure = 0;
    bool done = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        failure = 63;
        thread.requestStop();
    });
    QObject::connect(&thread, &CImagePreviewThread::sendData, &loop, [&](int code) {
        watchdog.start(kWatchdogMs);
        if (code == doneCode) {
            done = true;
            return;
        }
        switch (code) {
        case image::FrameComplete:
        case image::Leveled:
        case image::StoredShown:
        case image::ExposureStep:
            return;
        case image::SensorTest: {
            const SensorTestResult r = runSensorTest();
            if (!r.ok) {
                failure = linkLost() ? kLinkLost : 14;
                thread.requestStop();
                return;
            }
            if (const QString warning = sensorTestWarning(r); !warning.isEmpty())
                session.say(warning);
            g_SensorTestPending = 0;
            return;
        }
        default:
            if (code >= kFirstDebugRequest && code < kFirstDebugRequest + kDebugRequestCount) {
                debugRequest(code) = 0;  // no panel here
                return;
            }
            // A frame chunk that failed fails the image too, even where
            // the thread goes on.
            if (failure == 0)
                failure = messageOfImageCode(code);
            thread.requestStop();
        }
    }, Qt::QueuedConnection);
    // The thread ends by itself at its fixed point or with its failure;
    // its codes are all delivered before the loop ends.
    QObject::connect(&thread, &jobs::Worker::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    watchdog.start(kWatchdogMs);
    thread.startWork();
    loop.exec();
    thread.stopAndWait();
    if (failure == 0 && !done)
        failure = linkLost() ? kLinkLost : 63;
    return failure;
}

// Runs ExposureThread once. Returns 0, the message id of the failure, or kLinkLost.
int expose()
{
    ExposureThread thread;
    QEventLoop loop;
    int failure = 0;
    bool finished = false;
    QObject::connect(&thread, &ExposureThread::sendData, &loop, [&](int code) {
        switch (code) {
        case exposure::MasterFailed:
        case exposure::SlaveFailed:
            failure = 56;
            return;
        case exposure::DeviceLost:
            failure = kLinkLost;
            return;
        case exposure::Finished:
            finished = true;
            return;
        default:
            return;
        }
    }, Qt::QueuedConnection);
    QObject::connect(&thread, &jobs::Worker::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread.startWork();
    loop.exec();
    thread.stopAndWait();
    if (failure == 0 && (!finished || g_isExposureSuc.load() != 1))
        failure = linkLost() ? kLinkLost : 56;
    g_ExposureDone = failure == 0 ? 1 : 0;
    return failure;
}

void printUnit(Session& session, const char* name, int unit)
{
    const UnitLeveling u = unitLeveling(unit);
    session.out() << name << " start_line=" << startLineOf(unit).load() << " start_column=" << u.startColumn
                  << " end_column=" << u.endColumn << " exposure=0x"
                  << QStringLiteral("%1").arg(u.exposureWord(), 4, 16, QLatin1Char('0'))
                  << " scale_index=" << exposureScaleIndex(u.exposureHigh, u.exposureLow)
                  << " marked=" << exposureMarkOf(unit).load() << '\n';
}

// A failure's message and exit code.
int failed(Session& session, int failure)
{
    if (failure == kLinkLost || linkLost())
        return lost(session);
    session.sayMessage(failure);
    return kExitFailed;
}

// The job between the two mode switches.
int levelInCalibrationMode(Session& session)
{
    const LevelingConfig config = readLevelingConfig(device::ExtendedFrameDevice.load() == 1);
    g_CompressEnable = config.compress ? 1 : 0;
    g_PreviewOnly = 0;  // a headless leveling always searches
    g_StartLineKnown = 0;
    g_FirstRun = 1;
    g_ExposureDone = 0;
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    g_ExposureLimit = config.exposureLimit;
    g_WindowClosing = 0;

    FrameBuffers frames(g_FrameReady);
    if (!frames.open()) {
        session.sayMessage(63);
        return kExitFailed;
    }
    CImagePreviewThread::Options options;
    options.extended = config.extended;
    options.lineNum = config.lineNum;
    options.adjustDebug = false;
    options.testSensor = config.testSensor;
    options.endAtExposureStep = true;
    if (const int failure = runLevelingThread(session, frames, options, image::ExposureStep))
        return failed(session, failure);
    if (const int failure = expose())
        return failed(session, failure);
    const Acceptance a = acceptLeveling(false, true, g_StartLineM.load(), g_StartLineS.load());
    if (!a.accepted()) {
        printUnit(session, "master", kMaster);
        printUnit(session, "slave", kSlave);
        session.sayMessage(83);
        return kExitFailed;
    }
    const SaveResult saved = saveLeveling(config.extended, false);
    if (!saved.ok)
        return failed(session, 118);

    // One image of the leveled cameras, fetched as the window fetches its
    // frames: it must come whole.
    g_FirstRun = 0;
    g_StartLineKnown = 1;
    options.endAtExposureStep = false;
    options.testSensor = false;
    options.frameLimit = 1;
    if (const int failure = runLevelingThread(session, frames, options, image::FrameComplete))
        return failed(session, failure);
    printUnit(session, "master", kMaster);
    printUnit(session, "slave", kSlave);
    return kExitDone;
}

int runLevel(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return usage(session, "level");
    DebugLinesToLog debugLines;
    if (const int r = session.requireWorkingFrame(true); r != kExitDone)
        return r;
    const OpeningOutcome opening = openLeveling();
    if (!opening.ok && (linkLost() || opening.modeSwitch.frameLost || opening.modeSwitch.deviceAbsent))
        return lost(session);
    if (!opening.ok) {
        if (!opening.modeSwitch.ok && opening.modeSwitch.messageId >= 0)
            session.sayMessage(opening.modeSwitch.messageId);
        else if (!opening.modeSwitch.ok)
            session.sayMessage(device::g_bDevExist.load() ? 14 : 17);
        else
            session.sayMessage(opening.statusMessageId);
        return kExitFailed;
    }
    const int result = levelInCalibrationMode(session);
    if (result != kExitDone) {
        // Back to work mode when the frame is still there; the job's
        // message stands.
        if (!linkLost())
            device::SwitchModeChecked(device::mode::Work);
        return result;
    }
    const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
    if (!back.ok) {
        if (back.frameLost || back.deviceAbsent || linkLost())
            return lost(session);
        session.sayMessage(back.messageId >= 0 ? back.messageId : 142);
        return kExitFailed;
    }
    session.sayMessage(106);
    return kExitDone;
}

const CliVerb kLevel{"level", "", "level both cameras, set their exposure and store the leveling", runLevel};

} // namespace
} // namespace tovrin::cli
