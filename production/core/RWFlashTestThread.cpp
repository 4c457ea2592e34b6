#include "RWFlashTestThread.h"

#include "FlashCompare.h"

#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/OpeningSteps.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <QFile>
#include <QSaveFile>

#include <array>
#include <deque>

namespace tovrin::production {

namespace {
constexpr uint32_t kLineMax = 640;
} // namespace

RWFlashTestThread::RWFlashTestThread(QObject* parent)
    : Worker(parent)
{
}

RWFlashTestThread::~RWFlashTestThread() { stopAndWait(); }

void RWFlashTestThread::setOptions(const FlashTestOptions& options)
{
    std::lock_guard lock(m_mutex);
    m_options = options;
}

void RWFlashTestThread::setDumpPrefix(const QString& prefix)
{
    std::lock_guard lock(m_mutex);
    m_prefix = prefix;
}

void RWFlashTestThread::setCycleLimit(int cycles)
{
    std::lock_guard lock(m_mutex);
    m_limit = cycles;
}

QString RWFlashTestThread::dumpFile(int cycle, bool slave) const
{
    std::lock_guard lock(m_mutex);
    const QString prefix = m_prefix.isEmpty() ? QString::fromStdString(shell::context().logPrefix()) : m_prefix;
    return QStringLiteral("%1%2_Flash_%3.bin").arg(prefix).arg(cycle).arg(QLatin1String(slave ? "Slave" : "Master"));
}

bool RWFlashTestThread::frameGone() const { return device::g_bDevExist.load() == 0; }

bool RWFlashTestThread::workMode(uint8_t mode)
{
    device::CommandOutcome sent;
    if (device::SwitchMode(mode, nullptr, sent))
        return true;
    shell::LogF("RWFlashTest: Switch to work mode 0x%02x failed (%s)!\n", mode,
                sent.noReply() ? "no reply" : "refused");
    if (sent.noReply()) {
        device::g_bDevExist = 0;
        device::g_isDeviceCommunicate = 0;
    }
    return false;
}

RWFlashTestThread::DumpOutcome RWFlashTestThread::dump(int cycle)
{
    // Calibration mode, with one more try after 100 ms; a failure is a
    // failed dump like a failed read.
    if (!device::SwitchModeChecked(device::mode::Calibration).ok)
        return DumpOutcome::ReadFailed;
    std::array<uint8_t, kFlashBlock> block;
    for (bool slave : {false, true}) {
        const device::Unit unit = slave ? device::Unit::Slave : device::Unit::Master;
        QSaveFile file(dumpFile(cycle, slave));
        if (!file.open(QIODevice::WriteOnly)) {
            shell::LogF("RWFlashTest: dump file %s cannot be written\n", file.fileName().toUtf8().constData());
            return DumpOutcome::ReadFailed;
        }
        for (uint32_t offset = 0; offset < kDumpSize; offset += kFlashBlock) {
            if (stopRequested() || frameGone())
                return DumpOutcome::ReadFailed;
            if (!device::ReadToBuffer(device::flashAddress(unit, offset), static_cast<int>(kFlashBlock), block) ||
                file.write(reinterpret_cast<const char*>(block.data()), kFlashBlock) != static_cast<qint64>(kFlashBlock))
                return DumpOutcome::ReadFailed;
        }
        if (!file.commit())
            return DumpOutcome::ReadFailed;
    }
    return workMode(device::mode::Work) ? DumpOutcome::Done : DumpOutcome::ModeSwitchFailed;
}

void RWFlashTestThread::removeDumps(int cycle)
{
    for (bool slave : {false, true})
        QFile::remove(dumpFile(cycle, slave));
}

bool RWFlashTestThread::measure(int unit)
{
    using namespace device;
    const auto failed = [] {
        markGoneOnNoReply();
        return false;
    };
    uint32_t line = 0;
    const auto lower = static_cast<uint16_t>(leveling::g_SearchLower.load());
    const auto upper = static_cast<uint16_t>(leveling::g_SearchUpper.load());
    if (!SearchLine(unit, lower, upper, line) || line < 1 || line > kLineMax)
        return failed();
    if (stopRequested() || frameGone() || !SetLine(unit, static_cast<uint16_t>(line)))
        return failed();
    uint32_t start = 0, end = 0;
    if (stopRequested() || frameGone() || !ReadLineRange(unit, start, end))
        return failed();
    ZoneTable zones;
    if (stopRequested() || frameGone() || !ReadZones(unit, zones))
        return failed();
    uint8_t high = 0, low = 0;
    if (stopRequested() || frameGone() || !ReadExposure(unit, high, low, start, end))
        return failed();
    return true;
}

int RWFlashTestThread::compare(int cycle, const FlashTestOptions& options)
{
    for (bool slave : {false, true}) {
        QFile reference(dumpFile(0, slave));
        QFile current(dumpFile(cycle, slave));
        if (!reference.open(QIODevice::ReadOnly) || !current.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray a = reference.read(kDumpSize + 1);
        const QByteArray b = current.read(kDumpSize + 1);
        const auto span = [](const QByteArray& x) {
            return std::span(reinterpret_cast<const uint8_t*>(x.constData()), static_cast<size_t>(x.size()));
        };
        if (const auto block = firstDifferentBlock(span(a), span(b), options.compareMode, options.ignore)) {
            m_difference = *block;
            shell::LogF("RWFlashTest: cycle %d, %s flash differs in the block at 0x%08x\n", cycle,
                        slave ? "Slave" : "Master", *block);
            return slave ? testcode::SlaveDiffers : testcode::MasterDiffers;
        }
    }
    return 0;
}

void RWFlashTestThread::work()
{
    FlashTestOptions options;
    int limit;
    {
        std::lock_guard lock(m_mutex);
        options = m_options;
        limit = m_limit;
    }
    m_cycle = 0;
    m_difference = 0;
    const auto end = [this](int code) {
        if (code >= 0)
            Q_EMIT sendShowData(code);
        Q_EMIT sendShowData(testcode::Ended);
    };

    if (!sleepMsUnless(kStartWaitMs, stopFlag()))
        return;
    switch (dump(0)) {
    case DumpOutcome::Done:
        break;
    case DumpOutcome::ModeSwitchFailed:
        return end(testcode::ModeSwitchFailed);
    case DumpOutcome::ReadFailed:
        if (stopRequested())
            return;
        return end(frameGone() ? -1 : testcode::FlashReadError);
    }
    std::deque<int> passed;  // compared cycles whose dumps are still kept
    while (!stopRequested()) {
        if (frameGone())
            return end(-1);
        if (limit > 0 && m_cycle.load() >= limit)
            return end(-1);
        const int cycle = ++m_cycle;
        Q_EMIT sendShowData(testcode::CycleStarted);
        if (!device::SwitchModeChecked(device::mode::Calibration).ok)
            return end(frameGone() ? -1 : testcode::ModeSwitchFailed);
        if (frameGone())
            return end(-1);
        leveling::chooseSearchWindow();
        for (int unit : {0, 1}) {
            if (stopRequested())
                return;
            if (frameGone())
                return end(-1);
            if (!measure(unit)) {
                if (stopRequested())
                    return;
                return end(frameGone() ? -1 : testcode::TestFailed);
            }
        }
        // A refused switch ends the test; the dump still runs, so that a
        // flash change (which may be why the frame refuses) is the outcome
        // that names it.
        const bool switched = workMode(cycle % 2 == 1 ? device::mode::WorkAfterLeveling : device::mode::Work);
        if (!switched && frameGone())
            return end(testcode::ModeSwitchFailed);
        const DumpOutcome dumped = dump(cycle);
        if (stopRequested())
            return;
        if (dumped == DumpOutcome::ReadFailed) {
            if (!switched)
                return end(testcode::ModeSwitchFailed);
            if (!frameGone())
                Q_EMIT sendShowData(testcode::FlashReadError);
            continue;
        }
        if (dumped == DumpOutcome::ModeSwitchFailed && frameGone())
            return end(testcode::ModeSwitchFailed);
        const int result = compare(cycle, options);
        if (result > 0)
            return end(result);
        if (!switched || dumped == DumpOutcome::ModeSwitchFailed)
            return end(testcode::ModeSwitchFailed);
        if (result < 0) {
            Q_EMIT sendShowData(testcode::FlashReadError);
            continue;
        }
        passed.push_back(cycle);
        if (passed.size() > static_cast<size_t>(kKeptCycles)) {
            removeDumps(passed.front());
            passed.pop_front();
        }
        if (limit > 0 && cycle >= limit)
            return end(-1);
        sleepMsUnless(kCycleWaitMs, stopFlag());
    }
}

} // namespace tovrin::production
