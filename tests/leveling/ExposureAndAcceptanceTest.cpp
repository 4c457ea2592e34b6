// The exposure mark against the limit from the INI, and whether Save&Exit
// may store a leveling.
#include "leveling/core/ExposureScale.h"
#include "leveling/core/LevelingAcceptance.h"

#include <gtest/gtest.h>

namespace tovrin::leveling {
namespace {

TEST(ExposureMark, DefaultLimitMarksIndex18ButNot17)
{
    EXPECT_TRUE(exposureMark(false, 0x10, 0x60, kDefaultExposureLimit));
    EXPECT_FALSE(exposureMark(true, 0x08, 0xA0, kDefaultExposureLimit));
}

TEST(ExposureMark, LimitAbove25ActsAs25)
{
    const int limit = exposureLimitIndex(300);
    EXPECT_EQ(limit, 25);
    EXPECT_TRUE(exposureMark(false, 0x1C, 0x70, limit));
    EXPECT_FALSE(exposureMark(true, 0x18, 0x70, limit));
}

TEST(ExposureMark, LimitFromTextOrBelowZeroIsZero)
{
    EXPECT_EQ(exposureLimitIndex(0), 0);  // "abc" reads as 0
    EXPECT_EQ(exposureLimitIndex(-7), 0);
    EXPECT_TRUE(exposureMark(false, 0x04, 0x40, exposureLimitIndex(-7))) << "every setting is at or above 0";
}

TEST(ExposureMark, WordOutsideTheScaleKeepsThePreviousMark)
{
    EXPECT_EQ(exposureScaleIndex(0x03, 0x30), -1);
    EXPECT_TRUE(exposureMark(true, 0x03, 0x30, 18));
    EXPECT_FALSE(exposureMark(false, 0x03, 0x30, 18));
    EXPECT_EQ(exposureScaleIndex(0xFF, 0xFF), -1) << "a failed reading is not a setting";
}

TEST(ExposureMark, ByteOrderMatters)
{
    // 0x40 0x04 is the low and high byte of index 0 swapped.
    EXPECT_EQ(exposureScaleIndex(0x04, 0x40), 0);
    EXPECT_EQ(exposureScaleIndex(0x40, 0x04), -1);
}

struct AcceptRow {
    const char* name;
    bool previewOnly;
    bool exposureDone;
    int master;
    int slave;
    Acceptance::Verdict verdict;
    bool masterOut;
    bool slaveOut;
};

void PrintTo(const AcceptRow& row, std::ostream* os) { *os << row.name; }

class Accept : public ::testing::TestWithParam<AcceptRow> {};

TEST_P(Accept, Verdict)
{
    const AcceptRow& r = GetParam();
    const Acceptance a = acceptLeveling(r.previewOnly, r.exposureDone, r.master, r.slave);
    EXPECT_EQ(a.verdict, r.verdict);
    EXPECT_EQ(a.outOfRange[0], r.masterOut);
    EXPECT_EQ(a.outOfRange[1], r.slaveOut);
}

using V = Acceptance::Verdict;
INSTANTIATE_TEST_SUITE_P(
    StartLines, Accept,
    ::testing::Values(AcceptRow{"InsideBothUnits", false, true, 236, 248, V::Accepted, false, false},
                      AcceptRow{"Lowest51", false, true, 51, 51, V::Accepted, false, false},
                      AcceptRow{"Highest299", false, true, 299, 299, V::Accepted, false, false},
                      AcceptRow{"MasterAt50", false, true, 50, 200, V::OutOfRange, true, false},
                      AcceptRow{"SlaveAt300", false, true, 200, 300, V::OutOfRange, false, true},
                      AcceptRow{"LineFromTheSearchAt640", false, true, 640, 640, V::OutOfRange, true, true},
                      AcceptRow{"NotExposedYet", false, false, 236, 248, V::ExposureFirst, false, false},
                      AcceptRow{"PreviewOnlyTakenAsItIs", true, false, 640, 0, V::Accepted, false, false}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tovrin::leveling
