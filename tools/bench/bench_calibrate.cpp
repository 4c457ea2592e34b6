// tovrin-bench calibrate: for each optics variant of the simulated frame
// (nominal, typical, worst), a whole 16-point calibration, the finger
// touching every target by itself with +-1 half pixel of noise, 1 ms per
// report, a 1920 x 1080 screen; then a 4-point calibration without the
// report time:
//   after_last_touch_ms  from the last captured touch to both records read back
//   solve_ms, corner_ms  the solve and the corner search
//   store_ms             reading, erasing, writing and reading back both records
//   reports              reports on the wire for the whole run (out and in)
//   grid_mean_px, grid_max_px
//                        a 15 x 9 grid of other touches mapped through the
//                        stored record as the frame maps them, against the finger
//   floor_mean_px, floor_max_px
//                        the same grid through the best records the frame can
//                        hold for its optics (camera parts only, exact spots):
//                        what no calibration of this kind can beat
//
// tovrin-bench calibrate-noise [runs]: where the grid error comes from. Over
// several runs (no report latency, no pauses) it compares captures with and
// without noise, touches with and without noise, with and without the cell
// corrections.
#include "Bench.h"

#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationJob.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/RunState.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/Clock.h"
#include "shell/Log.h"
#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/IdealCalibration.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace tovrin;
using namespace tovrin::calib;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Bench {
    std::shared_ptr<sim::SimulatedFrame> frame = std::make_shared<sim::SimulatedFrame>();

    explicit Bench(const char* optics = "typical") { frame->fingers().setOptics(*sim::opticsVariant(optics)); }

    bool open()
    {
        sim::writeFactoryContents(*frame);
        frame->fingers().setScreen(kWidth, kHeight);
        device::setTransport(sim::makeSimTransport(frame));
        uint16_t pid = 0;
        if (!device::OpenHidDevice(pid))
            return false;
        device::g_bDevExist = 1;
        device::g_isDeviceCommunicate = 1;
        device::ExtendedFrameDevice = 0;
        return device::SwitchModeChecked(device::mode::Calibration).ok;
    }
    ~Bench() { device::setTransport(nullptr); }

    void fingers(int jitter, unsigned seed)
    {
        sim::FingerSettings s;
        s.autoTouch = true;
        s.jitter = jitter;
        s.seed = seed;
        frame->fingers().configure(s);
    }

    RunReport calibrate(GridKind kind = GridKind::Sixteen)
    {
        FourCalib_en = kind == GridKind::Four ? 1 : 0;
        g_WaitFrameCount = 40;
        auto images = makeDeviceFrameImages();
        CalibrationJob job(kind, kWidth, kHeight, *images, {});
        return job.run();
    }

    // The stored record touched at a 15 x 9 grid; `corrected` false maps
    // with the camera parts only.
    GridFigure grid(const records::StClbInfo& block, int variant, bool corrected = true)
    {
        sim::Fingers& f = frame->fingers();
        const FrameMapping mapping(block, variant);
        return measureGrid(mapping, kWidth, kHeight, 15, 9,
                           touchThroughFrame([&f](double x, double y) { f.press(x, y); }, [&f] { f.lift(); }),
                           std::nullopt, corrected);
    }
};

double ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The log goes to a folder of its own, as the tool's does.
struct LogFolder {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    LogFolder()
    {
        QDir::setCurrent(dir.path());
        shell::PrepareLogFolders();
        shell::WriteLog("Tovrin log start!\n", true);
    }
    ~LogFolder() { QDir::setCurrent(previous); }
};

// The best records' grid: exact spots mapped as the frame maps them.
GridFigure floorGrid(const sim::Optics& optics)
{
    const sim::StoredSolution s = sim::fitSolution(optics);
    GridFigure g;
    double sum = 0.0;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 15; ++c) {
            const double x = kWidth * (c + 0.5) / 15.0, y = kHeight * (r + 0.5) / 9.0;
            const auto pl = optics.position(sim::Side::Left, x, y);
            const auto pr = optics.position(sim::Side::Right, x, y);
            const auto p = pl && pr ? sim::mapTouch(s, *pl, *pr) : std::nullopt;
            if (!p)
                continue;
            const double d = std::hypot(p->x - x, p->y - y);
            sum += d;
            g.maxPx = std::max(g.maxPx, d);
            ++g.touched;
        }
    g.meanPx = g.touched ? sum / g.touched : 0.0;
    return g;
}

