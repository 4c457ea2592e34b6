#include "keys/core/KeyStore.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/LineTransfer.h"
#include "shell/Log.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace tovrin::keys {

using records::CalInfo;
using records::UnitId;

namespace {

bool stopped(const StoreHooks& hooks)
{
    return (hooks.stopRequested && hooks.stopRequested()) || !device::g_bDevExist.load();
}

void progress(const StoreHooks& hooks, int percent)
{
    if (hooks.progress)
        hooks.progress(percent);
}

// Erase, write, read back; true only when the read-back equals the record.
bool storeRecord(UnitId unit, const CalInfo& record, CalInfo& readBack)
{
    if (!records::eraseCalibrationRecord(unit) || !records::writeCalibrationRecord(unit, record))
        return false;
    if (!records::readCalibrationRecord(unit, readBack))
        return false;
    return readBack.encode() == record.encode();
}

// A store that failed part-way: every unit already touched gets its
// previous record back while the frame still answers (a unit whose erase or
// write went through holds an invalid or a new record meanwhile).
void putBack(std::initializer_list<std::pair<UnitId, const CalInfo*>> units)
{
    for (const auto& [unit, previous] : units) {
        if (!device::g_bDevExist.load())
            return;
        CalInfo ignored;
        const char* name = unit == UnitId::Slave ? "Slave" : "Master";
        if (storeRecord(unit, *previous, ignored))
            shell::LogF("Key calibration: records not stored, previous %s record restored\n", name);
        else
            shell::LogF("Key calibration: previous %s record not restored\n", name);
    }
}

} // namespace

bool acceptKeyWindows(const calib::CornerWindow& w)
{
    if (!w.found)
        return false;
    if (w.leftEnd <= w.leftStart || w.rightEnd <= w.rightStart)
        return false;
    return w.leftStart < 320 && w.leftEnd > 320 && w.rightStart < 320 && w.rightEnd > 320;
}

StoreResult evaluateAndStore(CalInfo& slave, const CalInfo& previousSlave, const CalInfo& previousMaster,
                             const KeyArea& area, const calib::TouchMapper& mapper, const StoreHooks& hooks)
{
    shell::LogF("width=(%d,%d), height=(%d, %d)\n", area.xmin, area.xmax, area.ymin, area.ymax);
    calib::CornerWindow window = calib::SearchCorners(mapper, area);
    if (stopped(hooks))
        return StoreResult::Stopped;
    progress(hooks, 70);

    // The last line of each unit's image (region B; further on an extended frame).
    std::array<uint8_t, calib::kSensorColumns> masterLine{}, slaveLine{};
    const int regionBase = device::ExtendedFrameDevice.load() == 1 ? leveling::kRegionBExtended : 0;
    if (!leveling::readLastLines(regionBase, masterLine, slaveLine))
        return StoreResult::DeviceFailure;
    progress(hooks, 80);

    if (window.found) {
        calib::WidenByImage(window.leftStart, window.leftEnd, masterLine);
        calib::WidenByImage(window.rightStart, window.rightEnd, slaveLine);
    }
    shell::LogF("ImageEvaluation Left_Start=%d, Left_End=%d\n", window.leftStart, window.leftEnd);
    shell::LogF("ImageEvaluation Right_Start=%d, Right_End=%d\n\n", window.rightStart, window.rightEnd);
    if (!acceptKeyWindows(window))
        return StoreResult::Rejected;
    progress(hooks, 90);
    if (stopped(hooks))
        return StoreResult::Stopped;

    CalInfo master = previousMaster;
    records::widenWindow(master.u10_PROJECT_START, master.u10_PROJECT_END, window.leftStart, window.leftEnd);
    records::widenWindow(slave.u10_PROJECT_START, slave.u10_PROJECT_END, window.rightStart, window.rightEnd);

    // Slave: key layout, solution copy and the widened right window.
    CalInfo slaveBack;
    if (!storeRecord(UnitId::Slave, slave, slaveBack)) {
        putBack({{UnitId::Slave, &previousSlave}});
        return StoreResult::DeviceFailure;
    }
    logKeyRectangles(slaveBack, "CalInfo_Rtemp_");
    if (stopped(hooks)) {
        putBack({{UnitId::Slave, &previousSlave}});
        return StoreResult::Stopped;
    }

    // Master: its own record with the widened left window.
    CalInfo masterBack;
    if (!storeRecord(UnitId::Master, master, masterBack)) {
        putBack({{UnitId::Master, &previousMaster}, {UnitId::Slave, &previousSlave}});
        return StoreResult::DeviceFailure;
    }
    progress(hooks, 90);
    return StoreResult::Stored;
}

} // namespace tovrin::keys
