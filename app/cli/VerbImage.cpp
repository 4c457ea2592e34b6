// tovrin-cli image: one frame of each camera as a greyscale picture, fetched
// by the Preview page's worker (PreviewThread). The pictures are binary PGM
// files, 640 pixels wide and one row per frame line, with the raw 8-bit
// values the frame sent.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingConfig.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/PreviewThread.h"

#include <QEventLoop>
#include <QSaveFile>
#include <QTimer>

#include <atomic>

namespace tovrin::cli {
namespace {

using namespace tovrin::leveling;

bool writePgm(const QString& path, const FrameBytes& frame, int lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray header = QStringLiteral("P5\n640 %1\n255\n").arg(lines).toLatin1();
    file.write(header);
    file.write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(lines) * 640);
    return file.commit();
}

int fetchOneFrame(Session& session, const QString& left, const QString& right, bool compressed)
{
    const LevelingConfig config = readLevelingConfig(device::ExtendedFrameDevice.load() == 1);
    std::atomic<int> ready{0};
    FrameBuffers frames(ready);
    if (!frames.open()) {
        session.sayMessage(63);
        return kExitFailed;
    }
    PreviewThread thread(frames);
    const bool packed = compressed && !config.extended;
    const int lines = packed ? 9 : config.lineNum;
    thread.setFrameLayout(lines, config.extended);
    thread.setCompression(packed);
    QEventLoop loop;
    bool got = false;
    QObject::connect(&thread, &PreviewThread::sendData, &loop, [&](int code) {
        if (code == preview::FrameReady) {
            got = true;
            loop.quit();
        } else if (code == preview::Stopped || code == preview::RegisterReadFailed ||
                   code == preview::RegisterWriteFailed) {
            loop.quit();
        }
    }, Qt::QueuedConnection);
    thread.startWork();
    loop.exec();
    thread.stopAndWait();
    FrameBytes a{}, b{};
    if (!got || !frames.take(a, b)) {
        session.sayMessage(device::g_bDevExist.load() ? 63 : 61);
        return kExitFailed;
    }
    if (!writePgm(session.filePath(left), a, lines) || !writePgm(session.filePath(right), b, lines)) {
        session.say(QStringLiteral("tovrin-cli: cannot write %1 or %2").arg(left, right));
        return kExitFailed;
    }
    session.out() << "left " << session.filePath(left) << " 640x" << lines << '\n';
    session.out() << "right " << session.filePath(right) << " 640x" << lines << '\n';
    return kExitDone;
}

int runImage(Session& session, const QStringList& arguments)
{
    QStringList files = arguments;
    const bool compressed = files.removeAll(QStringLiteral("--compressed")) > 0;
    if (files.size() != 2)
        return usage(session, "image");
    if (const int r = session.requireWorkingFrame(true); r != kExitDone)
        return r;
    const device::ModeSwitchOutcome in = device::SwitchModeChecked(device::mode::Calibration);
    if (!in.ok) {
        session.sayMessage(in.messageId >= 0 ? in.messageId : 14);
        return kExitFailed;
    }
    const int result = fetchOneFrame(session, files[0], files[1], compressed);
    device::SwitchModeChecked(device::mode::Work);
    return result;
}

const CliVerb kImage{"image", "[--compressed] <left.pgm> <right.pgm>",
                     "save one line image of each camera as a PGM picture", runImage};

} // namespace
} // namespace tovrin::cli
