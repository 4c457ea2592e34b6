// tovrin-bench accuracy [seeds] [optics] [WxH]: how well a calibration
// places touches, as the user will feel them.
//
// For each optics variant of the simulated frame (nominal, typical, worst),
// each noise model of its finger (uniform, gauss, outliers, drift; +-1 half
// pixel), each screen (1366x768, 1920x1080, 2560x1440, 3840x2160,
// 1080x1920) and both calibrations (16 and 4 points), whole calibration
// runs (one per seed) store their records in the frame. Then a 40 x 30 grid
// of other touches, each in the middle of its grid cell, is touched: the
// simulator's optics say where each camera sees the finger (to the half
// pixel the frame reports, without noise: what is measured is the
// calibration, not the noise of one touch), and the simulator's own
// reading of the stored record maps it as the firmware does. Errors against
// the finger, pooled over the seeds:
//   mean_px p95_px max_px     the corrected touch (what the frame reports)
//   mean_mm p95_mm max_mm     the same on a panel of the diagonal the
//                             screen-size class of the frame's 65-inch
//                             panel stands for
//   uncorrected_mean_px       the cameras alone, without the cell corrections
//                             (on a screen solved on a smaller plane, their
//                             point brought back up by the plane divisor)
//   floor_mean_px floor_max_px
//                             the best records the frame can hold for its
//                             optics (camera parts only, the simulator's own
//                             fit, on the same plane): what the cameras alone
//                             cannot beat
//   record_floor_mean_px      4 points, with TOVRIN_BENCH_RECORD_FLOOR=1:
//                             the best a 4-point record (camera parts,
//                             scale and its one correction) can place the
//                             grid, all fitted to the grid itself
//                             (RecordFloor.h): what the record allows, as
//                             against what four captures find
//   resolution_max_px         the frame reports each camera's position to
//                             the half pixel; along x and y through a grid
//                             touch, half the run of touches that share its
//                             report: a lower bound on the worst error near
//                             that touch for any records. The largest over
//                             the grid
// and the last line sums up the "typical" optics with the default noise:
//   accuracy mean_1080_px=.. max_1080_px=.. mean_4k_px=.. max_4k_px=..
//            mean_4pt_over_16pt=<the worst ratio over the screens>
#include "Bench.h"
#include "RecordFloor.h"

#include "calibration/math/Refine.h"
#include "calibration/run/Accuracy.h"
#include "calibration/run/CalibrationJob.h"
#include "calibration/run/FrameMapping.h"
#include "calibration/run/RunState.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"
#include "sim/FactoryFrame.h"
#include "sim/IdealCalibration.h"
#include "sim/Fingers.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "sim/TouchMapping.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace tovrin;
using namespace tovrin::calib;

namespace {

constexpr int kColumns = 40;
constexpr int kRows = 30;
constexpr double kPanelInches = 65.0;
// The finger's wander, half pixels per frame (TOVRIN_BENCH_JITTER, 1 by
// default; 0 measures the calibration without any noise).
int g_jitter = 1;

struct Screen {
    int width;
    int height;
};
constexpr Screen kScreens[] = {{1366, 768}, {1920, 1080}, {2560, 1440}, {3840, 2160}, {1080, 1920}};
constexpr const char* kOptics[] = {"nominal", "typical", "worst"};
constexpr sim::NoiseModel kNoises[] = {sim::NoiseModel::Uniform, sim::NoiseModel::Gaussian, sim::NoiseModel::Outliers,
                                       sim::NoiseModel::Drift};

// Calls f(x, y) for each touch of the 40 x 30 grid, in the middle of its
// cell, row by row.
template <class F>
void forEachGridTouch(const Screen& screen, F f)
{
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            f((c + 0.5) * screen.width / kColumns, (r + 0.5) * screen.height / kRows);
}

// The screen-size class a panel diagonal falls in (0 up to 30 inches, then
// 31-42, 43-55, 56-65, 66-75, 76-85, 86-95, 7 from 96).
int sizeClassOf(double inches)
{
    static constexpr double kUpper[] = {30.5, 42.5, 55.5, 65.5, 75.5, 85.5, 95.5};
    int c = 0;
    while (c < 7 && inches > kUpper[c])
        ++c;
    return c;
}

struct LogFolder {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    LogFolder()
    {
        // TOVRIN_BENCH_KEEP_LOG=1 keeps the runs' log and says where it is.
        if (qEnvironmentVariableIntValue("TOVRIN_BENCH_KEEP_LOG") == 1) {
            dir.setAutoRemove(false);
            std::fprintf(stderr, "accuracy: log in %s\n", qPrintable(dir.path()));
        }
        QDir::setCurrent(dir.path());
        shell::PrepareLogFolders();
        shell::WriteLog("Tovrin log start!\n", true);
    }
    ~LogFolder() { QDir::setCurrent(previous); }
};

struct Errors {
    std::vector<double> corrected;
    std::vector<double> uncorrected;
    int missed = 0;
    int runs = 0;
    int failed = 0;

