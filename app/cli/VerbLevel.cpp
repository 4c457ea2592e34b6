// tovrin-cli level: the leveling job of the leveling window without its
// window. The same workers run it: CImagePreviewThread searches the start
// lines and columns, ExposureThread sets the exposure, the acceptance rule
// and the save are those of Save&Exit. Prints both units' start lines,
// columns and exposure words.
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
#include "leveling/core/OpeningSteps.h"
#include "leveling/core/SensorTest.h"

#include <QEventLoop>
#include <QTimer>

namespace tovrin::cli {
namespace {

using namespace tovrin::leveling;

constexpr int kWatchdogMs = 120000;  // a job that hears nothing for this long has failed

// The message of a leveling thread's failure code.
int messageOfImageCode(int code)
{
    switch (code) {
    case image::SearchFailed: return 58;
    case image::ConfigFailed: return 53;
    case image::ColumnFailed: return 60;
    case image::OptimumFailed: return 62;
    case image::FrameFailed: return 63;
    default: return 63;
    }
}

int messageOfLostDevice() { return device::g_isDeviceCommunicate.load() ? 61 : 14; }

// Runs the leveling thread until the first leveling reaches its exposure
// step. Returns 0, or the message id of the failure.
int level(Session& session, FrameBuffers& frames, const LevelingConfig& config)
{
    CImagePreviewThread::Options options;
    options.extended = config.extended;
    options.lineNum = config.lineNum;
    options.adjustDebug = false;
    options.testSensor = config.testSensor;
    CImagePreviewThread thread(frames, options);
    QEventLoop loop;
    int failure = 0;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        failure = 63;
        loop.quit();
    });
    QObject::connect(&thread, &CImagePreviewThread::sendData, &loop, [&](int code) {
        watchdog.start(kWatchdogMs);
        switch (code) {
        case image::FrameComplete:
        case image::Leveled:
            return;
        case image::ExposureStep:
            loop.quit();
            return;
        case image::SensorTest: {
            const SensorTestResult r = runSensorTest();
            if (!r.ok) {
                failure = 14;
                loop.quit();
                return;
            }
            if (const QString warning = sensorTestWarning(r); !warning.isEmpty())
                session.say(warning);
            g_SensorTestPending = 0;
            return;
        }
        case image::DeviceLost:
            failure = messageOfLostDevice();
            loop.quit();
            return;
        case image::StoredShown:
            return;
        default:
            if (code >= kFirstDebugRequest && code < kFirstDebugRequest + kDebugRequestCount) {
                debugRequest(code) = 0;  // no panel here
                return;
            }
            failure = messageOfImageCode(code);
            loop.quit();
        }
    }, Qt::QueuedConnection);
    watchdog.start(kWatchdogMs);
    thread.startPreview();
    loop.exec();
    thread.stopPreview();
    return failure;
}

// Runs ExposureThread once. Returns 0, or the message id of the failure.
int expose(Session& session)
{
    ExposureThread thread;
    QEventLoop loop;
    int failure = 0;
    QObject::connect(&thread, &ExposureThread::sendData, &loop, [&](int code) {
        switch (code) {
        case exposure::MasterFailed:
        case exposure::SlaveFailed:
            failure = 56;
            return;
        case exposure::DeviceLost:
            failure = messageOfLostDevice();
            loop.quit();
            return;
        case exposure::Finished:
            loop.quit();
            return;
        default:
            return;
        }
    }, Qt::QueuedConnection);
    QObject::connect(&thread, &QThread::finished, &loop, [&] {
        // A run that ended without its last code (stopped) has failed.
        QTimer::singleShot(0, &loop, [&] {
            if (failure == 0 && g_isExposureSuc.load() != 1)
                failure = 56;
            loop.quit();
        });
    }, Qt::QueuedConnection);
    thread.startExposure();
    loop.exec();
    thread.stopExposure();
    g_ExposureDone = 1;
    Q_UNUSED(session);
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
    if (const int failure = level(session, frames, config)) {
        session.sayMessage(failure);
        return kExitFailed;
    }
    if (const int failure = expose(session)) {
        session.sayMessage(failure);
        return kExitFailed;
    }
    const Acceptance a = acceptLeveling(false, true, g_StartLineM.load(), g_StartLineS.load());
    if (!a.accepted()) {
        printUnit(session, "master", kMaster);
        printUnit(session, "slave", kSlave);
        session.sayMessage(83);
        return kExitFailed;
    }
    const SaveResult saved = saveLeveling(config.extended, false);
    if (!saved.ok) {
        session.sayMessage(118);
        return kExitFailed;
    }
    printUnit(session, "master", kMaster);
    printUnit(session, "slave", kSlave);
    return kExitDone;
}

int runLevel(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return usage(session, "level");
    if (const int r = session.requireWorkingFrame(true); r != kExitDone)
        return r;
    const OpeningOutcome opening = openLeveling();
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
    const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
    if (!back.ok && result == kExitDone) {
        session.sayMessage(back.messageId >= 0 ? back.messageId : 142);
        return kExitFailed;
    }
    if (result == kExitDone)
        session.sayMessage(106);
    return result;
}

const CliVerb kLevel{"level", "", "level both cameras, set their exposure and store the leveling", runLevel};

} // namespace
} // namespace tovrin::cli
