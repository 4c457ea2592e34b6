#include "ExposureThread.h"

#include "ExposureScale.h"
#include "LevelingCodes.h"
#include "LevelingState.h"
#include "LevelingSteps.h"

#include "device/DeviceOps.h"
#include "device/UnitOps.h"

namespace tovrin::leveling {

ExposureThread::ExposureThread(QObject* parent)
    : Worker(parent)
{
}

ExposureThread::~ExposureThread() { stopAndWait(); }

bool ExposureThread::mayGoOn()
{
    if (stopRequested())
        return false;
    if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load()) {
        settleLinkLoss();  // silent or pulled out: the window says which
        Q_EMIT sendData(exposure::DeviceLost);
        markStopped();
        return false;
    }
    return !g_WindowClosing.load();
}

bool ExposureThread::askUnit(int unit)
{
    g_isExposureSuc = 0;
    uint8_t high = 0xFF, low = 0xFF;
    uint32_t first = 0, last = 0;
    if (!device::ReadExposure(unit, high, low, first, last)) {
        device::markGoneOnNoReply();
        return false;
    }
    device::g_isDeviceCommunicate = 1;
    g_isExposureSuc = 1;
    setExposure(unit, high, low);
    setColumns(unit, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
    return true;
}

void ExposureThread::work()
{
    runUnits();
    settleLinkLoss();
}

void ExposureThread::runUnits()
{
    for (int unit : {kMaster, kSlave}) {
        if (!mayGoOn())
            return;
        if (!askUnit(unit)) {
            // A request the frame never answered: the link is lost (code 6,
            // no 16), not the exposure refused.
            if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load()) {
                mayGoOn();
                return;
            }
            // The other unit keeps its earlier result.
            Q_EMIT sendData(unit == kMaster ? exposure::MasterFailed : exposure::SlaveFailed);
            markStopped();
            Q_EMIT sendData(exposure::Finished);
            return;
        }
        if (!mayGoOn())
            return;
        const UnitLeveling u = unitLeveling(unit);
        std::atomic<int>& mark = exposureMarkOf(unit);
        mark = exposureMark(mark.load() != 0, u.exposureHigh, u.exposureLow, g_ExposureLimit.load()) ? 1 : 0;
        Q_EMIT sendData(unit == kMaster ? exposure::MasterReady : exposure::SlaveReady);
    }
    Q_EMIT sendData(exposure::Finished);
}

} // namespace tovrin::leveling
