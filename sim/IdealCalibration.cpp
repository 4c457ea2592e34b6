#include "sim/IdealCalibration.h"

#include "sim/SimBytes.h"
#include "sim/SimulatedFrame.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tovrin::sim {

namespace {

constexpr int kGridColumns = 24;
constexpr int kGridRows = 14;
constexpr int kShiftRange = 80;

struct Sample {
    double position;  // half pixels
    double angle;     // degrees
    double weight;    // distance from the camera (mm)
};

std::vector<Sample> samples(const Optics& optics, Side side)
{
    std::vector<Sample> out;
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < kGridColumns; ++c) {
            const double x = optics.width() * (0.02 + 0.96 * c / (kGridColumns - 1));
            const double y = optics.height() * (0.02 + 0.96 * r / (kGridRows - 1));
            if (const auto p = optics.position(side, x, y))
                out.push_back({*p, optics.rayAngle(side, x, y), optics.distanceMm(side, x, y)});
        }
    return out;
}

CameraSolution fitCamera(const Optics& optics, Side side, const std::array<double, kLensEntries>& table, double scale,
                         int plane)
{
    const std::vector<Sample> points = samples(optics, side);
    CameraSolution best;
    const PlanePoint at = optics.camera(side);
    best.x = at.x * scale / plane;
    best.y = at.y / plane;
    double bestCost = std::numeric_limits<double>::infinity();
    for (int shift = -kShiftRange; shift <= kShiftRange; ++shift) {
        double sumW = 0.0, sumWR = 0.0;
        bool onTable = true;
        for (const Sample& s : points) {
            const double q = s.position / 2.0 + shift;
            onTable = onTable && q >= table.front() && q < table.back();
            const double w = s.weight * s.weight;
            sumW += w;
            sumWR += w * (s.angle - tableAngle(table, q));
        }
        if (!onTable || sumW <= 0.0)
            continue;
        const double turn = sumWR / sumW;
        double cost = 0.0;
        for (const Sample& s : points) {
            const double e = s.angle - tableAngle(table, s.position / 2.0 + shift) - turn;
            cost += s.weight * s.weight * e * e;
        }
        if (cost < bestCost) {
            bestCost = cost;
            best.shift = shift;
            best.turn = turn;
        }
    }
    return best;
}

void putCamera(uint8_t* p, const CameraSolution& c)
{
    writeU16le(p, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(c.x * 16.0))));
    writeU16le(p + 2, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(c.y * 16.0))));
    writeU32le(p + 4, static_cast<uint32_t>(c.shift));
    writeU32le(p + 8, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(c.turn * 1024.0))));
}

} // namespace

StoredSolution fitSolution(const Optics& optics, int plane)
{
    plane = std::max(plane, 1);
    StoredSolution s;
    const auto& table = lensTable(optics.lensFamily());
    for (size_t k = 0; k < kLensEntries; ++k)
        s.table[k] = table[k] / 2.0;
    // The solution plane keeps the screen's pixels across scaled to the
    // pixels down, so that its angles are the glass's angles; but a camera's
    // place is stored x 16 in 16 bits, so a wide screen is squeezed across
    // until the right camera fits (its angles then only roughly the glass's).
    s.scale = optics.config().pixelAspect > 0.0 ? optics.config().pixelAspect : 1.0;
    const double rightX = optics.camera(Side::Right).x;
    constexpr double kLargestPlace = 32767.0 / 16.0;
    if (rightX * s.scale / plane > kLargestPlace)
        s.scale = std::floor(kLargestPlace * plane / rightX * 1024.0) / 1024.0;
    s.left = fitCamera(optics, Side::Left, s.table, s.scale, plane);
    s.right = fitCamera(optics, Side::Right, s.table, s.scale, plane);
    return s;
}

void writeIdealCalibration(SimulatedFrame& frame, const Optics& optics, int plane)
{
    plane = std::max(plane, 1);
    const StoredSolution s = fitSolution(optics, plane);
    const auto& table = lensTable(optics.lensFamily());
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        std::vector<uint8_t> r = frame.readFlash(unit, kCalibrationRecordOffset, kCalibrationRecordSize);
        uint8_t* p = r.data();
        if (readU32le(p) != kCalibrationValidWord) {
            std::fill(r.begin(), r.end(), uint8_t{0});
            writeU16le(p + 4, 236);
            writeU16le(p + 8, 40);
            writeU16le(p + 10, 600);
        }
        // 0 validity word, 66 solution block (cameras, 90 corrections,
        // 378 evaluation points, 442 scale), 446 screen size, 1218 lens table.
        writeU32le(p, kCalibrationValidWord);
        putCamera(p + kSolutionOffset, s.left);
        putCamera(p + kSolutionOffset + 12, s.right);
        std::fill(p + 90, p + 442, uint8_t{0});
        if (plane > 1) {
            // One correction for the whole screen: u = plane x, v = plane y,
            // and as its grid points the four corner targets of a 4-point
            // calibration (1/16 of the width and 1/32 of the height in from
            // the top left, 7/8 of the width and 15/16 of the height apart)
            // on the plane.
            const auto scale = static_cast<uint32_t>(plane * 1048576);
            writeU32le(p + 90, scale);
            writeU32le(p + 90 + 16, scale);
            const double w = optics.width(), h = optics.height();
            for (int k = 0; k < 4; ++k) {
                const double x = std::trunc(w / 16.0 + (k % 2) * 7.0 * w / 8.0);
                const double y = std::trunc(h / 32.0 + (k / 2) * 15.0 * h / 16.0);
                uint8_t* at = p + 378 + 4 * k;
                writeU16le(at, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x / plane))));
                writeU16le(at + 2, static_cast<uint16_t>(static_cast<int16_t>(std::lround(y / plane))));
            }
        }
        writeU32le(p + 442, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(s.scale * 1024.0))));
        writeU16le(p + 446, static_cast<uint16_t>(optics.width()));
        writeU16le(p + 448, static_cast<uint16_t>(optics.height()));
        for (size_t k = 0; k < kLensEntries; ++k)
            writeU16le(p + kLensTableOffset + 2 * k, table[k]);
        frame.eraseSector(unit, kCalibrationRecordOffset);
        frame.setFlash(unit, kCalibrationRecordOffset, r);
    }
    frame.unplug();
    frame.plug();
}

} // namespace tovrin::sim