    static double mean(const std::vector<double>& v)
    {
        double s = 0.0;
        for (double d : v)
            s += d;
        return v.empty() ? 0.0 : s / static_cast<double>(v.size());
    }
    static double percentile(std::vector<double> v, double q)
    {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        const size_t k = std::min(v.size() - 1, static_cast<size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1);
        return v[k];
    }
    double meanPx() const { return mean(corrected); }
    double maxPx() const { return corrected.empty() ? 0.0 : *std::max_element(corrected.begin(), corrected.end()); }
};

class Frame {
public:
    explicit Frame(const sim::OpticsConfig& optics) { m_frame->fingers().setOptics(optics); }
    ~Frame() { device::setTransport(nullptr); }

    bool open()
    {
        sim::writeFactoryContents(*m_frame);
        device::setTransport(sim::makeSimTransport(m_frame));
        uint16_t pid = 0;
        if (!device::OpenHidDevice(pid))
            return false;
        device::g_bDevExist = 1;
        device::g_isDeviceCommunicate = 1;
        device::ExtendedFrameDevice = 0;
        return device::SwitchModeChecked(device::mode::Calibration).ok;
    }

    // One whole calibration run; the stored record's solution as the
    // simulated firmware reads it.
    std::optional<sim::StoredSolution> calibrate(GridKind kind, const Screen& screen, sim::NoiseModel noise,
                                                 unsigned seed)
    {
        m_frame->fingers().setScreen(screen.width, screen.height);
        sim::FingerSettings s;
        s.autoTouch = true;
        s.jitter = g_jitter;
        s.noise = noise;
        s.seed = seed;
        m_frame->fingers().configure(s);
        FourCalib_en = kind == GridKind::Four ? 1 : 0;
        g_WaitFrameCount = 40;
        auto images = makeDeviceFrameImages();
        CalibrationJob job(kind, screen.width, screen.height, *images, {});
        const RunReport r = job.run();
        if (r.outcome != RunOutcome::Stored) {
            std::fprintf(stderr, "accuracy: %dx%d %d points seed %u not stored (%s: %s)\n", screen.width,
                         screen.height, kind == GridKind::Four ? 4 : 16, seed, runOutcomeName(r.outcome),
                         r.reason.c_str());
            return std::nullopt;
        }
        const auto record = m_frame->readFlash(sim::Unit::Slave, sim::kCalibrationRecordOffset,
                                               sim::kCalibrationRecordSize);
        return sim::readSolution(record, sim::kSolutionOffset);
    }


    // Where the cameras see a finger at (x, y), to the half pixel.
    std::optional<sim::FingerSight> sight(double x, double y)
    {
        sim::Fingers& f = m_frame->fingers();
        f.press(x, y);
        auto seen = f.sight(0);
        f.lift();
        if (!seen || !seen->left || !seen->right)
            return std::nullopt;
        return seen;
    }

