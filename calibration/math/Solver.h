#pragma once
// The calibration solver: from the captured sensor positions of the 16 (or 4)
// calibration points it finds both cameras' positions, pixel shifts and angle
// offsets and the horizontal scale R, then the cell corrections, and fills a
// solution block (gClbInfo for the 16-point run, gFastClbInfo for the 4-point
// run). It also maps a pair of sensor positions to a screen point.
//
// Coordinates of the solution plane: x to the right scaled by R, y down, both
// in screen pixels divided by the plane divisor (planeDivisor below); camera
// positions are stored x 16.
//
// The search tries 151 scales R x up to 201 pixel shifts x 101 angle offsets
// per camera. The rays of the points depend on shift and offset only, so each
// camera's rays are computed once per (shift, offset) and every scale is tried
// against them; the scales keep their own best in the same order a scale-by-
// scale search visits the combinations, so the result is the same to the bit.
//
// One CalibSolver holds one run's working state (current and best R, the angle
// offsets as doubles, the block); solvers are independent of each other.

#include "calibration/math/LensTable.h"
#include "records/ClbInfo.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

namespace tovrin::calib {

struct ScreenPoint {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

// The calibration targets of a W x H screen, row-major (index 4 row + column,
// or 2 row + column for the 4-point grid), truncated to whole pixels.
std::array<ScreenPoint, 16> screenPoints16(int width, int height);
std::array<ScreenPoint, 4> screenPoints4(int width, int height);

// The right camera's arrays are kept row-mirrored: grid point (row, column)
// sits at (row, last column - column).
constexpr int mirror16(int i) { return 4 * (i / 4) + (3 - i % 4); }
constexpr int mirror4(int i) { return i ^ 1; }
template <std::size_t N>
std::array<ScreenPoint, N> mirrored(const std::array<ScreenPoint, N>& points)
{
    std::array<ScreenPoint, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = points[N == 16 ? static_cast<std::size_t>(mirror16(static_cast<int>(i)))
                                : static_cast<std::size_t>(mirror4(static_cast<int>(i)))];
    return out;
}

// The records hold each camera's place x 16 in 16 bits, up to 2047 pixels,
// and the right camera sits a little beyond the screen's right edge. A
// screen wider than kPlaneWidth is therefore solved on a plane of 1/n of its
// size, n the least whole number that brings its width to kPlaneWidth or
// less: the cameras keep their true angles and places (divided by n), and
// the cell corrections, fitted from the plane's points to the screen's
// targets, take every touch back onto the screen. Squeezing the scale R
// instead would bend the cameras' rays by hundreds of pixels. Every screen
// up to kPlaneWidth wide is solved on the screen itself (n = 1).
constexpr int kPlaneWidth = 1920;
constexpr int planeDivisor(int width)
{
    return width <= kPlaneWidth ? 1 : (width + kPlaneWidth - 1) / kPlaneWidth;
}

// The plane divisor a stored block was solved on, told by the block itself:
// its evaluation points lie on the plane, the calibration targets of a
// width x height screen on the screen. 1 when the block holds no evaluation
// points to tell by. A block solved on the screen with its scale squeezed
// (wide screens, before the plane) reads 1, as it was solved.
int planeOfBlock(const records::StClbInfo& block, int width, int height);

// Result of mapping two sensor positions; both kParallelRays when the rays do
// not cross (or no scale is known).
struct MapResult {
    float x = 0.0f;
    float y = 0.0f;
    bool parallel() const { return x == kParallel && y == kParallel; }
    static constexpr float kParallel = -32768.0f;
};

// Maps a left and a right sensor position (half pixels) with the camera parts
// of a block, the angle offsets as doubles and the scale R.
MapResult mapTouch(const LensTable& table, const records::StCamInfo& left, const records::StCamInfo& right,
                   double leftOffset, double rightOffset, double r, std::int32_t leftPos, std::int32_t rightPos);

// A solution in a form that maps touches (for the image evaluation and the
// key layout). It maps onto the solution plane, which is the screen divided
// by `plane`.
struct TouchMapper {
    LensTable table{0};
    records::StCamInfo left;
    records::StCamInfo right;
    double leftOffset = 0.0;
    double rightOffset = 0.0;
    double r = 1.0;
    int plane = 1;
    MapResult map(std::int32_t leftPos, std::int32_t rightPos) const
    {
        return mapTouch(table, left, right, leftOffset, rightOffset, r, leftPos, rightPos);
    }
};

// The search runs on AVX2 where the processor has it, else on the portable
// path; both give the same result to the bit. Tests and benchmarks pin one;
// Avx2 falls back to Portable where the processor or the build has none.
enum class SearchPath { Automatic, Portable, Avx2 };
void setSearchPath(SearchPath path);
SearchPath activeSearchPath();  // Portable or Avx2: what the next search runs on

enum class SolveStatus {
    Ok,
    Stopped,     // stop requested (device lost, stop flag, 4-point mode switched on)
    BadInput,    // screen size 0 or beyond 16 bits, bad option range
    NoSolution,  // no scale gave both cameras a position that can be stored
    Singular,    // a cell correction has no solution (corners collinear or equal)
    OutOfRange,  // a result does not fit its stored field
};
const char* solveStatusName(SolveStatus status);

struct SolveHooks {
    std::function<void(int percent)> progress;  // the run turns it into progress code 3
    std::function<bool()> stopRequested;        // polled during the search
};

// The scale steps k tried (R = k / 100 + 0.5). The run uses all of them; a
// narrower window serves diagnostics and comparisons.
struct SolveOptions {
    int firstScaleStep = 0;
    int lastScaleStep = 150;
    // After the search, refine the camera parts and the scale continuously
    // over all captured points (Refine.h); the search itself is unchanged.
    bool refine = false;
    // Four points only. The four corners do not pin the scale down: over a
    // wide range of R the pixel shift trades against the scale and the
    // corners land about equally well, so the least error picks a scale by
    // how the whole-pixel shifts and 0.1 degree offsets happen to round
    // (R 0.82-0.87 with shifts of -40 to -60 px where sixteen points find
    // 1.01 and a few pixels). With this set, of the scales whose error is
    // within kScaleBandPx of the least, the one whose cameras need the
    // smallest shifts (|left| + |right|) is taken: a lens sits a few pixels
    // off its design, not tens. Equal shifts: the smaller error, then the
    // larger scale.
    bool leastShiftScale = false;
};
// Two screen pixels in x and in y at each of the four points.
constexpr double kScaleBandPx = 16.0;
constexpr int kScaleSteps = 151;
constexpr int kOffsetSteps = 101;
constexpr int kMaxShift = 100;
inline double scaleOfStep(int k) { return k / 100.0 + 0.5; }
inline double offsetOfStep(int j) { return j / 10.0 - 5.0; }

struct CalibInput16 {
    int width = 0;
    int height = 0;
    std::array<std::int32_t, 16> oneDLeft{};   // grid order
    std::array<std::int32_t, 16> oneDRight{};  // row-mirrored order
};

struct CalibInput4 {
    int width = 0;
    int height = 0;
    std::array<std::int32_t, 4> oneDLeft{};   // grid order (2 row + column)
    std::array<std::int32_t, 4> oneDRight{};  // row-mirrored (0 <-> 1, 2 <-> 3)
};

// The choice of the scale: the first comparable total error starts it, a
// later error replaces it when less or equal (so of equal errors the larger
// scale wins); an error that is not a finite number is no candidate.
struct ScaleChoice {
    bool have = false;
    double error = 0.0;
    int step = -1;
    bool offer(int scaleStep, double totalError)
    {
        if (!std::isfinite(totalError) || (have && !(totalError <= error)))
            return false;
        have = true;
        error = totalError;
        step = scaleStep;
        return true;
    }
};

// One camera's fit for one scale.
struct CameraFit {
    bool found = false;
    double x = 0.0;       // solution plane, pixels (x scaled by R)
    double y = 0.0;
    int shift = 0;        // pixels
    double offset = 0.0;  // degrees
    double spread = 0.0;
};

// Distance of each calibration point mapped by the solution (before the cell
// correction, brought from the plane to the screen) from its target, in
// screen pixels.
struct AccuracyReport {
    int count = 0;
    std::array<double, 16> residual{};
    double mean = 0.0;
    double max = 0.0;
    int worst = -1;
};

class CalibSolver {
public:
    // blockName names the block in the log ("gClbInfo", "gFastClbInfo").
    explicit CalibSolver(int variantFlag, std::string blockName = "gClbInfo");

