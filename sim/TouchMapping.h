#pragma once
// How the frame's firmware turns the two cameras' positions of a touch into
// a screen point, with the solution its calibration record holds: each
// camera's place, the pixel shift of its sensor and the turn of its lens,
// the horizontal scale, and the lens table of the record. This is the
// frame's own reading of its records; the simulated firmware uses it for
// the printed keys, and the simulator's set-ups use it to check the records
// they write.
//
// Calibration record, solution block (from offset 66, or 450 for the copy
// taken when the keys were calibrated):
//   +0  left camera x, y   s16 each, x 16 (x in screen pixels times the scale)
//   +4  left pixel shift   s32, whole pixels added to position / 2
//   +8  left turn          s32, degrees x 1024
//   +12 right camera, the same four fields
//   +24 cell corrections   9 x 8 s32, x 2^20: h1..h8 of
//                          u = (h1 x + h2 y + h3) / (h7 x + h8 y + 1),
//                          v = (h4 x + h5 y + h6) / (h7 x + h8 y + 1)
//   +312 grid points       16 x (s16 x, s16 y): the calibration points as
//                          the cameras alone place them; cell c (row c / 3,
//                          column c % 3) has the corners i, i+1, i+5, i+4
//                          with i = 4 (c / 3) + c % 3
//   +376 scale             s32, x 1024
// and the lens table at 1218: 68 sensor positions in half pixels, one per
// angle step.

#include "sim/LensTables.h"
#include "sim/Optics.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tovrin::sim {

constexpr size_t kSolutionOffset = 66;
constexpr size_t kKeySolutionOffset = 450;
constexpr size_t kLensTableOffset = 1218;

struct CameraSolution {
    double x = 0.0;        // solution plane: screen pixels x scale
    double y = 0.0;        // screen pixels, negative above the top edge
    int shift = 0;         // pixels
    double turn = 0.0;     // degrees
};

struct StoredSolution {
    CameraSolution left;
    CameraSolution right;
    double scale = 1.0;
    std::array<double, kLensEntries> table{};  // sensor columns (pixels)
    // The cell corrections. A record of the 4-point calibration keeps one
    // cell (row 0) for the whole screen; a cell whose eight values are all
    // 0 corrects nothing.
    std::array<std::array<double, 8>, 9> cells{};
    std::array<PlanePoint, 16> grid{};
    int cellCount = 0;  // 9, 1, or 0 when no correction is stored
};

// Reads a solution block at `at` and the lens table of a record.
StoredSolution readSolution(std::span<const uint8_t> record, size_t at);

// The table's angle (degrees, before the turn) of a sensor column:
// straight between two entries, the end segments carried on beyond them.
double tableAngle(const std::array<double, kLensEntries>& table, double column);

// A camera's ray angle as the firmware sees it.
double firmwareAngle(const StoredSolution& s, Side side, double position);

// The screen point of a touch; nothing when the two rays do not meet.
std::optional<PlanePoint> mapTouch(const StoredSolution& s, double leftPosition, double rightPosition);

// The cell of the corrections a point the cameras placed falls in: the
// one whose four grid points enclose it; outside the grid the one it lies
// least far outside of.
int correctionCell(const StoredSolution& s, PlanePoint p);

// The touch as the firmware reports it: mapped by the cameras, then moved
// by the correction of its cell. Nothing when the rays do not meet or the
// correction has no finite value there.
std::optional<PlanePoint> mapCorrected(const StoredSolution& s, double leftPosition, double rightPosition);

} // namespace tovrin::sim
