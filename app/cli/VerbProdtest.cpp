// tovrin-cli prodtest --cycles N [--ignore exposure,columns,linejoin]: the
// production flash read/write test, unattended, with the exit code of its
// outcome (0: N cycles, every switch into a work mode taken, and both units'
// flash never changed; 3: the frame went during the test).
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "production/core/FlashCompare.h"
#include "production/core/RWFlashTestThread.h"

#include <QEventLoop>

namespace tovrin::cli {
namespace {

using namespace production;

int runProdtest(Session& session, const QStringList& arguments)
{
    int cycles = 0;
    FlashTestOptions options;
    options.selected = true;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--cycles") && i + 1 < arguments.size()) {
            bool ok = false;
            cycles = arguments.at(++i).toInt(&ok);
            if (!ok || cycles < 1)
                return usage(session, "prodtest");
        } else if (a == QLatin1String("--ignore") && i + 1 < arguments.size()) {
            bool exposure = false, columns = false, lineJoin = false;
            for (const QString& m : arguments.at(++i).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (m == QLatin1String("exposure"))
                    exposure = true;
                else if (m == QLatin1String("columns"))
                    columns = true;
                else if (m == QLatin1String("linejoin"))
                    lineJoin = true;
                else
                    return usage(session, "prodtest");
            }
            options.compareMode = CompareMode::IgnoreListed;
            options.ignore = ignoreListFor(exposure, columns, lineJoin);
        } else {
            return usage(session, "prodtest");
        }
    }
    if (cycles < 1)
        return usage(session, "prodtest");

    if (const int opened = session.openFrame(); opened != kExitDone)
        return opened;
    // The test window lets a frame be tested whatever its error words say,
    // but not one that does not talk or runs no firmware.
    switch (session.statusResult()) {
    case device::kStatusNoLink:
    case device::kStatusFirmwareNotReady:
    case device::kStatusTimedOut:
        session.sayMessage(device::statusMessageId(session.statusResult()));
        return kExitFailed;
    default:
        break;
    }

    RWFlashTestThread worker;
    worker.setOptions(options);
    worker.setCycleLimit(cycles);
    int outcome = kExitDone;
    int readErrors = 0;
    QObject::connect(&worker, &RWFlashTestThread::sendShowData, &worker, [&](int code) {
        const QString address = QStringLiteral("%1").arg(worker.differenceAddress(), 8, 16, QLatin1Char('0'));
        switch (code) {
        case testcode::CycleStarted:
            session.out() << QStringLiteral("%1_测试中......").arg(worker.cycle()) << Qt::endl;
            break;
        case testcode::ModeSwitchFailed:
            session.say(QStringLiteral("模式转换失败！"));
            outcome = kExitFailed;
            break;
        case testcode::TestFailed:
            session.say(QStringLiteral("测试失败！"));
            outcome = kExitFailed;
            break;
        case testcode::MasterDiffers:
            session.say(QStringLiteral("Master Flash存在不同。地址：0x%1").arg(address));
            outcome = kExitFailed;
            break;
        case testcode::SlaveDiffers:
            session.say(QStringLiteral("Slave Flash存在不同。地址：0x%1").arg(address));
            outcome = kExitFailed;
            break;
        case testcode::FlashReadError:
            session.say(QStringLiteral("读Flash出错"));
            ++readErrors;
            break;
        default:
            break;
        }
    });
    QEventLoop loop;
    QObject::connect(&worker, &jobs::Worker::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker.startWork();
    loop.exec();

    if (device::g_bDevExist.load() == 0) {
        session.sayMessage(61);
        return kExitNoFrame;
    }
    if (outcome == kExitDone && (readErrors > 0 || worker.cycle() < cycles)) {
        session.say(QStringLiteral("%1 of %2 cycles compared; flash read errors: %3").arg(worker.cycle() - readErrors).arg(cycles).arg(readErrors));
        return kExitFailed;
    }
    if (outcome == kExitDone)
        session.out() << QStringLiteral("测试完毕: %1 cycles, Master and Slave flash unchanged").arg(cycles) << Qt::endl;
    return outcome;
}

const CliVerb kProdtest{"prodtest", "--cycles N [--ignore exposure,columns,linejoin]",
                        "run the production flash read/write test for N cycles", runProdtest};

} // namespace
} // namespace tovrin::cli
