// Whole runs where the cameras see more than the finger: a second finger of
// the hand, a reflection, spots at the ends of the sensor. A record is
// stored only when it maps touches as well as a clean run's; a second
// finger is never guessed away, the person is asked to touch with one.

#include "RunFixture.h"

#include "calibration/run/Accuracy.h"

namespace tovrin::calib::test {
namespace {

enum class Extra { SecondFinger, Reflection, EdgeSpots };

struct ExtraRow {
    const char* name;
    GridKind kind;
    Extra extra;
};

class ExtraSpots : public RunTest, public ::testing::WithParamInterface<ExtraRow> {
protected:
    // The stored Slave record measured on a 15 x 9 grid of touches, each
    // mapped from where the cameras truly see the finger.
    GridFigure storedAccuracy()
    {
        const auto bytes = recordBytes(*frame, sim::Unit::Slave);
        const auto stored =
            records::CalInfo::decode(std::span<const uint8_t, records::kCalInfoSize>(bytes.data(), records::kCalInfoSize));
        sim::Fingers& f = frame->fingers();
        const TouchAt truth = [&f](double x, double y, std::int32_t& left, std::int32_t& right) {
            const auto l = f.exactPosition(sim::Side::Left, x, y);
            const auto r = f.exactPosition(sim::Side::Right, x, y);
            if (!l || !r)
                return false;
            left = static_cast<std::int32_t>(std::lround(*l));
            right = static_cast<std::int32_t>(std::lround(*r));
            return true;
        };
        return measureGrid(FrameMapping(stored.solution, 0), kWidth, kHeight, 15, 9, truth);
    }
};

TEST_P(ExtraSpots, StoreOnlyARecordAsGoodAsACleanRuns)
{
    const ExtraRow row = GetParam();
    // The bounds of a clean run of the same kind (tovrin-bench calibrate:
    // a 16-point run keeps about 2 px on average, a 4-point run about 5).
    const double meanBound = row.kind == GridKind::Sixteen ? 2.5 : 8.0;
    const double maxBound = row.kind == GridKind::Sixteen ? 10.0 : 25.0;
    switch (row.extra) {
    case Extra::SecondFinger: {
        sim::FingerSettings s = frame->fingers().settings();
        s.secondFinger = true;
        frame->fingers().configure(s);
        break;
    }
    case Extra::Reflection:
        frame->changeFaults([](sim::FaultPlan& f) { f.fingers.reflection = true; });
        break;
    case Extra::EdgeSpots:
        frame->changeFaults([](sim::FaultPlan& f) { f.fingers.edgeSpots = true; });
        break;
    }
    int asked = 0;
    const RunReport r = run(row.kind, [&](int) {
        if (runState().request.load() != PersonRequest::OneFinger)
            return;
        ++asked;
        // The person takes the second finger away (and touches again).
        sim::FingerSettings s = frame->fingers().settings();
        if (!s.secondFinger)
            return;
        s.secondFinger = false;
        frame->fingers().configure(s);
    });
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    if (row.extra == Extra::SecondFinger)
        EXPECT_GT(asked, 0) << "the second finger was never noticed";
    else
        EXPECT_EQ(asked, 0) << "spots the frame shows without a touch were taken for a finger";
    const GridFigure g = storedAccuracy();
    EXPECT_EQ(g.missed, 0);
    EXPECT_LT(g.meanPx, meanBound) << g.maxPx;
    EXPECT_LT(g.maxPx, maxBound) << g.meanPx;
}

INSTANTIATE_TEST_SUITE_P(Runs, ExtraSpots,
                         ::testing::Values(ExtraRow{"SixteenSecondFinger", GridKind::Sixteen, Extra::SecondFinger},
                                           ExtraRow{"SixteenReflection", GridKind::Sixteen, Extra::Reflection},
                                           ExtraRow{"SixteenEdgeSpots", GridKind::Sixteen, Extra::EdgeSpots},
                                           ExtraRow{"FourSecondFinger", GridKind::Four, Extra::SecondFinger},
                                           ExtraRow{"FourReflection", GridKind::Four, Extra::Reflection},
                                           ExtraRow{"FourEdgeSpots", GridKind::Four, Extra::EdgeSpots}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(RunTest, ASecondFingerIsNeverTakenItIsAskedAway)
{
    sim::FingerSettings s = frame->fingers().settings();
    s.secondFinger = true;
    frame->fingers().configure(s);
    int asked = 0;
    const RunReport r = run(GridKind::Four, [&](int c) {
        if (runState().request.load() == PersonRequest::OneFinger)
            ++asked;
        if (c == code::PointReady && asked > 2000)
            stop = true;
    });
    EXPECT_EQ(r.outcome, RunOutcome::Stopped);
    EXPECT_EQ(r.oneDLeft[0], 0);  // nothing taken
    EXPECT_TRUE(recordsUnchanged());
}

} // namespace
} // namespace tovrin::calib::test
