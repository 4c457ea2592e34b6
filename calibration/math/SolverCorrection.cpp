// The second half of the calibration solver: from the camera parts and the
// scale the search found, the cell corrections and evaluation points of the
// block, the accuracy at the calibration points and the log of the solution.
#include "calibration/math/Solver.h"

#include "calibration/math/Projective.h"
#include "calibration/math/SolverSearch.h"
#include "shell/Log.h"

#include <algorithm>
#include <cmath>

namespace tovrin::calib {

using records::StClbInfo;
using records::StPoint16;
using namespace solver;

SolveStatus CalibSolver::BuildCorrection(const CalibInput16& input)
{
    return validScreen(input) ? buildCorrection<Form16>(input) : SolveStatus::BadInput;
}

SolveStatus CalibSolver::BuildCorrection(const CalibInput4& input)
{
    return validScreen(input) ? buildCorrection<Form4>(input) : SolveStatus::BadInput;
}

template <class Form, class Input>
SolveStatus CalibSolver::buildCorrection(const Input& input)
{
    // Everything is computed aside and taken into the block only when all
    // of it can be stored; a refusal leaves EvalPt and X at 0.
    for (auto& row : m_block.X)
        std::fill(std::begin(row), std::end(row), 0);
    for (auto& pt : m_block.EvalPt)
        pt = {};
    StPoint16 eval[StClbInfo::kEvalPoints] = {};
    std::int32_t x[StClbInfo::kCells][StClbInfo::kCoefficients] = {};

    // The corrections act on what the frame computes: the points mapped
    // with the camera parts and the scale as they are stored (positions
    // x 16, offsets x 1024, r_fix), not with the search's doubles; the
    // truncated r_fix alone moves a point on the right edge of a 4K screen
    // by pixels. Each cell is fitted to these points as they are; only the
    // stored evaluation points, which merely tell the frame the cell a
    // touch falls in, are rounded to the nearest pixel. The points lie on the
    // solution plane, the targets on the screen: on a plane smaller than the
    // screen the corrections also scale the plane back up.
    const double storedR = m_block.r_fix / 1024.0;
    const double storedOffL = m_block.LCam.L_Angle_fix / 1024.0;
    const double storedOffR = m_block.RCam.L_Angle_fix / 1024.0;
    double px[Form::kPoints] = {}, py[Form::kPoints] = {};
    for (int i = 0; i < Form::kPoints; ++i) {
        const MapResult m = mapTouch(m_table, m_block.LCam, m_block.RCam, storedOffL, storedOffR, storedR,
                                     input.oneDLeft[static_cast<std::size_t>(i)],
                                     input.oneDRight[static_cast<std::size_t>(Form::mirror(i))]);
        // The parallel-ray marker is no evaluation point.
        if (m.parallel() || !std::isfinite(m.x) || !std::isfinite(m.y)) {
            shell::LogF("BuildCorrection: point %d has parallel rays\n", i);
            return SolveStatus::NoSolution;
        }
        px[i] = m.x;
        py[i] = m.y;
        if (!fitsS16(std::round(px[i]), eval[i].x) || !fitsS16(std::round(py[i]), eval[i].y))
            return SolveStatus::OutOfRange;
    }
    // Cells: corners i, i + 1, i + w, i + w + 1 of a grid w points wide.
    const auto targets = Form::points(input.width, input.height);
    const int w = Form::kSide;
    const int cells = w - 1;
    for (int row = 0; row < cells; ++row)
        for (int col = 0; col < cells; ++col) {
            const int i = w * row + col;
            const int corner[4] = {i, i + 1, i + w, i + w + 1};
            CellCorners k;
            for (int n = 0; n < 4; ++n) {
                const auto c = static_cast<std::size_t>(corner[n]);
                k.x[static_cast<std::size_t>(n)] = px[c];
                k.y[static_cast<std::size_t>(n)] = py[c];
                k.u[static_cast<std::size_t>(n)] = targets[c].x;
                k.v[static_cast<std::size_t>(n)] = targets[c].y;
            }
            std::array<double, 8> h{};
            if (solveProjective(k, h) != LinearResult::Ok) {
                shell::LogF("BuildCorrection: cell %d has no solution (corners collinear or equal)\n",
                            cells * row + col);
                return SolveStatus::Singular;
            }
            for (int n = 0; n < 8; ++n)
                if (!toQ20(h[static_cast<std::size_t>(n)], x[cells * row + col][n])) {
                    shell::LogF("BuildCorrection: cell %d coefficient %d = %f does not fit\n", cells * row + col,
                                n + 1, h[static_cast<std::size_t>(n)]);
                    return SolveStatus::OutOfRange;
                }
        }
    std::copy(std::begin(eval), std::end(eval), std::begin(m_block.EvalPt));
    for (int c = 0; c < StClbInfo::kCells; ++c)
        std::copy(std::begin(x[c]), std::end(x[c]), std::begin(m_block.X[c]));
    return SolveStatus::Ok;
}

template <class Form, class Input>
void CalibSolver::computeAccuracy(const Input& input)
{
    const auto targets = Form::points(input.width, input.height);
    const double n = m_plane;
    AccuracyReport report;
    report.count = Form::kPoints;
    double sum = 0.0;
    for (int i = 0; i < Form::kPoints; ++i) {
        const auto& t = targets[static_cast<std::size_t>(i)];
        const MapResult m = mapPoint<Form>(*this, input, i, true);
        const double d = std::hypot(double(m.x) * n - t.x, double(m.y) * n - t.y);
        report.residual[static_cast<std::size_t>(i)] = d;
        sum += d;
        if (report.worst < 0 || d > report.max) {
            report.max = d;
            report.worst = i;
        }
    }
    report.mean = sum / Form::kPoints;
    m_accuracy = report;
}

void CalibSolver::logSolution(int width, int height) const
{
    using shell::LogF;
    const char* n = m_name.c_str();
    const StClbInfo& b = m_block;
    LogF("width=%d, height=%d\n", width, height);
    if (m_plane > 1)
        LogF("%s plane: the screen / %d (camera places x 16 fit 16 bits up to %d pixels)\n", n, m_plane,
             kPlaneWidth);
    LogF("g_ClbInfoR=%f, %s.r_fix=%d\n", m_bestR, n, b.r_fix);
    for (int i = 0; i < 16; i += 4)
        LogF("%s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d), %s.EvalPt[%d]=(%d,%d)\n", n, i,
             b.EvalPt[i].x, b.EvalPt[i].y, n, i + 1, b.EvalPt[i + 1].x, b.EvalPt[i + 1].y, n, i + 2,
             b.EvalPt[i + 2].x, b.EvalPt[i + 2].y, n, i + 3, b.EvalPt[i + 3].x, b.EvalPt[i + 3].y);
    for (int c = 0; c < 9; ++c)
        LogF("%s.X[%d][0]={%d, %d, %d, %d, %d, %d, %d, %d}\n", n, c, b.X[c][0], b.X[c][1], b.X[c][2], b.X[c][3],
             b.X[c][4], b.X[c][5], b.X[c][6], b.X[c][7]);
    LogF("%s.LCam.Po_l4.x=%d, %s.LCam.Po_l4.y=%d\n", n, b.LCam.Po_l4.x, n, b.LCam.Po_l4.y);
    LogF("%s.LCam.L_A=%d, %s.LCam.L_Angle_fix=%d\n", n, b.LCam.L_A, n, b.LCam.L_Angle_fix);
    LogF("%s.RCam.Po_l4.x=%d, %s.RCam.Po_l4.y=%d\n", n, b.RCam.Po_l4.x, n, b.RCam.Po_l4.y);
    LogF("%s.RCam.L_A=%d, %s.RCam.L_Angle_fix=%d\n", n, b.RCam.L_A, n, b.RCam.L_Angle_fix);
}

void CalibSolver::logAccuracy() const
{
    const AccuracyReport& a = m_accuracy;
    for (int i = 0; i + 3 < a.count; i += 4)
        shell::LogF("%s residual[%d-%d]: %.2f, %.2f, %.2f, %.2f pixels\n", m_name.c_str(), i, i + 3,
                    a.residual[static_cast<std::size_t>(i)], a.residual[static_cast<std::size_t>(i + 1)],
                    a.residual[static_cast<std::size_t>(i + 2)], a.residual[static_cast<std::size_t>(i + 3)]);
    shell::LogF("%s residual: mean=%.2f, max=%.2f at point %d\n", m_name.c_str(), a.mean, a.max, a.worst);
}

// The search (Solver.cpp) ends with these for both forms.
template SolveStatus CalibSolver::buildCorrection<Form16, CalibInput16>(const CalibInput16&);
template SolveStatus CalibSolver::buildCorrection<Form4, CalibInput4>(const CalibInput4&);
template void CalibSolver::computeAccuracy<Form16, CalibInput16>(const CalibInput16&);
template void CalibSolver::computeAccuracy<Form4, CalibInput4>(const CalibInput4&);

} // namespace tovrin::calib