    // The best records the frame can hold for its optics (camera parts
    // only, the simulator's own fit): what no calibration of this kind can
    // beat without the cell corrections.
    // A 40 x 30 grid of touches mapped through a solution as the simulated
    // firmware maps them.
    // The cameras alone place a touch on the solution plane (the screen
    // divided by `plane`); the cell corrections, where stored, take it onto
    // the screen.
    void touchGrid(const sim::StoredSolution& solution, const Screen& screen, Errors& out, int plane)
    {
        const double n = plane;
        const double nCorrected = solution.cellCount == 0 ? n : 1.0;
        forEachGridTouch(screen, [&](double x, double y) {
            const auto seen = sight(x, y);
            const auto p = seen ? sim::mapCorrected(solution, *seen->left, *seen->right) : std::nullopt;
            const auto raw = seen ? sim::mapTouch(solution, *seen->left, *seen->right) : std::nullopt;
            if (!p || !raw) {
                ++out.missed;
                return;
            }
            out.corrected.push_back(std::hypot(p->x * nCorrected - x, p->y * nCorrected - y));
            out.uncorrected.push_back(std::hypot(raw->x * n - x, raw->y * n - y));
        });
    }

    // The frame reports each camera's position to the half pixel: touches
    // whose two positions round alike make one report, and no records tell
    // them apart. Along x and along y through each grid touch, half the
    // length of the run of touches that share its report: some touch there
    // lands at least that far off, whatever the records hold. The largest
    // over the grid.
    double resolutionOf(const Screen& screen)
    {
        m_frame->fingers().setScreen(screen.width, screen.height);
        const sim::Optics optics = m_frame->fingers().optics(0);
        using Report = std::pair<long, long>;
        const auto report = [&](double x, double y) -> std::optional<Report> {
            const auto l = optics.position(sim::Side::Left, x, y);
            const auto r = optics.position(sim::Side::Right, x, y);
            if (!l || !r)
                return std::nullopt;
            return Report{std::lround(*l), std::lround(*r)};
        };
        // How far from (x, y) along (dx, dy) the report stays `at`: whole
        // pixels outward, then halving the last step.
        const auto reach = [&](double x, double y, double dx, double dy, const Report& at) {
            constexpr double kFarthest = 200.0;
            double in = 0.0;
            while (in < kFarthest && report(x + (in + 1.0) * dx, y + (in + 1.0) * dy) == at)
                in += 1.0;
            double step = 0.5;
            for (int k = 0; k < 12; ++k, step /= 2.0)
                if (report(x + (in + step) * dx, y + (in + step) * dy) == at)
                    in += step;
            return in;
        };
        double worst = 0.0;
        forEachGridTouch(screen, [&](double x, double y) {
            const auto at = report(x, y);
            if (!at)
                return;
            const double alongX = reach(x, y, 1.0, 0.0, *at) + reach(x, y, -1.0, 0.0, *at);
            const double alongY = reach(x, y, 0.0, 1.0, *at) + reach(x, y, 0.0, -1.0, *at);
            worst = std::max(worst, std::max(alongX, alongY) / 2.0);
        });
        return worst;
    }

    // The best a 4-point record can do for these optics (RecordFloor.h).
    // The start: the tool's own 4-point solution from the corners' reports
    // without noise, its camera parts fitted to the whole grid, then its
    // correction through the corners.
    std::optional<double> fourPointFloor(const Screen& screen)
    {
        m_frame->fingers().setScreen(screen.width, screen.height);
        const int n = planeDivisor(screen.width);
        std::vector<bench::GridTouch> grid;
        std::vector<RefinePoint> onPlane;
        forEachGridTouch(screen, [&](double x, double y) {
            if (const auto seen = sight(x, y)) {
                grid.push_back({*seen->left, *seen->right, x, y});
                onPlane.push_back({*seen->left, *seen->right, x / n, y / n});
            }
        });
        CalibInput4 corners;
        corners.width = screen.width;
        corners.height = screen.height;
        const auto targets = screenPoints4(screen.width, screen.height);
        for (int i = 0; i < 4; ++i) {
            const auto seen = sight(targets[static_cast<size_t>(i)].x, targets[static_cast<size_t>(i)].y);
            if (!seen)
                return std::nullopt;
            corners.oneDLeft[static_cast<size_t>(i)] = *seen->left;
            corners.oneDRight[static_cast<size_t>(mirror4(i))] = *seen->right;
        }
        CalibSolver solver(device::ExtendedFrameDevice.load() == 1 ? 1 : 0, "gFastClbInfo");
        SolveOptions options;
        options.leastShiftScale = true;
        std::optional<double> floor;
        if (solver.Solve4(corners, {}, options) == SolveStatus::Ok) {
            records::StClbInfo block = solver.block();
            refineSolution(solver.table(), block, onPlane);
            solver.load(block, n);
            if (solver.BuildCorrection(corners) == SolveStatus::Ok)
                floor = bench::fourPointRecordFloor(solver.table(), solver.block(), grid);
        }
        return floor;
    }

