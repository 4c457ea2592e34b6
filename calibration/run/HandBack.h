#pragma once
// The frame handed back when a calibration window is left, in a worker of
// its own so that the window goes on while the frame answers: the chosen
// 16/4-point mode kept in the Slave's screen record (keepCalibrationMode),
// then, as the window asks, work mode. The window starts it once its runs
// have ended and reads the result when it ends (jobs/Worker.h: whenEnded).

#include "device/DeviceStatus.h"
#include "jobs/Worker.h"

namespace tovrin::calib {

// When the hand-back switches the frame to work mode.
enum class WorkModeAfter {
    Never,       // the opener does it
    WhenKept,    // only once the screen record holds the mode
    UnlessGone,  // whatever the record, unless the frame is gone
};

struct HandBackResult {
    bool kept = false;             // the screen record holds the mode
    bool switched = false;         // work mode was asked for
    device::ModeSwitchOutcome work;  // and its outcome
};

class HandBackThread : public jobs::Worker {
    Q_OBJECT
public:
    using jobs::Worker::Worker;
    ~HandBackThread() override;

    // Starts the hand-back; false while one is under way.
    bool begin(int fourCalib, WorkModeAfter workMode);
    // The result of the last hand-back that ended.
    HandBackResult result() const;

protected:
    void work() override;

private:
    int m_fourCalib = 0;
    WorkModeAfter m_workMode = WorkModeAfter::Never;
    HandBackResult m_result;
};

} // namespace tovrin::calib
