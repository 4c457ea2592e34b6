#pragma once
// A factory frame behind the device link, fast waits, and the simulated
// finger touching each target by itself: the baseline every run test
// changes one thing of.

#include "calibration/run/CalibrationJob.h"
#include "calibration/run/CalibrationStore.h"
#include "calibration/run/RunState.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/FrameLink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tovrin::calib::test {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

inline std::vector<uint8_t> recordBytes(const sim::SimulatedFrame& frame, sim::Unit unit)
{
    return frame.readFlash(unit, sim::kCalibrationRecordOffset, records::kCalInfoSize);
}

inline bool validRecord(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 4 && bytes[0] == 0x46 && bytes[1] == 0x49 && bytes[2] == 0x57 && bytes[3] == 0x46;
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setSleeper([](int) { std::this_thread::yield(); });
        plugFactoryFrame();
        fingers(0);
        device::ExtendedFrameDevice = 0;
        FourCalib_en = 0;
        g_WaitFrameCount = 40;
        g_CaptureAverage = 0;
        g_CalibEnvironment = 0;
        oldMaster = recordBytes(*frame, sim::Unit::Master);
        oldSlave = recordBytes(*frame, sim::Unit::Slave);
    }
    void TearDown() override
    {
        device::setTransport(nullptr);
        setSleeper({});
        FourCalib_en = 0;
    }

    // A fresh factory frame behind the link, in calibration mode.
    void plugFactoryFrame()
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        frame->fingers().setScreen(kWidth, kHeight);
        device::setTransport(sim::makeSimTransport(frame));
        ASSERT_TRUE(tovrin::test::openInCalibrationMode());
    }

    // The auto finger with `jitter` half pixels of noise.
    void fingers(int jitter, unsigned seed = 1)
    {
        sim::FingerSettings s = frame->fingers().settings();
        s.autoTouch = true;
        s.jitter = jitter;
        s.seed = seed;
        frame->fingers().configure(s);
    }

    // One run in this thread. onCode sees every code as it is sent (the
    // repaint request is taken at once, so code 0 comes with every frame).
    RunReport run(GridKind kind = GridKind::Sixteen, std::function<void(int)> onCode = {},
                  FrameImages* images = nullptr, int width = kWidth, int height = kHeight)
    {
        FourCalib_en = kind == GridKind::Four ? 1 : 0;
        auto own = makeDeviceFrameImages();
        CalibrationJob::Hooks hooks;
        hooks.stop = &stop;
        hooks.send = [&, onCode](int c) {
            codes.push_back(c);
            runState().repaint = 0;
            if (onCode)
                onCode(c);
        };
        CalibrationJob job(kind, width, height, images ? *images : *own, hooks);
        return job.run();
    }

    bool recordsUnchanged() const
    {
        return recordBytes(*frame, sim::Unit::Master) == oldMaster && recordBytes(*frame, sim::Unit::Slave) == oldSlave;
    }

    tovrin::test::InTemporaryFolder folder;  // logs and settings stay out of the tree
    std::shared_ptr<sim::SimulatedFrame> frame;
    std::atomic<bool> stop{false};
    std::vector<int> codes;
    std::vector<uint8_t> oldMaster, oldSlave;
};

// A solve of the factory frame's targets as its unnoisy finger gives them.
struct Solved {
    TouchMapper mapper;
    records::StClbInfo block;
};

inline Solved solveFactoryFrame(sim::Fingers& fingers)
{
    CalibInput16 in;
    in.width = kWidth;
    in.height = kHeight;
    const auto targets = screenPoints16(kWidth, kHeight);
    for (int i = 0; i < 16; ++i) {
        const ScreenPoint p = targets[static_cast<size_t>(i)];
        in.oneDLeft[static_cast<size_t>(i)] = static_cast<int32_t>(std::lround(*fingers.exactPosition(sim::Side::Left, p.x, p.y)));
        in.oneDRight[static_cast<size_t>(mirror16(i))] =
            static_cast<int32_t>(std::lround(*fingers.exactPosition(sim::Side::Right, p.x, p.y)));
    }
    CalibSolver solver(0);
    EXPECT_EQ(solver.Solve16(in), SolveStatus::Ok);
    return {solver.mapper(), solver.block()};
}

// The evaluation and storage step of a run, on the fixture's frame.
class StoreFixture : public RunTest {
protected:
    StoreResult store(const Solved& s, StoreSteps steps = {})
    {
        auto images = makeDeviceFrameImages();
        return evaluateAndStore(s.mapper, s.block, kWidth, kHeight, 0, *images, steps);
    }
};

} // namespace tovrin::calib::test
