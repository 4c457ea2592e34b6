// tovrin-cli keys: the shortcut-key calibration and the key test, with the
// same workers as the key windows (KeyCalibrationThread, KeyTestThread).
// On the simulated frame a finger touches every target by itself.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/Finger.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "keys/core/KeyCalibrationThread.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyEntry.h"
#include "keys/core/KeyLayout.h"
#include "keys/core/KeyTestThread.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <mutex>
#include <vector>

namespace tovrin::cli {
namespace {

using namespace tovrin::keys;

// The simulated frame carries the keys the configuration describes; its
// finger touches each target by itself unless one rests on a key already.
void printKeysOnSimulatedFrame(Session& session, const KeyConfiguration& configuration, bool autoTouch)
{
    device::Finger* finger = session.finger();
    if (!finger)
        return;
    if (!finger->hasPrintedKeys())
        finger->printKeys(groupSizesByEdge(configuration));
    if (autoTouch && !finger->isDown())
        finger->touchTargetsByItself();
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

// A target that waits longer than this for its touch ends the run (a key
// the cameras cannot both see is never taken; nobody may be there).
constexpr int kDefaultTargetSeconds = 60;

bool frameGone(const device::ModeSwitchOutcome& mode)
{
    return mode.frameLost || mode.deviceAbsent || !device::g_bDevExist.load();
}

int calibrate(Session& session, int targetSeconds)
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
    if (codes.keepFrameCodes)
        session.say(QStringLiteral("Tovrin_Key.ini not found: the frame keeps the key codes it holds"));
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        session.sayMessage(frameGone(mode) ? 61 : mode.messageId >= 0 ? mode.messageId : 14);
        return frameGone(mode) ? kExitNoFrame : kExitFailed;
    }
    if (const int refusal = keyCalibrationEntryCheck(); refusal != 0) {
        if (!device::g_bDevExist.load()) {
            session.sayMessage(61);
            return kExitNoFrame;
        }
        const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
        session.sayMessage(refusal);
        return frameGone(back) ? kExitNoFrame : kExitFailed;
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
    int asked = -1;
    // The target each "ready" stands for, noted as the run shows it, and
    // taken as shown at once: the run asks for one redraw at a time, and on
    // a busy machine it may be targets further on when the code arrives.
    std::mutex shownLock;
    std::vector<int> shown;
    QObject::connect(&job, &KeyCalibrationThread::sendData, &job, [&](int code) {
        if (code == keycode::kTargetReady) {
            const std::lock_guard lock(shownLock);
            shown.push_back(job.state().target.load());
            job.state().repaint = 0;
        }
    }, Qt::DirectConnection);
    QObject::connect(&job, &KeyCalibrationThread::sendData, &loop, [&](int code) {
        if (code == keycode::kTargetReady) {
            std::vector<int> targets;
            {
                const std::lock_guard lock(shownLock);
                targets.swap(shown);
            }
            // Which corner of which key to touch next, once per target shown.
            for (const int target : targets) {
                if (target < 0 || target >= static_cast<int>(depiction.targets.size()) || target == asked)
                    continue;
                asked = target;
                session.out() << "touch: " << describeTarget(depiction.targets[static_cast<size_t>(target)], configuration)
                              << '\n';
            }
            session.out().flush();
        }
        if (code == keycode::kProgress) {
            const int percent = job.state().progress.load();
            if (percent != shownPercent)
                session.out() << "saving " << percent << "%\n";
            shownPercent = percent;
        }
        if (code != keycode::kTargetReady && code != keycode::kProgress)
            last = code;
    }, Qt::QueuedConnection);
    QObject::connect(&job, &jobs::Worker::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    job.prepare(depiction, width, height, codes);
    job.setTargetLimit(std::chrono::seconds(targetSeconds));
    job.startWork();
    loop.exec();
    job.wait();
    QCoreApplication::processEvents();  // codes still queued behind finished()

    const device::ModeSwitchOutcome work =
        device::g_bDevExist.load() ? device::SwitchModeChecked(device::mode::Work) : device::ModeSwitchOutcome{};
    if (!device::g_bDevExist.load() || (!work.ok && frameGone(work))) {
        session.sayMessage(61);
        return kExitNoFrame;
    }
    if (last != keycode::kStored) {
        if (const auto target = job.targetNotTaken())
            session.say(QStringLiteral("not taken within %1 s: %2")
                            .arg(targetSeconds)
                            .arg(describeTarget(depiction.targets[static_cast<size_t>(*target)], configuration)));
        session.sayMessage(last == keycode::kInitFailed ? 70 : 71);
        return kExitFailed;
    }
    records::CalInfo after;
    if (!records::readCalibrationRecord(records::UnitId::Slave, after)) {
        const bool gone = !device::g_bDevExist.load();
        session.sayMessage(gone ? 61 : 18);
        return gone ? kExitNoFrame : kExitFailed;
    }
    session.out() << "stored: " << (after.leftKeyCount + after.rightKeyCount + after.bottomKeyCount + after.topKeyCount)
                  << " keys, ";
    if (codes.keepFrameCodes)
        session.out() << "the frame's key codes kept\n";
    else
        session.out() << codes.codes.size() << " key codes\n";
    printRectangles(session.out(), after);
    if (!work.ok) {
        // Stored, but the frame is not in work mode: its keys do nothing yet.
        session.say(QStringLiteral("the keys are stored, but the frame did not take work mode"));
        session.sayMessage(work.messageId >= 0 ? work.messageId : 14);
        return kExitFailed;
    }
    return kExitDone;
}

int test(Session& session, int seconds)
{
    if (const int opened = session.requireWorkingFrame(false); opened != kExitDone)
        return opened;
    printKeysOnSimulatedFrame(session, readKeyConfiguration(), false);
    if (const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Work); !mode.ok) {
        session.sayMessage(frameGone(mode) ? 61 : 14);
        return frameGone(mode) ? kExitNoFrame : kExitFailed;
    }
    KeyTestThread job;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool failedRead = false;
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
        // The frame no longer answers report 7: it was pulled out, or it
        // cannot show its keys; either way the test ends here.
        if (code == testcode::kReadFailed && !failedRead) {
            failedRead = true;
            job.requestStop();
        }
    }, Qt::QueuedConnection);
    QObject::connect(&job, &jobs::Worker::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(seconds * 1000, &loop, [&] { job.requestStop(); });
    job.startWork();
    loop.exec();
    job.wait();
    QCoreApplication::processEvents();
    uint16_t productId = 0;
    const bool gone = !device::g_bDevExist.load() || device::CheckHidDevice(productId) == device::kCheckGone;
    if (gone) {
        session.sayMessage(61);
        return kExitNoFrame;
    }
    if (failedRead) {
        session.sayMessage(81);
        return kExitNoFrame;
    }
    return kExitDone;
}

int runKeys(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty() && arguments.at(0) == QLatin1String("calibrate")) {
        if (arguments.size() == 1)
            return calibrate(session, kDefaultTargetSeconds);
        if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--target-seconds")) {
            bool ok = false;
            const int seconds = arguments.at(2).toInt(&ok);
            if (ok && seconds > 0 && seconds <= 3600)
                return calibrate(session, seconds);
        }
    }
    if (arguments.size() == 3 && arguments.at(0) == QLatin1String("test") && arguments.at(1) == QLatin1String("--seconds")) {
        bool ok = false;
        const int seconds = arguments.at(2).toInt(&ok);
        if (ok && seconds > 0 && seconds <= 24 * 3600)
            return test(session, seconds);
    }
    return usage(session, "keys");
}

const CliVerb kKeys{"keys", "calibrate [--target-seconds N] | test --seconds N",
                    "calibrate the shortcut keys (each corner waits at most N seconds, 60 by default, for its "
                    "touch), or print each key the frame reports for N seconds",
                    runKeys};

} // namespace
} // namespace tovrin::cli
