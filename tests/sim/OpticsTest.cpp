// The simulated cameras' own optics: a smooth lens near the firmware's table
// but not on it, the mounting variants, spot widths, and how well the
// firmware's mapping can follow the optics with the best records it can
// hold (the ideal calibration).

#include "sim/IdealCalibration.h"
#include "sim/LensTables.h"
#include "sim/Optics.h"
#include "sim/SimulatedFrame.h"
#include "sim/TouchMapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tovrin::sim {
namespace {

struct GridError {
    double mean = 0.0;
    double max = 0.0;
};

// The fitted records' mapping of exact (unrounded) positions on a 24 x 14
// grid of the screen, against where the finger was.
GridError idealMappingError(const Optics& optics)
{
    const StoredSolution s = fitSolution(optics);
    GridError e;
    int n = 0;
    for (int r = 0; r < 14; ++r)
        for (int c = 0; c < 24; ++c) {
            const double x = optics.width() * (0.03 + 0.94 * c / 23.0);
            const double y = optics.height() * (0.03 + 0.94 * r / 13.0);
            const auto pl = optics.position(Side::Left, x, y);
            const auto pr = optics.position(Side::Right, x, y);
            if (!pl || !pr)
                continue;
            const auto p = mapTouch(s, *pl, *pr);
            if (!p)
                continue;
            const double d = std::hypot(p->x - x, p->y - y);
            e.mean += d;
            e.max = std::max(e.max, d);
            ++n;
        }
    e.mean = n ? e.mean / n : 1e9;
    return e;
}

TEST(Optics, TheDesignLensFollowsTheTableClosely)
{
    // Column of each table entry's angle through the nominal lens, against
    // the table: within a pixel everywhere, but never the table itself.
    for (int family : {0, 1}) {
        const Optics optics(*opticsVariant("nominal"), 1920, 1080, family);
        const auto& table = lensTable(family);
        std::array<double, kLensEntries> t{};
        for (size_t k = 0; k < t.size(); ++k)
            t[k] = table[k] / 2.0;
        double worst = 0.0, sum = 0.0;
        for (double column = t.front(); column < t.back(); column += 3.7) {
            const double lens = optics.columnAngle(Side::Left, column) - optics.columnAngle(Side::Left, t[34]);
            const double firmware = tableAngle(t, column) - tableAngle(t, t[34]);
            const double d = std::abs(lens - firmware);
            worst = std::max(worst, d);
            sum += d;
        }
        EXPECT_LT(worst, 0.35) << "degrees, family " << family;
        EXPECT_GT(sum, 0.5) << "the lens is smooth where the table is not";
    }
}

TEST(Optics, PositionsRunAcrossTheSensorAndPointsBehindACameraAreUnseen)
{
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    // Along the bottom edge the left camera turns away from its vertical.
    double previous = -1.0;
    for (int x = 0; x < 1920; x += 80) {
        const auto p = optics.position(Side::Left, x, 1079);
        ASSERT_TRUE(p);
        EXPECT_GT(*p, previous);
        previous = *p;
    }
    const PlanePoint camera = optics.camera(Side::Left);
    EXPECT_LT(camera.x, 0.0);
    EXPECT_LT(camera.y, 0.0);
    EXPECT_FALSE(optics.position(Side::Left, 500, camera.y - 5));
    EXPECT_FALSE(optics.position(Side::Right, 500, camera.y - 5));
}

TEST(Optics, SpotWidthComesFromTheFingerAndItsDistance)
{
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    const double near = optics.spotWidth(Side::Left, 200, 200, 12.0);
    const double far = optics.spotWidth(Side::Left, 1700, 1000, 12.0);
    EXPECT_GT(near, 3.0 * far);
    EXPECT_NEAR(optics.spotWidth(Side::Left, 1700, 1000, 24.0), 2.0 * far, 0.2 * far);
}

struct VariantRow {
    const char* name;
    double meanPx;  // the best records' mean error on the glass at most
    double maxPx;
    double meanPxB;  // the same for the lenses of extended-frame units
};

class OpticsVariants : public ::testing::TestWithParam<VariantRow> {};

// The firmware cannot follow a real lens exactly, and less well the further
// the unit is from its design.
TEST_P(OpticsVariants, TheBestRecordsMapTouchesThisWell)
{
    const GridError e = idealMappingError(Optics(*opticsVariant(GetParam().name), 1920, 1080, 0));
    EXPECT_LE(e.mean, GetParam().meanPx) << e.mean << " / " << e.max;
    EXPECT_LE(e.max, GetParam().maxPx) << e.mean << " / " << e.max;
    EXPECT_GT(e.max, 0.3) << "the records are never the optics";
    const GridError b = idealMappingError(Optics(*opticsVariant(GetParam().name), 1920, 1080, 1));
    EXPECT_LE(b.mean, GetParam().meanPxB) << "lens family B " << b.mean;
}

INSTANTIATE_TEST_SUITE_P(Variants, OpticsVariants,
                         ::testing::Values(VariantRow{"nominal", 1.0, 6.0, 2.0}, VariantRow{"typical", 2.0, 9.0, 3.2},
                                           VariantRow{"worst", 5.0, 22.0, 8.5}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Optics, VariantsAndItems)
{
    OpticsConfig c = *opticsVariant("typical");
    EXPECT_NE(c.mounts[0], Mount{});
    EXPECT_NE(c.mounts[0], c.mounts[1]) << "two built units differ";
    EXPECT_EQ(applyOpticsItems(c, "nominal, master.turn=1.25, focal=-0.5, diagonal=84"), "");
    EXPECT_DOUBLE_EQ(c.mounts[0].turnDeg, 1.25);
    EXPECT_DOUBLE_EQ(c.mounts[1].turnDeg, 0.0);
    EXPECT_DOUBLE_EQ(c.mounts[0].focalPct, -0.5);
    EXPECT_DOUBLE_EQ(c.mounts[1].focalPct, -0.5);
    EXPECT_DOUBLE_EQ(c.diagonalInch, 84.0);
    EXPECT_EQ(c.variant, "custom");
    EXPECT_EQ(applyOpticsItems(c, "worst, left.turn=1, turn=99, shiny"), "left.turn=1");
    EXPECT_EQ(c.variant, "worst");
    EXPECT_DOUBLE_EQ(c.diagonalInch, 84.0) << "a variant keeps the screen";
    EXPECT_FALSE(opticsVariant("perfect"));
}

TEST(Optics, IdealCalibrationRecordsMapTheFramesOwnFinger)
{
    SimulatedFrame frame;
    writeIdealCalibration(frame, Optics(*opticsVariant("typical"), 1920, 1080, 0));
    EXPECT_EQ(frame.mode(), kModeWork);
    const std::vector<uint8_t> record = frame.readFlash(Unit::Slave, kCalibrationRecordOffset, kCalibrationRecordSize);
    const StoredSolution s = readSolution(record, kSolutionOffset);
    EXPECT_DOUBLE_EQ(s.scale, 1.0);
    EXPECT_DOUBLE_EQ(s.table[0], kLensTableA[0] / 2.0);
    const Optics optics(*opticsVariant("typical"), 1920, 1080, 0);
    const auto p = mapTouch(s, *optics.position(Side::Left, 700, 400), *optics.position(Side::Right, 700, 400));
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->x, 700, 6.0);
    EXPECT_NEAR(p->y, 400, 6.0);
}

} // namespace
} // namespace tovrin::sim