int benchCalibrate(int, char**)
{
    LogFolder log;
    for (const char* optics : {"nominal", "typical", "worst"}) {
        Bench b(optics);
        if (!b.open()) {
            std::fprintf(stderr, "calibrate: the simulated frame did not open\n");
            return 1;
        }
        b.fingers(1, 1);
        b.frame->setReportLatency(std::chrono::milliseconds(1));
        const uint64_t before = b.frame->outputReports() + b.frame->inputReports();
        const RunReport r = b.calibrate();
        const uint64_t reports = b.frame->outputReports() + b.frame->inputReports() - before;
        if (r.outcome != RunOutcome::Stored) {
            std::fprintf(stderr, "calibrate: the calibration was not stored (%s: %s)\n", runOutcomeName(r.outcome),
                         r.reason.c_str());
            return 1;
        }
        b.frame->setReportLatency(std::chrono::microseconds(0));
        const GridFigure g = b.grid(r.block, r.variant);
        logGridFigure(g);
        const GridFigure floor = floorGrid(b.frame->fingers().optics(0));
        std::printf("calibrate optics=%s points=16 after_last_touch_ms=%.1f solve_ms=%.1f corner_ms=%.1f store_ms=%.1f "
                    "reports=%llu grid_mean_px=%.2f grid_max_px=%.2f floor_mean_px=%.2f floor_max_px=%.2f\n",
                    optics, ms(r.lastCapture, r.finished), r.solveMs, r.cornerMs, r.storeMs,
                    static_cast<unsigned long long>(reports), g.meanPx, g.maxPx, floor.meanPx, floor.maxPx);
        b.fingers(1, 2);
        const RunReport four = b.calibrate(GridKind::Four);
        if (four.outcome != RunOutcome::Stored) {
            std::fprintf(stderr, "calibrate: the 4-point calibration was not stored (%s: %s)\n",
                         runOutcomeName(four.outcome), four.reason.c_str());
            return 1;
        }
        const GridFigure g4 = b.grid(four.block, four.variant);
        std::printf("calibrate optics=%s points=4 grid_mean_px=%.2f grid_max_px=%.2f\n", optics, g4.meanPx, g4.maxPx);
        std::fflush(stdout);
    }
    return 0;
}

int benchCalibrateNoise(int argc, char** argv)
{
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 8;
    LogFolder log;
    setSleeper([](int) { std::this_thread::yield(); });
    Bench b;
    if (!b.open()) {
        std::fprintf(stderr, "calibrate-noise: the simulated frame did not open\n");
        return 1;
    }
    struct Sum {
        double mean = 0.0, max = 0.0;
        std::vector<double> rows;
        int n = 0;
        void add(const GridFigure& g)
        {
            mean += g.meanPx;
            max += g.maxPx;
            rows.resize(g.rowMeanPx.size());
            for (size_t i = 0; i < rows.size(); ++i)
                rows[i] += g.rowMeanPx[i];
            ++n;
        }
        void print(const char* what) const
        {
            std::printf("  %-54s grid_mean_px=%.2f grid_max_px=%.2f  rows:", what, n ? mean / n : 0.0,
                        n ? max / n : 0.0);
            for (double r : rows)
                std::printf(" %.1f", n ? r / n : 0.0);
            std::printf("\n");
        }
    };
    Sum exact, noisyCapture, noisyBoth, noisyCaptureRaw, exactRaw, averaged, averagedBoth;
    double residualMean = 0.0;
    for (int run = 0; run < runs; ++run) {
        const unsigned seed = 100 + static_cast<unsigned>(run);
        b.fingers(0, seed);
        const RunReport clean = b.calibrate();
        b.fingers(1, seed);
        const RunReport noisy = b.calibrate();
        if (clean.outcome != RunOutcome::Stored || noisy.outcome != RunOutcome::Stored) {
            std::fprintf(stderr, "calibrate-noise: run %d not stored\n", run);
            return 1;
        }
        g_CaptureAverage = 1;
        const RunReport mean = b.calibrate();
        g_CaptureAverage = 0;
        if (mean.outcome != RunOutcome::Stored) {
            std::fprintf(stderr, "calibrate-noise: run %d (averaged) not stored\n", run);
            return 1;
        }
        residualMean += noisy.accuracy.mean;
        b.fingers(0, seed);  // touches without noise: the calibration's own error
        exact.add(b.grid(clean.block, clean.variant));
        exactRaw.add(b.grid(clean.block, clean.variant, false));
        noisyCapture.add(b.grid(noisy.block, noisy.variant));
        noisyCaptureRaw.add(b.grid(noisy.block, noisy.variant, false));
        averaged.add(b.grid(mean.block, mean.variant));
        b.fingers(1, seed + 1000);  // and as a user feels it: the frame's noise at every touch
        noisyBoth.add(b.grid(noisy.block, noisy.variant));
        b.fingers(1, seed + 1000);
        averagedBoth.add(b.grid(mean.block, mean.variant));
    }
    std::printf("calibrate-noise runs=%d (16 points, 1920x1080, 15x9 grid, means over the runs)\n", runs);
    exact.print("capture exact, touches exact, cell corrections");
    exactRaw.print("capture exact, touches exact, camera parts only");
    noisyCapture.print("capture +-1 half pixel, touches exact, cell corrections");
    noisyCaptureRaw.print("capture +-1 half pixel, touches exact, camera parts only");
    noisyBoth.print("capture +-1, touches +-1 (as a user feels it)");
    averaged.print("capture +-1 averaged over the hold, touches exact");
    averagedBoth.print("capture +-1 averaged, touches +-1");
    std::printf("  calibration-point residual mean (noisy capture): %.2f px\n", residualMean / runs);
    return 0;
}

const tovrin::bench::BenchMode kCalibrate{"calibrate", "", benchCalibrate};
const tovrin::bench::BenchMode kCalibrateNoise{"calibrate-noise", "[runs]", benchCalibrateNoise};

} // namespace
