#include "sim/TouchMapping.h"

#include "sim/SimBytes.h"

#include <cmath>

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
