#pragma once
// ExposureThread: asks the frame to choose the exposure of the Master, then
// of the Slave, and reports each result (codes in LevelingCodes.h,
// namespace exposure). The firmware measures and chooses; the thread keeps
// the word, the columns that come with it and the out-of-range mark of
// each unit in the shared leveling state.
//
// The leveling window starts it after stopping CImagePreviewThread, so the
// two never talk to the frame at once.

#include "jobs/Worker.h"

namespace tovrin::leveling {

// Started with startWork(); a stop request ends it after the request it is
// in (jobs/Worker.h).
class ExposureThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit ExposureThread(QObject* parent = nullptr);
    ~ExposureThread() override;

protected:
    void work() override;

private:
    // The checks before each request: false when the run must end (device
    // lost is reported with code 6).
    bool mayGoOn();
    bool askUnit(int unit);
    void runUnits();
};

} // namespace tovrin::leveling
