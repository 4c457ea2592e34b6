#pragma once
// Reference solver: the search, the mapping and the corner search written
// step by step, the slow way (every ray looked up in the lens table by linear
// search and computed afresh for every scale). The product solver must give
// the same solution block to the byte and the same corner columns.
//
// Shared with tovrin-bench, which compiles ReferenceSolver.cpp by path.

#include "calibration/math/Evaluation.h"
#include "calibration/math/Solver.h"
#include "records/ClbInfo.h"

namespace tovrin::calib::reference {

struct RefSolution {
    SolveStatus status = SolveStatus::NoSolution;
    records::StClbInfo block;
    double bestR = 0.0;
    double leftOffset = 0.0;
    double rightOffset = 0.0;
};

MapResult refMapTouch(int variant, const records::StClbInfo& block, double leftOffset, double rightOffset, double r,
                      int leftPos, int rightPos);

CameraFit refSolveCamera16(int variant, Camera camera, double r, const std::array<std::int32_t, 16>& p,
                           const std::array<ScreenPoint, 16>& pts);

RefSolution refSolve16(int variant, const CalibInput16& input, const SolveOptions& options = {});
RefSolution refSolve4(int variant, const CalibInput4& input, const SolveOptions& options = {});

CornerWindow refSearchCorners(int variant, const records::StClbInfo& block, double leftOffset, double rightOffset,
                              double r, int width, int height);

} // namespace tovrin::calib::reference
