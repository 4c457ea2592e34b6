// What a whole calibration leaves in the log when the person holds the
// finger on each target for seconds, as people do, and how fast the run
// asks the frame while it waits.

#include "RunFixture.h"

#include "calibration/run/TargetCapture.h"
#include "shell/Log.h"

#include <QDirIterator>
#include <QFileInfo>

namespace tovrin::calib::test {
namespace {

// A person who touches each target as it appears and keeps the finger there
// for `holdFrames` more frames after the tool has moved on to the next one.
class PatientFinger {
public:
    PatientFinger(sim::SimulatedFrame& frame, int holdFrames) : m_frame(frame), m_hold(holdFrames)
    {
        sim::FingerSettings s = frame.fingers().settings();
        s.autoTouch = false;
        frame.fingers().configure(s);
    }

    sim::TouchSpots report(const sim::TouchRequest& r)
    {
        sim::Fingers& f = m_frame.fingers();
        const std::uint32_t target = r.screenPosition;
        if (m_down && target != m_pressed && ++m_after >= m_hold) {
            f.lift();
            m_down = false;
        } else if (!m_down && target != 0 && target != m_pressed) {
            f.press(target & 0xFFFF, target >> 16);
            m_down = true;
            m_pressed = target;
            m_after = 0;
        }
        return f.report(r, 0);
    }

private:
    sim::SimulatedFrame& m_frame;
    int m_hold;
    bool m_down = false;
    std::uint32_t m_pressed = 0;
    int m_after = 0;
};

qint64 logBytes()
{
    qint64 total = 0;
    QDirIterator it(QStringLiteral("log"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

TEST_F(RunTest, AFingerHeldForSecondsAtEachTargetLeavesALogWellUnderAMegabyte)
{
    shell::PrepareLogFolders();
    shell::WriteLog("Tovrin log start!\n", true);
    // Three seconds at the frame's pace after each point was taken.
    auto finger = std::make_shared<PatientFinger>(*frame, 3000 / kTouchFramePeriodMs);
    frame->setTouchSource([finger](const sim::TouchRequest& r) { return finger->report(r); });
    const RunReport r = run();
    frame->setTouchSource({});
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    EXPECT_GT(r.reports, 15 * 3000);  // the finger really stayed
    EXPECT_LT(logBytes(), 1000 * 1000);
}

TEST_F(RunTest, TheRunAsksNoFasterThanTheFrameAnswers)
{
    std::atomic<int> paced{0};
    setSleeper([&paced](int ms) {
        if (ms == kTouchFramePeriodMs)
            ++paced;
        std::this_thread::yield();
    });
    auto finger = std::make_shared<PatientFinger>(*frame, 200);
    frame->setTouchSource([finger](const sim::TouchRequest& r) { return finger->report(r); });
    const RunReport r = run(GridKind::Four);
    frame->setTouchSource({});
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    // Every touch query, the release waits' included, waits a frame.
    EXPECT_GE(paced.load(), r.reports);
}

} // namespace
} // namespace tovrin::calib::test
