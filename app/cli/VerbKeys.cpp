// tovrin-cli keys: the shortcut-key calibration and the key test, with the
// same workers as the key windows (KeyCalibrationThread, KeyTestThread).
// On the simulated frame a finger touches every target by itself.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "keys/core/KeyCalibrationThread.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyEntry.h"
#include "keys/core/KeyLayout.h"
#include "keys/core/KeyTestThread.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"
#include "sim/KeyPanel.h"
#include "sim/SimulatedFrame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace tovrin::cli {
namespace {

using namespace tovrin::keys;

// The simulated frame carries the keys the configuration describes.
void printKeysOnSimulatedFrame(Session& session, const KeyConfiguration& configuration, bool autoTouch)
{
    sim::SimulatedFrame* frame = session.simulatedFrame();
    if (!frame)
        return;
    sim::KeyPanel& panel = frame->keyPanel();
    if (!panel.hasPrintedKeys()) {
        sim::KeyPanel::EdgeGroups groups;
        for (Edge e : kEdgeOrder)
            for (int g = 0; g < configuration.edge(e).groupCount; ++g)
                groups[static_cast<size_t>(e - 1)].push_back(configuration.edge(e).keys[static_cast<size_t>(g)]);
        panel.printKeys(groups);
    }
    if (autoTouch && !panel.finger())
        panel.setAutoTouch(true);
}

void printRectangles(QTextStream& out, const records::CalInfo& r)
{
    auto list = [&out](const char* name, const auto& rects, int count) {
        for (int i = 0; i < count && i < static_cast<int>(rects.size()); ++i) {
            const records::KeyRect& k = rects[static_cast<size_t>(i)];
            out << "  " << name << ' ' << i + 1 << ": (" << k.left << ", " << k.top << ") - (" << k.right << ", "
                << k.bottom << ")\n";
        }
    };
    list("left", r.LeftKeyPosition, r.leftKeyCount);
    list("right", r.RightKeyPosition, r.rightKeyCount);
    list("bottom", r.BottomKeyPosition, r.bottomKeyCount);
    list("top", r.TopKeyPosition, r.topKeyCount);
    out << "  window: START " << r.u10_PROJECT_START << " END " << r.u10_PROJECT_END << '\n';
}

int calibrate(Session& session)
{
    if (const int opened = session.requireWorkingFrame(false); opened != kExitDone)
        return opened;
    const KeyConfiguration configuration = readKeyConfiguration();
    if (checkConfiguration(configuration) != LayoutCheck::Ok) {
        session.sayMessage(kNoKeyMessage);
        return kExitFailed;
    }
    const KeyCodes codes = readKeyCodes();
    if (!codes.ok) {
        session.say(QStringLiteral("Tovrin_Key.ini: ") + codes.problem);
        session.sayMessage(kNoKeyMessage);
        return kExitFailed;
    }
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        session.sayMessage(mode.messageId >= 0 ? mode.messageId : 14);
        return mode.frameLost || mode.deviceAbsent ? kExitNoFrame : kExitFailed;
    }
    if (const int refusal = keyCalibrationEntryCheck(); refusal != 0) {
        device::SwitchModeChecked(device::mode::Work);
        session.sayMessage(refusal);
        return kExitFailed;
    }
    records::CalInfo before;
    records::readCalibrationRecord(records::UnitId::Slave, before);
    const int width = before.ScreenWidth > 0 ? before.ScreenWidth : 1920;
    const int height = before.ScreenHight > 0 ? before.ScreenHight : 1080;
    printKeysOnSimulatedFrame(session, configuration, true);

