#include "calibration/run/CalibrationStore.h"

#include "shell/Log.h"

#include <chrono>
#include <cmath>

namespace tovrin::calib {

namespace {

using records::CalInfo;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
using records::UnitId;

bool finiteSolution(const TouchMapper& m)
{
    return std::isfinite(m.r) && std::isfinite(m.leftOffset) && std::isfinite(m.rightOffset) && m.r > 0.0;
}

// Writes one unit's record and reads it back; a record that reads back
// other than written is erased again.
bool writeAndVerify(UnitId unit, const CalInfo& record, CalInfo& readBack, std::string& reason)
{
    const char* name = unit == UnitId::Slave ? "Slave" : "Master";
    if (!records::writeCalibrationRecord(unit, record)) {
        reason = std::string("writing the ") + name + " record failed";
        return false;
    }
    if (!records::readCalibrationRecord(unit, readBack)) {
        reason = std::string("reading back the ") + name + " record failed";
        return false;
    }
    records::logCalibrationRecord(readBack, unit);
    if (readBack.encode() != record.encode()) {
        reason = std::string("the ") + name + " record read back differs from what was written";
        shell::LogF("Calibration: %s record read back differs from what was written; erased\n", name);
        records::eraseCalibrationRecord(unit);
        return false;
    }
    return true;
}

} // namespace

CalInfo buildCalibrationRecord(const CalInfo& read, const records::StClbInfo& block, int width, int height,
                               int variantFlag, int start, int end)
{
    CalInfo r = read;
    r.SENSORInfoFlag = records::kSensorInfoFlag;
    r.solution = block;
    r.ScreenWidth = static_cast<std::uint16_t>(width);
    r.ScreenHight = static_cast<std::uint16_t>(height);
    // A new touch calibration removes the shortcut-key layout.
    r.keySolution = records::StClbInfo{};
    r.leftKeyCount = r.bottomKeyCount = r.rightKeyCount = r.topKeyCount = 0;
    r.LeftKeyPosition = {};
    r.BottomKeyPosition = {};
    r.RightKeyPosition = {};
    r.TopKeyPosition = {};
    r.P_Pos = records::pPosTable(variantFlag);
    r.u10_PROJECT_START = static_cast<std::uint16_t>(start);
    r.u10_PROJECT_END = static_cast<std::uint16_t>(end);
    return r;
}

StoreResult evaluateAndStore(const TouchMapper& mapper, const records::StClbInfo& block, int width, int height,
                             int variantFlag, FrameImages& images, const StoreSteps& steps)
{
    StoreResult result;
    auto interrupted = [&] {
        if (steps.interrupted && steps.interrupted()) {
            result.outcome = StoreOutcome::Failed;
            result.reason = "interrupted";
            return true;
        }
        return false;
    };
    auto progress = [&](int percent) {
        if (steps.progress)
            steps.progress(percent);
    };
    auto reject = [&](const std::string& why) {
        shell::LogF("Calibration rejected: %s\n", why.c_str());
        result.outcome = StoreOutcome::Rejected;
        result.reason = why;
        return result;
    };

    if (interrupted())
        return result;
    // A solution that maps nothing, or maps nothing inside the screen, has no
    // image window: it is refused, never stored.
    if (!finiteSolution(mapper))
        return reject("the solution holds a value that is not a finite number");
    const auto cornerStart = Clock::now();
    const CornerWindow corners = SearchCorners(mapper, width, height);
    result.cornerMs = msSince(cornerStart);
    if (!corners.found)
        return reject("no pair of sensor columns maps inside the screen");
    ImageWindows& w = result.windows;
    w = {corners.leftStart, corners.leftEnd, corners.rightStart, corners.rightEnd};
    progress(60);

    if (interrupted())
        return result;
    ImageLine masterLine{}, slaveLine{};
    if (!images.readLastLines(masterLine, slaveLine)) {
        result.reason = "reading the last image lines failed";
        return result;
    }
    progress(80);

    WidenByImage(w.leftStart, w.leftEnd, masterLine);
    WidenByImage(w.rightStart, w.rightEnd, slaveLine);
    shell::LogF("ImageEvaluation Left_Start=%d, Left_End=%d\n", w.leftStart, w.leftEnd);
    shell::LogF("ImageEvaluation Right_Start=%d, Right_End=%d\n\n", w.rightStart, w.rightEnd);

    if (!records::acceptNewCalibration(w.leftStart, w.leftEnd, w.rightStart, w.rightEnd, block.r_fix))
        return reject("the image windows or the scale failed the acceptance test");
    progress(90);

    CalInfo slaveRead, masterRead;
    if (interrupted())
        return result;
    const auto storeStart = Clock::now();
    if (!records::readCalibrationRecord(UnitId::Slave, slaveRead) || interrupted() ||
        !records::readCalibrationRecord(UnitId::Master, masterRead)) {
        if (result.reason.empty())
            result.reason = "reading the records failed";
        return result;
    }
    const CalInfo slave = buildCalibrationRecord(slaveRead, block, width, height, variantFlag, w.rightStart, w.rightEnd);
    const CalInfo master = buildCalibrationRecord(masterRead, block, width, height, variantFlag, w.leftStart, w.leftEnd);

    if (interrupted())
        return result;
    if (!records::eraseCalibrationRecord(UnitId::Slave) || !records::eraseCalibrationRecord(UnitId::Master)) {
        if (result.reason.empty())
            result.reason = "erasing the records failed";
        return result;
    }
    // Once the records are erased the save is finished whatever is asked
    // meanwhile: stopping here would leave the frame with no calibration at
    // all. Only a failed transaction (a frame that is gone) ends it.
    if (!writeAndVerify(UnitId::Slave, slave, result.slave, result.reason))
        return result;
    if (!writeAndVerify(UnitId::Master, master, result.master, result.reason))
        return result;
    result.storeMs = msSince(storeStart);
    result.outcome = StoreOutcome::Stored;
    return result;
}

} // namespace tovrin::calib
