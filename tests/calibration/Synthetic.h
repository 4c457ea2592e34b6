#pragma once
// Synthetic captures: the sensor positions a frame of known geometry reports
// for the calibration targets, optionally with noise.

#include "calibration/math/CameraModel.h"
#include "calibration/math/Solver.h"

#include <random>

namespace tovrin::calib::test {

// N = 16 or 4 targets; the right camera's positions are stored row-mirrored.
template <typename Input, std::size_t N>
Input capture(const CameraModel& model, int width, int height, const std::array<ScreenPoint, N>& pts, int noise,
              unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    Input in;
    in.width = width;
    in.height = height;
    for (std::size_t i = 0; i < N; ++i) {
        const int mirror = N == 16 ? mirror16(static_cast<int>(i)) : mirror4(static_cast<int>(i));
        in.oneDLeft[i] = model.reportedPosition(Camera::Left, pts[i].x, pts[i].y).value_or(0) + jitter(rng);
        in.oneDRight[static_cast<std::size_t>(mirror)] =
            model.reportedPosition(Camera::Right, pts[i].x, pts[i].y).value_or(0) + jitter(rng);
    }
    return in;
}

inline CalibInput16 capture16(const CameraModel& model, int width, int height, int noise = 0, unsigned seed = 1)
{
    return capture<CalibInput16>(model, width, height, screenPoints16(width, height), noise, seed);
}

inline CalibInput4 capture4(const CameraModel& model, int width, int height, int noise = 0, unsigned seed = 1)
{
    return capture<CalibInput4>(model, width, height, screenPoints4(width, height), noise, seed);
}

} // namespace tovrin::calib::test
