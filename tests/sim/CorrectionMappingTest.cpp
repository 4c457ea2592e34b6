// The simulated firmware's reading of the cell corrections of a stored
// calibration: the cell a touch falls in by the record's grid points, its
// projective correction in Q20, one cell for a 4-point record, and nothing
// for cells stored as zeros. Records are built byte by byte here, from the
// record's layout, so a misread offset shows.

#include "sim/IdealCalibration.h"
#include "sim/SimBytes.h"
#include "sim/SimulatedFrame.h"
#include "sim/TouchMapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tovrin::sim {
namespace {

constexpr int32_t kOne = 1 << 20;

// A record whose cameras map touches as the fitted records of the typical
// optics do, with the grid points of a 1920 x 1080 calibration and every
// cell the identity.
std::vector<uint8_t> baseRecord(const Optics& optics)
{
    SimulatedFrame frame;
    writeIdealCalibration(frame, optics);
    std::vector<uint8_t> r = frame.readFlash(Unit::Slave, kCalibrationRecordOffset, kCalibrationRecordSize);
    uint8_t* block = r.data() + kSolutionOffset;
    for (int c = 0; c < 9; ++c) {
        writeU32le(block + 24 + 32 * c, kOne);
        writeU32le(block + 24 + 32 * c + 16, kOne);
    }
    const int xs[4] = {120, 680, 1240, 1800}, ys[4] = {33, 371, 708, 1046};
    for (int i = 0; i < 16; ++i) {
        writeU16le(block + 312 + 4 * i, static_cast<uint16_t>(xs[i % 4]));
        writeU16le(block + 314 + 4 * i, static_cast<uint16_t>(ys[i / 4]));
    }
    return r;
}

void setCell(std::vector<uint8_t>& r, int cell, int coefficient, int32_t q)
{
    writeU32le(r.data() + kSolutionOffset + 24 + 32 * cell + 4 * coefficient, static_cast<uint32_t>(q));
}

struct Touch {
    double left = 0.0, right = 0.0;
};

Touch touchAt(const Optics& optics, double x, double y)
{
    return {*optics.position(Side::Left, x, y), *optics.position(Side::Right, x, y)};
}

TEST(CorrectionMapping, EachTouchTakesTheCorrectionOfTheCellItFallsIn)
{
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    std::vector<uint8_t> r = baseRecord(optics);
    setCell(r, 4, 2, 50 * kOne);   // middle cell: 50 px right
    setCell(r, 8, 5, -20 * kOne);  // bottom right: 20 px up
    const StoredSolution s = readSolution(r, kSolutionOffset);
    EXPECT_EQ(s.cellCount, 9);
    for (const auto& [x, y, dx, dy] : {std::array<double, 4>{900, 500, 50, 0}, {1500, 900, 0, -20},
                                        {300, 200, 0, 0}, {1900, 1070, 0, -20}, {5, 5, 0, 0}}) {
        const Touch t = touchAt(optics, x, y);
        const auto raw = mapTouch(s, t.left, t.right);
        const auto p = mapCorrected(s, t.left, t.right);
        ASSERT_TRUE(raw && p) << x << "," << y;
        EXPECT_NEAR(p->x - raw->x, dx, 1e-6) << x << "," << y;
        EXPECT_NEAR(p->y - raw->y, dy, 1e-6) << x << "," << y;
    }
}

TEST(CorrectionMapping, ACellIsChosenByTheGridPointsNotByTheScreen)
{
    // A touch beyond the grid belongs to the cell it lies least far outside
    // of: left of the grid's middle row, the middle-left cell.
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    const StoredSolution s = readSolution(baseRecord(optics), kSolutionOffset);
    EXPECT_EQ(correctionCell(s, {10, 540}), 3);
    EXPECT_EQ(correctionCell(s, {1910, 540}), 5);
    EXPECT_EQ(correctionCell(s, {960, 5}), 1);
    EXPECT_EQ(correctionCell(s, {960, 1075}), 7);
    EXPECT_EQ(correctionCell(s, {700, 380}), 4);
    EXPECT_EQ(correctionCell(s, {-50, -50}), 0);
}

TEST(CorrectionMapping, AFourPointRecordCorrectsTheWholeScreenWithItsOneCell)
{
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    std::vector<uint8_t> r = baseRecord(optics);
    for (int c = 1; c < 9; ++c)
        for (int k = 0; k < 8; ++k)
            setCell(r, c, k, 0);
    setCell(r, 0, 0, kOne / 2);  // x halved
    const StoredSolution s = readSolution(r, kSolutionOffset);
    EXPECT_EQ(s.cellCount, 1);
    const Touch t = touchAt(optics, 1500, 900);
    const auto raw = mapTouch(s, t.left, t.right);
    const auto p = mapCorrected(s, t.left, t.right);
    ASSERT_TRUE(raw && p);
    EXPECT_NEAR(p->x, raw->x / 2, 1e-6);
    EXPECT_NEAR(p->y, raw->y, 1e-6);
}

TEST(CorrectionMapping, CorrectionsStoredAsZerosCorrectNothing)
{
    // The records a factory writes carry the cameras only.
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    SimulatedFrame frame;
    writeIdealCalibration(frame, optics);
    const StoredSolution s =
        readSolution(frame.readFlash(Unit::Slave, kCalibrationRecordOffset, kCalibrationRecordSize), kSolutionOffset);
    EXPECT_EQ(s.cellCount, 0);
    const Touch t = touchAt(optics, 700, 400);
    const auto raw = mapTouch(s, t.left, t.right);
    const auto p = mapCorrected(s, t.left, t.right);
    ASSERT_TRUE(raw && p);
    EXPECT_EQ(p->x, raw->x);
    EXPECT_EQ(p->y, raw->y);
}

} // namespace
} // namespace tovrin::sim
