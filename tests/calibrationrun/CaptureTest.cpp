// Capturing a touch: held-frame counting, the touch history, the release
// byte, the request bytes on the wire and a failed query.

#include "RunFixture.h"

#include "calibration/run/TouchCapture.h"
#include "tests/support/SimLinkTest.h"

#include <deque>

namespace tovrin::calib::test {
namespace {

SpotReport spots(std::initializer_list<int> positions, uint16_t width = 10)
{
    SpotReport r;
    for (int p : positions)
        r.spots[static_cast<size_t>(r.count++)] = {static_cast<uint16_t>(p), width, 150, 1};
    return r;
}

TouchFrame both(int left, int right)
{
    TouchFrame f;
    f.result = 2;
    f.left = spots({left});
    f.right = spots({right});
    return f;
}

TouchFrame leftOnly(int left)
{
    TouchFrame f;
    f.result = 1;
    f.left = spots({left});
    return f;
}

TEST(HeldFrames, OnlyAnUnbrokenHoldCounts)
{
    TouchCapture c(0);
    c.startRun();
    constexpr int kWait = 40;
    for (int i = 1; i < kWait; ++i)
        EXPECT_EQ(c.feed(both(600, 700), 0), i);
    // Released one frame short of the wait: nothing counted.
    EXPECT_EQ(c.feed(leftOnly(600), 0), 0);
    // The next touch starts from the beginning.
    EXPECT_EQ(c.feed(both(600, 700), 0), 1);
    EXPECT_EQ(c.heldFrames(), 1);
}

TEST(HeldFrames, TheFirstHeldFrameForgetsTheEarlierTouch)
{
    // A touch at 500 lost, then a new one at 501: with the old frames still
    // in the history the vote would pull the new spot back to 500.
    TouchCapture c(0);
    c.startRun();
    for (int i = 0; i < 15; ++i)
        c.feed(both(500, 800), 0);
    c.feed(TouchFrame{}, 0);
    for (int i = 0; i < 5; ++i)
        c.feed(both(501, 801), 0);
    const TouchCapture::Choice choice = c.choose(5, columnTypeOf16(5), 5);
    ASSERT_TRUE(choice.both());
    EXPECT_EQ(choice.left.position, 501);
    EXPECT_EQ(choice.right.position, 801);
}

TEST(HeldFrames, AveragingTakesTheMeanOfTheHeldFrames)
{
    // 20 frames wandering 600/601/602: the vote keeps one of them, the mean
    // is 601 to the nearest half pixel.
    TouchCapture vote(0), mean(0, CapturePosition::Average);
    vote.startRun();
    mean.startRun();
    for (int i = 0; i < 20; ++i) {
        const int p = 600 + i % 3;
        vote.feed(both(p, 900), 0);
        mean.feed(both(p, 900), 0);
    }
    EXPECT_EQ(mean.choose(5, columnTypeOf16(5), 5).left.position, 601);
    const int voted = vote.choose(5, columnTypeOf16(5), 5).left.position;
    EXPECT_GE(voted, 600);
    EXPECT_LE(voted, 602);
}

TEST(HeldFrames, TheRobustMeanTrimsJumpsAndTakesTheWholeHold)
{
    // 40 frames: a reflection-like jump of 7 half pixels in two of them, and
    // the spot creeping from 600 to 603 while held. The vote sees only the
    // last 20 frames; the robust mean the whole hold, the jumps trimmed.
    TouchCapture vote(0), mean(0, CapturePosition::Average);
    vote.startRun();
    mean.startRun();
    for (int i = 0; i < 40; ++i) {
        const int p = (i == 5 || i == 15) ? 607 : 600 + i / 10;
        vote.feed(both(p, 900), 0);
        mean.feed(both(p, 900), 0);
    }
    // Sorted: 600 x 9, 601 x 9, 602 x 10, 603 x 10, 607 x 2; the middle
    // twenty are 601 x 8, 602 x 10, 603 x 2, mean 601.7: 602. The vote
    // keeps where the spot has crept to.
    EXPECT_EQ(mean.choose(5, columnTypeOf16(5), 5).left.position, 602);
    EXPECT_EQ(vote.choose(5, columnTypeOf16(5), 5).left.position, 603);
}

class TouchWire : public tovrin::test::SimLinkTest {
protected:
    // The frame answers from a script, one entry per request, and keeps
    // every request it got.
    void script(std::deque<sim::TouchSpots> answers)
    {
        frame->setTouchSource([this, answers](const sim::TouchRequest& r) mutable {
            requests.push_back(r);
            if (answers.empty())
                return sim::TouchSpots{};
            sim::TouchSpots s = answers.front();
            answers.pop_front();
            return s;
        });
    }
    static sim::TouchSpots seen(uint16_t left, uint16_t right)
    {
        sim::TouchSpots s;
        s.masterCount = 1;
        s.master[0] = {left, 12, 150};
        s.slaveCount = 1;
        s.slave[0] = {right, 12, 150};
        return s;
    }
    std::vector<sim::TouchRequest> requests;
};

TEST_F(TouchWire, RequestByteIsZeroAndTheTargetTravelsAsXAndY)
{
    script({seen(600, 700)});
    TouchFrame f;
    EXPECT_EQ(readTouchFrame(5, packScreenPosition(680, 371), kReleaseFree, f), 2);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].request, 0);
    EXPECT_EQ(requests[0].pointIndex, 5);
    EXPECT_EQ(requests[0].screenPosition, 680u | (371u << 16));
    EXPECT_EQ(requests[0].release, 255);
    EXPECT_EQ(f.left.spots[0].position, 600);
    EXPECT_EQ(f.right.spots[0].position, 700);
}

TEST_F(TouchWire, ReleaseByteIsZeroWhileTheOldFingerIsStillThere)
{
    // Held three frames, then spots outside the sensor's useful range (not
    // the finger), then nothing.
    script({seen(600, 700), seen(601, 700), seen(600, 699), seen(20, 20), sim::TouchSpots{}});
    TouchCapture c(0);
    c.startRun();
    const ReleaseResult r = waitForRelease(
        1, packScreenPosition(680, 33), kReleaseHeld, [&](const TouchFrame& f) { return c.stillHeld(f, 0, FirstColumn); },
        {});
    EXPECT_EQ(r, ReleaseResult::Released);
    std::vector<int> release;
    for (const auto& q : requests)
        release.push_back(q.release);
    EXPECT_EQ(release, (std::vector<int>{0, 0, 0, 0, 255}));
}

TEST_F(TouchWire, AQueryWithoutReplyMarksTheFrameGone)
{
    frame->dropNextReplies(1);
    TouchFrame f;
    EXPECT_EQ(readTouchFrame(0, 0, kReleaseFree, f), 3);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
    EXPECT_EQ(device::g_isDeviceCommunicate.load(), 0);
}

TEST_F(TouchWire, ReleaseWaitEndsWhenInterrupted)
{
    script({});
    frame->setTouchSpots(seen(600, 700));  // a finger that never lifts
    TouchCapture c(0);
    c.startRun();
    int asked = 0;
    const ReleaseResult r = waitForRelease(
        1, packScreenPosition(680, 33), kReleaseHeld, [&](const TouchFrame& f) { return c.stillHeld(f, 0, FirstColumn); },
        [&] { return ++asked > 50; });
    EXPECT_EQ(r, ReleaseResult::Interrupted);
    EXPECT_EQ(frame->commandsSeen(30), 50u);
}

} // namespace
} // namespace tovrin::calib::test
