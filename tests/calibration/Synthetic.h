#pragma once
// Synthetic captures: the sensor positions a frame of known geometry reports
// for the calibration targets, optionally with noise.

#include "calibration/math/CameraModel.h"
#include "calibration/math/Solver.h"

#include <random>

namespace tovrin::calib::test {

inline CalibInput16 capture16(const CameraModel& model, int width, int height, int noise = 0, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    const auto pts = screenPoints16(width, height);
    CalibInput16 in;
    in.width = width;
    in.height = height;
    for (int i = 0; i < 16; ++i) {
        const auto& p = pts[static_cast<std::size_t>(i)];
        in.oneDLeft[static_cast<std::size_t>(i)] = model.reportedPosition(Camera::Left, p.x, p.y).value_or(0) + jitter(rng);
        in.oneDRight[static_cast<std::size_t>(mirror16(i))] =
            model.reportedPosition(Camera::Right, p.x, p.y).value_or(0) + jitter(rng);
    }
    return in;
}

inline CalibInput4 capture4(const CameraModel& model, int width, int height, int noise = 0, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    const auto pts = screenPoints4(width, height);
    CalibInput4 in;
    in.width = width;
    in.height = height;
    for (int i = 0; i < 4; ++i) {
        const auto& p = pts[static_cast<std::size_t>(i)];
        in.oneDLeft[static_cast<std::size_t>(i)] = model.reportedPosition(Camera::Left, p.x, p.y).value_or(0) + jitter(rng);
        in.oneDRight[static_cast<std::size_t>(mirror4(i))] =
            model.reportedPosition(Camera::Right, p.x, p.y).value_or(0) + jitter(rng);
    }
    return in;
}

} // namespace tovrin::calib::test
