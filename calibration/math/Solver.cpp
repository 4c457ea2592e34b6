#include "calibration/math/Solver.h"

#include "calibration/math/Refine.h"
#include "calibration/math/SolverSearch.h"
#include "shell/Log.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tovrin::calib {

using records::StCamInfo;
using records::StClbInfo;

namespace {

std::atomic<SearchPath> g_searchPath{SearchPath::Automatic};

bool avx2Available()
{
#if TOVRIN_SEARCH_AVX2
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace

// ---------------------------------------------------------------------------
// Grid and mapping

namespace {

// An n x n grid that starts 1/16 of the width and 1/32 of the height in and
// steps by xSteps/xParts of the width and ySteps/yParts of the height.
template <int N>
std::array<ScreenPoint, N * N> gridPoints(int width, int height, double xSteps, double xParts, double ySteps,
                                          double yParts)
{
    std::array<ScreenPoint, N * N> points{};
    const double w = width, h = height;
    for (int r = 0; r < N; ++r)
        for (int c = 0; c < N; ++c) {
            const double x = w / 16.0 + c * xSteps * w / xParts;
            const double y = h / 32.0 + r * ySteps * h / yParts;
            points[static_cast<std::size_t>(N * r + c)] = {static_cast<std::uint16_t>(std::clamp(x, 0.0, 65535.0)),
                                                           static_cast<std::uint16_t>(std::clamp(y, 0.0, 65535.0))};
        }
    return points;
}

} // namespace

std::array<ScreenPoint, 16> screenPoints16(int width, int height)
{
    return gridPoints<4>(width, height, 7.0, 24.0, 5.0, 16.0);
}

std::array<ScreenPoint, 4> screenPoints4(int width, int height)
{
    return gridPoints<2>(width, height, 7.0, 8.0, 15.0, 16.0);
}

MapResult mapTouch(const LensTable& table, const StCamInfo& left, const StCamInfo& right, double leftOffset,
                   double rightOffset, double r, std::int32_t leftPos, std::int32_t rightPos)
{
    constexpr MapResult kNone{MapResult::kParallel, MapResult::kParallel};
    // A block without a scale (erased or never solved) maps nothing.
    if (!(r > 0.0))
        return kNone;
    const double aL = clampAngle(rayAngle(table, leftPos, left.L_A, leftOffset));
    const double aR = clampAngle(rayAngle(table, rightPos, right.L_A, rightOffset));
    const double mL = raySlope(Camera::Left, aL);
    const double mR = raySlope(Camera::Right, aR);
    const double xL = left.Po_l4.x, yL = left.Po_l4.y;
    const double xR = right.Po_l4.x, yR = right.Po_l4.y;
    const double bL = yL - xL * mL;
    const double bR = yR - xR * mR;
    if (mR - mL == 0.0)
        return kNone;
    const double u = (bL - bR) / (mR - mL);
    return {static_cast<float>(u * 0.0625 / r), static_cast<float>((u * mL + bL) * 0.0625)};
}

int planeOfBlock(const StClbInfo& block, int width, int height)
{
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return 1;
    // A 4-point block keeps its four evaluation points only.
    bool four = true;
    for (int i = 4; i < StClbInfo::kEvalPoints; ++i)
        four = four && block.EvalPt[i].x == 0 && block.EvalPt[i].y == 0;
    // From the first grid point to the last, across and down.
    const int last = four ? 3 : 15;
    const auto p4 = screenPoints4(width, height);
    const auto p16 = screenPoints16(width, height);
    const ScreenPoint t0 = four ? p4[0] : p16[0];
    const ScreenPoint tn = four ? p4[3] : p16[15];
    const double targetSpan = double(tn.x) - t0.x + double(tn.y) - t0.y;
    const records::StPoint16 e0 = block.EvalPt[0], en = block.EvalPt[last];
    const double evalSpan = double(en.x) - e0.x + double(en.y) - e0.y;
    if (!(evalSpan > 0.0) || !(targetSpan > 0.0))
        return 1;
    return static_cast<int>(std::clamp(std::lround(targetSpan / evalSpan), 1L, 16L));
}

void setSearchPath(SearchPath path)
{
    g_searchPath.store(path);
}

SearchPath activeSearchPath()
{
    const SearchPath wanted = g_searchPath.load();
    if (wanted == SearchPath::Portable || !avx2Available())
        return SearchPath::Portable;
    return SearchPath::Avx2;
}

const char* solveStatusName(SolveStatus status)
{
    switch (status) {
    case SolveStatus::Ok: return "ok";
    case SolveStatus::Stopped: return "stopped";
    case SolveStatus::BadInput: return "bad input";
    case SolveStatus::NoSolution: return "no solution";
    case SolveStatus::Singular: return "singular cell";
    case SolveStatus::OutOfRange: return "value out of range";
    }
    return "?";
}

// ---------------------------------------------------------------------------
// The solver: the search, then the correction (SolverCorrection.cpp).

using namespace solver;

CalibSolver::CalibSolver(int variantFlag, std::string blockName)
    : m_table(variantFlag)
    , m_name(std::move(blockName))
{
}

CameraFit CalibSolver::SolveCamera(Camera camera, double r, const std::array<std::int32_t, 16>& positions,
                                   const std::array<ScreenPoint, 16>& targets) const
{
    return solveCameraAt<Form16>(m_table, camera, r, positions.data(), targets.data());
}

CameraFit CalibSolver::SolveCamera4(Camera camera, double r, const std::array<std::int32_t, 4>& positions,
                                    const std::array<ScreenPoint, 4>& targets) const
{
    return solveCameraAt<Form4>(m_table, camera, r, positions.data(), targets.data());
}

MapResult CalibSolver::MapTouch(std::int32_t leftPos, std::int32_t rightPos, bool bestR) const
{
    return mapTouch(m_table, m_block.LCam, m_block.RCam, m_leftOffset, m_rightOffset,
                    bestR ? m_bestR : m_currentR, leftPos, rightPos);
}

TouchMapper CalibSolver::mapper() const
{
    TouchMapper m;
    m.table = m_table;
    m.left = m_block.LCam;
    m.right = m_block.RCam;
    m.leftOffset = m_leftOffset;
    m.rightOffset = m_rightOffset;
    m.r = m_bestR;
    m.plane = m_plane;
    return m;
}

void CalibSolver::load(const StClbInfo& block, int plane)
{
    m_block = block;
    m_plane = plane;
    m_bestR = m_currentR = block.r_fix / 1024.0;
    m_leftOffset = block.LCam.L_Angle_fix / 1024.0;
    m_rightOffset = block.RCam.L_Angle_fix / 1024.0;
    m_accuracy = {};
}

SolveStatus CalibSolver::Solve16(const CalibInput16& input, const SolveHooks& hooks, const SolveOptions& options)
{
    return solve<Form16>(input, hooks, options);
}

SolveStatus CalibSolver::Solve4(const CalibInput4& input, const SolveHooks& hooks, const SolveOptions& options)
{
    return solve<Form4>(input, hooks, options);
}

void CalibSolver::clearSolution()
{
    // No scale: MapTouch and the mapper give the no-result marker until a
    // solve succeeds, never a mapping with what an earlier search left.
    m_block = StClbInfo{};
    m_currentR = m_bestR = 0.0;
    m_leftOffset = m_rightOffset = 0.0;
    m_bestError = 0.0;
    m_plane = 1;
    m_accuracy = {};
}

template <class Form, class Input>
SolveStatus CalibSolver::solve(const Input& input, const SolveHooks& hooks, const SolveOptions& options)
{
    const SolveStatus status = search<Form>(input, hooks, options);
    if (status != SolveStatus::Ok)
        clearSolution();
    return status;
}

template <class Form, class Input>
SolveStatus CalibSolver::search(const Input& input, const SolveHooks& hooks, const SolveOptions& options)
{
    clearSolution();
    if (!validScreen(input) || options.firstScaleStep < 0 || options.lastScaleStep >= kScaleSteps ||
        options.firstScaleStep > options.lastScaleStep)
        return SolveStatus::BadInput;

    const auto targets = Form::points(input.width, input.height);
    const auto targetsR = mirrored(targets);
    const int plane = planeDivisor(input.width);
    const double n = plane;
    const CameraData<Form> left(m_table, Camera::Left, input.oneDLeft.data(), targets.data(), plane);
    const CameraData<Form> right(m_table, Camera::Right, input.oneDRight.data(), targetsR.data(), plane);

    ScaleBest bestL, bestR;
    for (int k = options.firstScaleStep; k <= options.lastScaleStep; ++k) {
        bestL.r[bestL.count++] = scaleOfStep(k);
        bestR.r[bestR.count++] = scaleOfStep(k);
    }
    if (!sweep<Form>(m_table, left, bestL, hooks.stopRequested) ||
        !sweep<Form>(m_table, right, bestR, hooks.stopRequested))
        return SolveStatus::Stopped;

    ScaleChoice choice;
    StCamInfo keepL, keepR;
    double keepR_ = 0.0, keepOffL = 0.0, keepOffR = 0.0;
    // Every scale that could be stored, for the least-shift choice.
    struct Candidate {
        int step = -1;
        double error = 0.0;
        int shift = 0;  // |left shift| + |right shift|
        StCamInfo left, right;
        double leftOffset = 0.0, rightOffset = 0.0;
    };
    std::array<Candidate, kScaleSteps> candidates{};
    int candidateCount = 0;
    const bool leastShift = options.leastShiftScale && Form::kPoints == 4;
    for (int k = options.firstScaleStep; k <= options.lastScaleStep; ++k) {
        if (hooks.stopRequested && hooks.stopRequested())
            return SolveStatus::Stopped;
        if (hooks.progress)
            hooks.progress((k / 30 + 1) * 10);
        const int i = k - options.firstScaleStep;
        const double r = scaleOfStep(k);
        const CameraFit fitL = fitOf<Form>(m_table, left, bestL.combo[i], r);
        const CameraFit fitR = fitOf<Form>(m_table, right, bestR.combo[i], r);
        if (!fitL.found || !fitR.found)
            continue;
        // A camera position beyond the 16-bit field cannot be stored: this
        // scale is no candidate.
        if (!cameraPart(fitL, m_block.LCam) || !cameraPart(fitR, m_block.RCam))
            continue;
        m_currentR = r;
        m_leftOffset = fitL.offset;
        m_rightOffset = fitR.offset;
        double error = 0.0;
        for (int p = 0; p < Form::kPoints; ++p) {
            const auto& t = targets[static_cast<std::size_t>(p)];
            const MapResult m = mapPoint<Form>(*this, input, p, false);
            error += std::fabs(double(m.x) - t.x / n) + std::fabs(double(m.y) - t.y / n);
        }
        if (leastShift && std::isfinite(error))
            candidates[static_cast<std::size_t>(candidateCount++)] = {
                k, error, std::abs(fitL.shift) + std::abs(fitR.shift), m_block.LCam, m_block.RCam, fitL.offset,
                fitR.offset};
        if (choice.offer(k, error)) {
            keepL = m_block.LCam;
            keepR = m_block.RCam;
            keepR_ = r;
            keepOffL = fitL.offset;
            keepOffR = fitR.offset;
        }
    }
    m_block = StClbInfo{};
    if (!choice.have)
        return SolveStatus::NoSolution;
    if (leastShift) {
        const Candidate* pick = nullptr;
        for (int i = 0; i < candidateCount; ++i) {
            const Candidate& c = candidates[static_cast<std::size_t>(i)];
            if (c.error > choice.error + kScaleBandPx / n)
                continue;
            if (!pick || c.shift < pick->shift || (c.shift == pick->shift && c.error <= pick->error))
                pick = &c;
        }
        // The least error is itself in the band: there is always a pick.
        shell::LogF("%s scale: R=%f by the least shift (%d px), the least error %.2f at R=%f\n", m_name.c_str(),
                    scaleOfStep(pick->step), pick->shift, choice.error, keepR_);
        keepL = pick->left;
        keepR = pick->right;
        keepR_ = scaleOfStep(pick->step);
        keepOffL = pick->leftOffset;
        keepOffR = pick->rightOffset;
        choice.error = pick->error;
    }

    m_block.LCam = keepL;
    m_block.RCam = keepR;
    m_block.r_fix = static_cast<std::int32_t>(std::trunc(keepR_ * 1024.0));
    m_bestR = m_currentR = keepR_;
    m_leftOffset = keepOffL;
    m_rightOffset = keepOffR;
    m_bestError = choice.error;
    m_plane = plane;

    if (options.refine) {
        std::array<RefinePoint, Form::kPoints> points{};
        for (int p = 0; p < Form::kPoints; ++p) {
            const auto i = static_cast<std::size_t>(p);
            points[i] = {input.oneDLeft[i], input.oneDRight[static_cast<std::size_t>(Form::mirror(p))],
                         targets[i].x / n, targets[i].y / n};
        }
        const RefineResult refined = refineSolution(m_table, m_block, points);
        shell::LogF("%s refined: %s, squared error %.1f -> %.1f\n", m_name.c_str(),
                    refined.improved ? "taken" : "kept the search's", refined.before, refined.after);
        if (refined.improved) {
            // From here on the solution is what is stored.
            m_bestR = m_currentR = m_block.r_fix / 1024.0;
            m_leftOffset = m_block.LCam.L_Angle_fix / 1024.0;
            m_rightOffset = m_block.RCam.L_Angle_fix / 1024.0;
        }
    }

    const SolveStatus built = buildCorrection<Form>(input);
    if (built != SolveStatus::Ok)
        return built;
    computeAccuracy<Form>(input);
    logSolution(input.width, input.height);
    logAccuracy();
    return SolveStatus::Ok;
}

} // namespace tovrin::calib
