#include "sim/TouchMapping.h"

#include "sim/SimBytes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovrin::sim {

namespace {

// The firmware's own value of pi, and the smallest angle it lets a ray have
// (a ray along the vertical has no finite slope).
constexpr double kFirmwarePi = 3.1415926;
constexpr double kSmallestAngle = 0.001;

double s16(const uint8_t* p) { return static_cast<int16_t>(readU16le(p)); }
int32_t s32(const uint8_t* p) { return static_cast<int32_t>(readU32le(p)); }

CameraSolution cameraAt(const uint8_t* p)
{
    CameraSolution c;
    c.x = s16(p) / 16.0;
    c.y = s16(p + 2) / 16.0;
    c.shift = s32(p + 4);
    c.turn = s32(p + 8) / 1024.0;
    return c;
}

double slope(Side side, double angle)
{
    if (angle >= 0.0 && angle < kSmallestAngle)
        angle = kSmallestAngle;
    else if (angle < 0.0 && angle > -kSmallestAngle)
        angle = -kSmallestAngle;
    const double toVertical = side == Side::Left ? 90.0 - angle : 90.0 + angle;
    return std::tan(toVertical * kFirmwarePi / 180.0);
}

} // namespace

StoredSolution readSolution(std::span<const uint8_t> record, size_t at)
{
    StoredSolution s;
    if (record.size() < kLensTableOffset + 2 * kLensEntries || record.size() < at + 380)
        return s;
    const uint8_t* p = record.data() + at;
    s.left = cameraAt(p);
    s.right = cameraAt(p + 12);
    s.scale = s32(p + 376) / 1024.0;
    for (size_t k = 0; k < kLensEntries; ++k)
        s.table[k] = readU16le(record.data() + kLensTableOffset + 2 * k) / 2.0;
    bool anyBeyondFirst = false, any = false;
    for (size_t c = 0; c < s.cells.size(); ++c)
        for (size_t k = 0; k < 8; ++k) {
            const int32_t q = s32(p + 24 + 32 * c + 4 * k);
            s.cells[c][k] = q / 1048576.0;
            any = any || q != 0;
            anyBeyondFirst = anyBeyondFirst || (c > 0 && q != 0);
        }
    for (size_t i = 0; i < s.grid.size(); ++i)
        s.grid[i] = {s16(p + 312 + 4 * i), s16(p + 314 + 4 * i)};
    s.cellCount = anyBeyondFirst ? 9 : any ? 1 : 0;
    return s;
}

double tableAngle(const std::array<double, kLensEntries>& t, double q)
{
    size_t k = 0;
    if (q >= t[kLensEntries - 1])
        k = kLensEntries - 2;
    else
        while (k + 2 < kLensEntries && q >= t[k + 1])
            ++k;
    const double span = t[k + 1] - t[k];
    const double index = span != 0.0 ? k + (q - t[k]) / span : static_cast<double>(k);
    return index * kLensStepDegrees;
}

double firmwareAngle(const StoredSolution& s, Side side, double position)
{
    const CameraSolution& c = side == Side::Left ? s.left : s.right;
    return tableAngle(s.table, position / 2.0 + c.shift) + c.turn;
}

std::optional<PlanePoint> mapTouch(const StoredSolution& s, double leftPosition, double rightPosition)
{
    if (!(s.scale > 0.0))
        return std::nullopt;
    const double mL = slope(Side::Left, firmwareAngle(s, Side::Left, leftPosition));
    const double mR = slope(Side::Right, firmwareAngle(s, Side::Right, rightPosition));
    if (mR - mL == 0.0)
        return std::nullopt;
    const double bL = s.left.y - s.left.x * mL;
    const double bR = s.right.y - s.right.x * mR;
    const double u = (bL - bR) / (mR - mL);
    return PlanePoint{u / s.scale, u * mL + bL};
}

} // namespace tovrin::sim

namespace tovrin::sim {

namespace {

// How far p lies outside the quadrilateral a-b-c-d (drawn in that order):
// the largest distance beyond one of its edges, 0 or less inside.
double outside(const std::array<PlanePoint, 4>& q, PlanePoint p)
{
    // The orientation of the corners decides which side of an edge is in.
    double area = 0.0;
    for (size_t k = 0; k < 4; ++k) {
        const PlanePoint& a = q[k];
        const PlanePoint& b = q[(k + 1) % 4];
        area += a.x * b.y - b.x * a.y;
    }
    const double sign = area >= 0.0 ? 1.0 : -1.0;
    double worst = -std::numeric_limits<double>::infinity();
    for (size_t k = 0; k < 4; ++k) {
        const PlanePoint& a = q[k];
        const PlanePoint& b = q[(k + 1) % 4];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        if (len == 0.0)
            continue;
        // Positive to the outer side of the edge a -> b.
        const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
        worst = std::max(worst, -sign * cross / len);
    }
    return worst;
}

} // namespace

int correctionCell(const StoredSolution& s, PlanePoint p)
{
    if (s.cellCount != 9)
        return 0;
    int best = 0;
    double bestOut = std::numeric_limits<double>::infinity();
    for (int c = 0; c < 9; ++c) {
        const size_t i = static_cast<size_t>(4 * (c / 3) + c % 3);
        const std::array<PlanePoint, 4> q{s.grid[i], s.grid[i + 1], s.grid[i + 5], s.grid[i + 4]};
        const double out = outside(q, p);
        if (out <= 0.0)
            return c;
        if (out < bestOut) {
            bestOut = out;
            best = c;
        }
    }
    return best;
}

std::optional<PlanePoint> mapCorrected(const StoredSolution& s, double leftPosition, double rightPosition)
{
    const std::optional<PlanePoint> p = mapTouch(s, leftPosition, rightPosition);
    if (!p || s.cellCount == 0)
        return p;
    const std::array<double, 8>& h = s.cells[static_cast<size_t>(correctionCell(s, *p))];
    bool none = true;
    for (double v : h)
        none = none && v == 0.0;
    if (none)
        return p;
    const double d = h[6] * p->x + h[7] * p->y + 1.0;
    const double u = (h[0] * p->x + h[1] * p->y + h[2]) / d;
    const double v = (h[3] * p->x + h[4] * p->y + h[5]) / d;
    if (!std::isfinite(u) || !std::isfinite(v))
        return std::nullopt;
    return PlanePoint{u, v};
}

} // namespace tovrin::sim
