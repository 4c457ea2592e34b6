#pragma once
// The projective correction of one grid cell: the eight coefficients h1-h8 of
//   u = (h1 x + h2 y + h3) / (h7 x + h8 y + 1)
//   v = (h4 x + h5 y + h6) / (h7 x + h8 y + 1)
// that take the four measured corners (x, y) of a cell onto its four true
// screen corners (u, v). The firmware applies them in Q20 (value x 2^20).

#include <array>
#include <cstdint>

namespace tovrin::calib {

enum class LinearResult { Ok, Singular };

// Solves A x = b for an n x n system (n <= 8) by Gaussian elimination with
// partial pivoting. A pivot smaller than 1e-12 times the largest entry of the
// matrix marks the system singular; nothing is divided by it.
LinearResult solveLinear(std::array<std::array<double, 8>, 8> a, std::array<double, 8> b, int n,
                         std::array<double, 8>& x);

struct CellCorners {
    std::array<double, 4> x{}, y{};  // measured
    std::array<double, 4> u{}, v{};  // true
};

// h1-h8 of a cell; Singular when the corners do not span a quadrilateral.
LinearResult solveProjective(const CellCorners& corners, std::array<double, 8>& h);

// h x 2^20 to the nearest whole number (halves away from zero); false when
// the value is not finite or does not fit 32 bits (it is then not stored).
bool toQ20(double h, std::int32_t& out);

} // namespace tovrin::calib