    Errors floorOf(const Screen& screen)
    {
        m_frame->fingers().setScreen(screen.width, screen.height);
        const int plane = planeDivisor(screen.width);
        const sim::StoredSolution best = sim::fitSolution(m_frame->fingers().optics(0), plane);
        Errors e;
        touchGrid(best, screen, e, plane);
        return e;
    }

private:
    std::shared_ptr<sim::SimulatedFrame> m_frame = std::make_shared<sim::SimulatedFrame>();
};

bool parseScreen(const char* text, Screen& s)
{
    return std::sscanf(text, "%dx%d", &s.width, &s.height) == 2 && s.width > 0 && s.height > 0;
}

int benchAccuracy(int argc, char** argv)
{
    const int seeds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<std::string> optics(std::begin(kOptics), std::end(kOptics));
    if (argc >= 3 && std::strcmp(argv[2], "all") != 0)
        optics = {argv[2]};
    std::vector<Screen> screens(std::begin(kScreens), std::end(kScreens));
    if (argc >= 4 && std::strcmp(argv[3], "all") != 0) {
        Screen s{};
        if (!parseScreen(argv[3], s)) {
            std::fprintf(stderr, "accuracy: screen as WxH, e.g. 1920x1080\n");
            return 2;
        }
        screens = {s};
    }
    std::vector<sim::NoiseModel> noises(std::begin(kNoises), std::end(kNoises));
    if (argc >= 5 && std::strcmp(argv[4], "all") != 0) {
        const auto n = sim::noiseModelNamed(argv[4]);
        if (!n) {
            std::fprintf(stderr, "accuracy: noise uniform, gauss, outliers or drift\n");
            return 2;
        }
        noises = {*n};
    }

    // TOVRIN_BENCH_CAPTURE=vote|average, TOVRIN_BENCH_REFINE=0|1 and
    // TOVRIN_BENCH_LEASTSHIFT=0|1 choose the capture estimate, the refined
    // solve and the 4-point scale choice (else the tool's defaults).
    const QByteArray capture = qgetenv("TOVRIN_BENCH_CAPTURE");
    if (capture == "vote")
        g_CaptureAverage = 0;
    else if (capture == "average")
        g_CaptureAverage = 1;
    if (qEnvironmentVariableIsSet("TOVRIN_BENCH_REFINE"))
        g_RefineSolve = qEnvironmentVariableIntValue("TOVRIN_BENCH_REFINE") == 1 ? 1 : 0;
    if (qEnvironmentVariableIsSet("TOVRIN_BENCH_LEASTSHIFT"))
        g_LeastShiftScale = qEnvironmentVariableIntValue("TOVRIN_BENCH_LEASTSHIFT") == 0 ? 0 : 1;
    const bool recordFloor = qEnvironmentVariableIntValue("TOVRIN_BENCH_RECORD_FLOOR") == 1;
    if (qEnvironmentVariableIsSet("TOVRIN_BENCH_JITTER"))
        g_jitter = std::clamp(qEnvironmentVariableIntValue("TOVRIN_BENCH_JITTER"), 0, 4);
    const int average = g_CaptureAverage.load();
    std::printf("accuracy capture=%s refine=%d least_shift_scale=%d jitter=%d\n",
                average == 0 ? "vote" : "average",
                g_RefineSolve.load(), g_LeastShiftScale.load(), g_jitter);

    LogFolder log;
    setSleeper([](int) { std::this_thread::yield(); });
    const auto diagonal = diagonalInches(sizeClassOf(kPanelInches));

    // typical / uniform: 16- and 4-point figures per screen for the summary.
    std::map<std::pair<int, int>, double> typical16, typical4;
    double max1080 = -1.0, max4k = -1.0;
    for (const std::string& name : optics) {
        const auto config = sim::opticsVariant(name);
        if (!config) {
            std::fprintf(stderr, "accuracy: no optics variant %s\n", name.c_str());
            return 2;
        }
        Frame frame(*config);
        std::map<std::pair<int, int>, std::optional<double>> fourPointFloors;
        if (!frame.open()) {
            std::fprintf(stderr, "accuracy: the simulated frame did not open\n");
            return 1;
        }
        for (sim::NoiseModel noise : noises)
            for (const Screen& screen : screens)
                for (GridKind kind : {GridKind::Sixteen, GridKind::Four}) {
                    Errors e;
                    for (int seed = 1; seed <= seeds; ++seed) {
                        const auto solution = frame.calibrate(kind, screen, noise, static_cast<unsigned>(seed));
                        ++e.runs;
                        if (!solution) {
                            ++e.failed;
                            continue;
                        }
                        frame.touchGrid(*solution, screen, e, planeDivisor(screen.width));
                    }
                    const double mmPerPx =
                        diagonal ? *diagonal * 25.4 / std::hypot(double(screen.width), double(screen.height)) : 0.0;
                    const double mean = e.meanPx(), p95 = Errors::percentile(e.corrected, 0.95), max = e.maxPx();
                    const int points = kind == GridKind::Four ? 4 : 16;
                    const Errors best = frame.floorOf(screen);
                    const double resolution = frame.resolutionOf(screen);
                    // TOVRIN_BENCH_RECORD_FLOOR=1: the best a 4-point record can do, once per optics and
                    // screen (some seconds each).
                    std::string floor4;
                    if (kind == GridKind::Four && recordFloor) {
                        auto& cached = fourPointFloors[{screen.width, screen.height}];
                        if (!cached)
                            cached = frame.fourPointFloor(screen).value_or(-1.0);
                        char text[64];
                        std::snprintf(text, sizeof text, " record_floor_mean_px=%.2f", *cached);
                        floor4 = text;
                    }
                    std::printf("accuracy optics=%s noise=%s screen=%dx%d points=%d mean_px=%.2f p95_px=%.2f "
                                "max_px=%.2f mean_mm=%.2f p95_mm=%.2f max_mm=%.2f uncorrected_mean_px=%.2f "
                                "floor_mean_px=%.2f floor_max_px=%.2f resolution_max_px=%.2f runs=%d failed=%d "
                                "missed=%d%s\n",
                                name.c_str(), sim::noiseModelName(noise), screen.width, screen.height, points, mean,
                                p95, max, mean * mmPerPx, p95 * mmPerPx, max * mmPerPx,
                                Errors::mean(e.uncorrected), best.meanPx(), best.maxPx(), resolution, e.runs,
                                e.failed, e.missed, floor4.c_str());
                    std::fflush(stdout);
                    if (name == "typical" && noise == sim::NoiseModel::Uniform && e.failed == 0) {
                        (kind == GridKind::Sixteen ? typical16 : typical4)[{screen.width, screen.height}] = mean;
                        if (kind == GridKind::Sixteen && screen.width == 1920 && screen.height == 1080)
                            max1080 = max;
                        if (kind == GridKind::Sixteen && screen.width == 3840 && screen.height == 2160)
                            max4k = max;
                    }
                }
    }
    if (typical16.empty())
        return 0;
    double ratio = 0.0;
    for (const auto& [size, mean16] : typical16)
        if (const auto it = typical4.find(size); it != typical4.end() && mean16 > 0.0)
            ratio = std::max(ratio, it->second / mean16);
    const auto at = [&](int w, int h) {
        const auto it = typical16.find({w, h});
        return it == typical16.end() ? -1.0 : it->second;
    };
    std::printf("accuracy mean_1080_px=%.2f max_1080_px=%.2f mean_4k_px=%.2f max_4k_px=%.2f mean_4pt_over_16pt=%.2f\n",
                at(1920, 1080), max1080, at(3840, 2160), max4k, ratio);
    return 0;
}

const tovrin::bench::BenchMode kAccuracy{"accuracy", "[seeds] [optics|all] [WxH|all] [noise|all]", benchAccuracy};

} // namespace
