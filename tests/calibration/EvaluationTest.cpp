#include "calibration/math/CameraModel.h"
#include "calibration/math/Evaluation.h"
#include "tests/calibration/Synthetic.h"

#include <gtest/gtest.h>

using namespace tovrin::calib;

TEST(SearchCorners, SolvedFrameSeesTheScreenAcrossTheMiddle)
{
    const CameraModel model(CameraModel::typical(1920, 1080));
    CalibSolver solver(0);
    ASSERT_EQ(solver.Solve16(test::capture16(model, 1920, 1080)), SolveStatus::Ok);
    const CornerWindow w = SearchCorners(solver.mapper(), 1920, 1080);
    ASSERT_TRUE(w.found);
    // Both windows straddle the sensor's middle, as the acceptance test wants.
    EXPECT_LT(w.leftStart, 320);
    EXPECT_GT(w.leftEnd, 320);
    EXPECT_LT(w.rightStart, 320);
    EXPECT_GT(w.rightEnd, 320);
    // The corner columns are where the model sees the corners.
    EXPECT_NEAR(w.leftStart, *model.sensorPosition(Camera::Left, 0, 1080) / 2, 3);
    EXPECT_NEAR(w.leftEnd, *model.sensorPosition(Camera::Left, 1920, 0) / 2, 3);
    EXPECT_NEAR(w.rightStart, *model.sensorPosition(Camera::Right, 1920, 1080) / 2, 3);
    EXPECT_NEAR(w.rightEnd, *model.sensorPosition(Camera::Right, 0, 0) / 2, 3);
}

TEST(SearchCorners, NothingInsideTheScreenLeavesZeros)
{
    // Both cameras at one point above-left of the screen: every pair of rays
    // crosses there, outside the screen.
    TouchMapper m;
    m.r = 1.0;
    m.left.Po_l4 = {-16000, -16000};
    m.right.Po_l4 = {-16000, -16000};
    const CornerWindow w = SearchCorners(m, 1920, 1080);
    EXPECT_FALSE(w.found);
    EXPECT_EQ(w, CornerWindow{});
    m.r = 0.0;  // erased block
    EXPECT_EQ(SearchCorners(m, 1920, 1080), CornerWindow{});
    m.r = 1.0;
    EXPECT_EQ(SearchCorners(m, 0, 0), CornerWindow{});
}

struct WidenRow {
    const char* name;
    int start, end;
    int darkColumn;  // -1: none
    int wantStart, wantEnd;
    std::uint8_t level = 199;  // of the dark column
};

class WidenByImageRows : public testing::TestWithParam<WidenRow> {};

TEST_P(WidenByImageRows, MovesTheEdgeToTheFirstDarkColumn)
{
    const WidenRow& row = GetParam();
    std::array<std::uint8_t, kSensorColumns> line;
    line.fill(255);
    ASSERT_LT(row.darkColumn, kSensorColumns) << "the row must stay on the 640-pixel line";
    if (row.darkColumn >= 0)
        line[static_cast<std::size_t>(row.darkColumn)] = row.level;
    int start = row.start, end = row.end;
    WidenByImage(start, end, line);
    EXPECT_EQ(start, row.wantStart);
    EXPECT_EQ(end, row.wantEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WidenByImageRows,
    testing::Values(WidenRow{"startNoDarkWithin15", 100, 500, 84, 100, 500},
                    WidenRow{"startDarkAt15th", 100, 500, 85, 86, 500},
                    WidenRow{"startBelow16Untouched", 15, 500, 5, 15, 500},
                    WidenRow{"startAt16", 16, 500, 1, 2, 500},
                    WidenRow{"endDarkAt15th", 100, 500, 515, 100, 514},
                    WidenRow{"endNoDarkWithin15", 100, 500, 516, 100, 500},
                    WidenRow{"endAt623", 100, 623, 638, 100, 637},
                    WidenRow{"endAt624Untouched", 100, 624, 630, 100, 624},
                    WidenRow{"darkNextToStart", 100, 500, 99, 100, 500},
                    WidenRow{"allBright", 100, 500, -1, 100, 500},
                    WidenRow{"windowOffTheLine", 700, 900, 639, 700, 900},
                    WidenRow{"level200IsNotDark", 100, 500, 90, 100, 500, 200}),
    [](const auto& row) { return std::string(row.param.name); });