    SolveStatus Solve16(const CalibInput16& input, const SolveHooks& hooks = {}, const SolveOptions& options = {});
    SolveStatus Solve4(const CalibInput4& input, const SolveHooks& hooks = {}, const SolveOptions& options = {});

    // One camera for one scale: positions and targets in that camera's order.
    CameraFit SolveCamera(Camera camera, double r, const std::array<std::int32_t, 16>& positions,
                          const std::array<ScreenPoint, 16>& targets) const;
    CameraFit SolveCamera4(Camera camera, double r, const std::array<std::int32_t, 4>& positions,
                           const std::array<ScreenPoint, 4>& targets) const;

    // Maps with the block's camera parts and the working angle offsets, at
    // the best scale or, during a search, the current one.
    MapResult MapTouch(std::int32_t leftPos, std::int32_t rightPos, bool bestR = true) const;

    // Fills EvalPt and X from the camera parts and the best scale. A point
    // whose rays do not cross is no evaluation point: NoSolution, and EvalPt
    // and X stay 0. After any solve that is not Ok the solver holds no
    // solution: the block is cleared and mapping gives the no-result marker.
    SolveStatus BuildCorrection(const CalibInput16& input);
    SolveStatus BuildCorrection(const CalibInput4& input);

    // Takes a stored block as the solution (offsets and scale from its fixed
    // point fields), e.g. to map touches with the frame's current calibration;
    // `plane` is the plane divisor it was solved on.
    void load(const records::StClbInfo& block, int plane = 1);

    const records::StClbInfo& block() const { return m_block; }
    int plane() const { return m_plane; }  // the plane divisor of the last solve
    const LensTable& table() const { return m_table; }
    TouchMapper mapper() const;
    double bestR() const { return m_bestR; }
    double currentR() const { return m_currentR; }
    double leftOffset() const { return m_leftOffset; }
    double rightOffset() const { return m_rightOffset; }
    double totalError() const { return m_bestError; }
    const AccuracyReport& accuracy() const { return m_accuracy; }

private:
    template <class Form, class Input>
    SolveStatus solve(const Input& input, const SolveHooks& hooks, const SolveOptions& options);
    template <class Form, class Input>
    SolveStatus search(const Input& input, const SolveHooks& hooks, const SolveOptions& options);
    void clearSolution();
    template <class Form, class Input>
    SolveStatus buildCorrection(const Input& input);
    template <class Form, class Input>
    void computeAccuracy(const Input& input);
    void logSolution(int width, int height) const;
    void logAccuracy() const;

    LensTable m_table;
    std::string m_name;
    records::StClbInfo m_block;
    double m_currentR = 1.0;
    double m_bestR = 1.0;
    double m_leftOffset = 0.0;
    double m_rightOffset = 0.0;
    double m_bestError = 0.0;
    int m_plane = 1;
    AccuracyReport m_accuracy;
};

} // namespace tovrin::calib
