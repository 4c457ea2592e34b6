#pragma once
// How good a stored calibration is, as the technician sees it after the run.
//
//   - the residual at the calibration points: each captured point mapped
//     by the solution, against its target; mean and worst, in pixels and,
//     when the screen-size class of Tovrin.ini names a panel diagonal, in
//     millimetres;
//   - the short check: a few further targets (the middles of grid cells,
//     where no calibration point lies) are touched as in a calibration, and
//     each touch is mapped as the frame maps it with the stored records. A
//     check whose worst touch lands farther off than the bound of Tovrin.ini
//     (Tovrin_Config/CheckBound, pixels, default 12) has failed, and the
//     window offers the calibration again.
//
// CheckThread runs the check; its codes (sendData): 0 target ready / redraw,
// 1 the check is over (report()), 2 a transaction failed, 3 the frame is
// gone. The window paints the targets from the run state of RunState.h, as
// in a calibration.

#include "calibration/math/Solver.h"
#include "calibration/run/Accuracy.h"
#include "records/ClbInfo.h"

#include "jobs/Worker.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tovrin::calib {

struct QualityFigures {
    int points = 0;
    double meanPx = 0.0;
    double maxPx = 0.0;
    int worst = -1;
    std::optional<double> mmPerPixel;
};

// Millimetres per pixel of a width x height picture on the panel the
// screen-size class of Tovrin.ini (Tovrin_Config/Screen_Size) stands for;
// nothing for the open classes.
std::optional<double> configuredMmPerPixel(int width, int height);

QualityFigures qualityOf(const AccuracyReport& report, std::optional<double> mmPerPixel);
// "mean 1.23 px (0.86 mm), worst 4.56 px (3.19 mm) at point 12"
QString qualityText(const QualityFigures& figures);
// The log line "Calibration quality: calibration points mean ..."
void logQuality(const QualityFigures& figures);

constexpr double kDefaultCheckBoundPx = 12.0;
// Tovrin_Config/CheckBound of Tovrin.ini, pixels (1-500; else the default).
double checkBoundPx();

// The check's targets on a width x height screen: the middles of the four
// corner cells and of the middle cell of the 16-point grid.
std::vector<ScreenPoint> checkTargets(int width, int height);

struct CheckPoint {
    ScreenPoint target;
    bool seen = false;     // the touch was captured and mapped
    double x = 0.0;        // where the frame puts it
    double y = 0.0;
    double errorPx = 0.0;
};

struct CheckReport {
    bool finished = false;  // every target touched
    std::vector<CheckPoint> points;
    double maxPx = 0.0;
    double boundPx = kDefaultCheckBoundPx;
    bool passed() const { return finished && maxPx <= boundPx; }
};

// "check: 5 touches, worst 3.21 px (2.25 mm), bound 12 px: passed"
QString checkText(const CheckReport& report, std::optional<double> mmPerPixel);
void logCheck(const CheckReport& report, std::optional<double> mmPerPixel);

namespace checkcode {
constexpr int TargetReady = 0;
constexpr int Finished = 1;
constexpr int Failed = 2;
constexpr int DeviceLost = 3;
} // namespace checkcode

class CheckThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit CheckThread(QObject* parent = nullptr);
    ~CheckThread() override;

    // Checks the stored block of a width x height calibration (the frame in
    // calibration mode).
    void startCheck(const records::StClbInfo& block, int variant, int width, int height);

    CheckReport report() const;

protected:
    void work() override;

private:
    records::StClbInfo m_block;
    int m_variant = 0;
    int m_width = 0;
    int m_height = 0;
    mutable std::mutex m_mutex;
    CheckReport m_report;
};

// The check in the caller's thread: what CheckThread runs. `send` gets the
// codes (0 while it runs; 2 or 3 when it fails); `stop` ends it early;
// `touched` gets each target's result as it is taken.
CheckReport runCheck(const records::StClbInfo& block, int variant, int width, int height,
                     const std::function<void(int)>& send, const std::atomic<bool>* stop,
                     const std::function<void(int, const CheckPoint&)>& touched = {});

struct CalibrationRunState;
// The check's own run state (target shown, hold), read by the window that
// paints it; the calibration's run state stays as the run left it.
CalibrationRunState& checkRunState();

} // namespace tovrin::calib