    // The layout of a window as large as the calibrated picture.
    const KeyDepiction depiction = layOutKeys(configuration, width, height);
    session.out() << "targets: " << depiction.targets.size() << '\n';
    KeyCalibrationThread job;
    QEventLoop loop;
    int last = -1;
    int shownPercent = -1;
    QObject::connect(&job, &KeyCalibrationThread::sendData, &loop, [&](int code) {
        if (code == keycode::kTargetReady)
            job.state().repaintPending = false;
        if (code == keycode::kProgress) {
            const int percent = job.state().progress.load();
            if (percent != shownPercent)
                session.out() << "saving " << percent << "%\n";
            shownPercent = percent;
        }
        if (code != keycode::kTargetReady && code != keycode::kProgress)
            last = code;
    }, Qt::QueuedConnection);
    QObject::connect(&job, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    job.prepare(depiction, width, height, codes);
    job.start();
    loop.exec();
    job.wait();
    QCoreApplication::processEvents();  // codes still queued behind finished()

    device::SwitchModeChecked(device::mode::Work);
    if (last != keycode::kStored) {
        session.sayMessage(!device::g_bDevExist.load() ? 61 : last == keycode::kInitFailed ? 70 : 71);
        return device::g_bDevExist.load() ? kExitFailed : kExitNoFrame;
    }
    records::CalInfo after;
    if (!records::readCalibrationRecord(records::UnitId::Slave, after)) {
        session.sayMessage(18);
        return kExitFailed;
    }
    session.out() << "stored: " << (after.leftKeyCount + after.rightKeyCount + after.bottomKeyCount + after.topKeyCount)
                  << " keys, " << codes.codes.size() << " key codes\n";
    printRectangles(session.out(), after);
    return kExitDone;
}

int test(Session& session, int seconds)
{
    if (const int opened = session.requireWorkingFrame(false); opened != kExitDone)
        return opened;
    printKeysOnSimulatedFrame(session, readKeyConfiguration(), false);
    if (!device::SwitchModeChecked(device::mode::Work).ok) {
        session.sayMessage(14);
        return kExitFailed;
    }
    KeyTestThread job;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool failedReads = false;
    bool lost = false;
    QObject::connect(&job, &KeyTestThread::keyChanged, &loop, [&](int edge, int number) {
        const char* name = edge >= kEdgeLeft && edge <= kEdgeTop ? edgeName(static_cast<Edge>(edge)) : nullptr;
        session.out() << clock.elapsed() << " ms: ";
        if (number == 0)
            session.out() << "none\n";
        else if (name)
            session.out() << QString::fromLatin1(name).toLower() << ' ' << number << '\n';
        else
            session.out() << "edge " << edge << " key " << number << " (not a key of any edge)\n";
        session.out().flush();
    }, Qt::QueuedConnection);
    QObject::connect(&job, &KeyTestThread::sendData, &loop, [&](int code) {
        if (code == testcode::kReadFailed && !failedReads) {
            failedReads = true;
            session.sayMessage(81);
        }
    }, Qt::QueuedConnection);
    QObject::connect(&job, &QThread::finished, &loop, [&] {
        lost = !device::g_bDevExist.load();
        loop.quit();
    }, Qt::QueuedConnection);
    QTimer::singleShot(seconds * 1000, &loop, [&] { job.state().stop = true; });
    job.begin();
    loop.exec();
    job.wait();
    QCoreApplication::processEvents();
    if (lost) {
        session.sayMessage(61);
        return kExitNoFrame;
    }
    return kExitDone;
}

int runKeys(Session& session, const QStringList& arguments)
{
    if (arguments.size() == 1 && arguments.at(0) == QLatin1String("calibrate"))
        return calibrate(session);
    if (arguments.size() == 3 && arguments.at(0) == QLatin1String("test") && arguments.at(1) == QLatin1String("--seconds")) {
        bool ok = false;
        const int seconds = arguments.at(2).toInt(&ok);
        if (ok && seconds > 0 && seconds <= 24 * 3600)
            return test(session, seconds);
    }
    return usage(session, "keys");
}

const CliVerb kKeys{"keys", "calibrate | test --seconds N",
                    "calibrate the shortcut keys, or print each key the frame reports for N seconds", runKeys};

} // namespace
} // namespace tovrin::cli
