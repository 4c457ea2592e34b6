#include "calibration/run/HandBack.h"

#include "calibration/run/CalibrationEntry.h"
#include "device/UnitOps.h"

namespace tovrin::calib {

HandBackThread::~HandBackThread() { stopAndWait(); }

bool HandBackThread::begin(int fourCalib, WorkModeAfter workMode)
{
    if (!hasEnded())
        return false;
    m_fourCalib = fourCalib;
    m_workMode = workMode;
    m_result = {};
    return startWork();
}

HandBackResult HandBackThread::result() const
{
    return hasEnded() ? m_result : HandBackResult{};
}

void HandBackThread::work()
{
    // Runs to its end: the record is written whole or not at all.
    m_result.kept = keepCalibrationMode(m_fourCalib);
    const bool switchBack = m_workMode == WorkModeAfter::UnlessGone
                                ? m_result.kept || device::g_bDevExist.load() != 0
                                : m_workMode == WorkModeAfter::WhenKept && m_result.kept;
    if (switchBack) {
        m_result.switched = true;
        m_result.work = device::SwitchModeChecked(device::mode::Work);
    }
}

} // namespace tovrin::calib
