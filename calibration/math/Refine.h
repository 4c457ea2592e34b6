#pragma once
// The refined solve: after the grid search, the camera positions, angle
// offsets and the scale are moved continuously (the pixel shifts tried a few
// whole pixels around the search's) until the calibration points, mapped as
// the frame maps them, lie as close to their targets as they can (least
// squares, Levenberg-Marquardt). The search steps its scale by 0.01 and its
// offsets by 0.1 degree and judges a camera by how well pairs of its rays
// meet, not by where the touches land; the refinement judges by the landing.
//
// The result goes into the same stored fields (positions x 16, offsets and
// scale x 1024, here rounded to the nearest), and is taken only when the
// points mapped with those stored fields land closer than the search's did.

#include "calibration/math/LensTable.h"
#include "records/ClbInfo.h"

#include <cstdint>
#include <span>

namespace tovrin::calib {

struct RefinePoint {
    std::int32_t left = 0;   // half pixels
    std::int32_t right = 0;
    double x = 0.0;          // target, screen pixels
    double y = 0.0;
};

struct RefineResult {
    bool improved = false;
    double before = 0.0;  // sum of squared distances (px^2), stored fields of the search
    double after = 0.0;   // the same for the refined fields
};

// Refines the camera parts and r_fix of `block` in place (EvalPt and X are
// left alone: the correction is built afterwards).
RefineResult refineSolution(const LensTable& table, records::StClbInfo& block, std::span<const RefinePoint> points);

// Sum of squared distances of the points mapped with the block's stored
// fields from their targets; a point whose rays do not meet counts 1e12.
double storedSquaredError(const LensTable& table, const records::StClbInfo& block,
                          std::span<const RefinePoint> points);

} // namespace tovrin::calib
