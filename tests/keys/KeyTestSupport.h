#pragma once
// A simulated frame calibrated exactly for its own optics (1920 x 1080), with
// printed shortcut keys and the key settings files of a test, behind a
// recording link; and one key calibration run in the test's thread.

#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "keys/core/KeyCalibrationThread.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyLayout.h"
#include "records/CalibrationRecord.h"
#include "shell/Clock.h"
#include "sim/Fingers.h"
#include "sim/IdealCalibration.h"
#include "sim/KeyPanel.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/RecordingTransport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"
#include "KeyFrame.h"

#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace tovrin::keys::test {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

inline void writeFile(const char* name, const char* text)
{
    ASSERT_TRUE(tovrin::test::writeFile(QString::fromLatin1(name), text));
}

class CalibratedFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setSleeper([](int) { std::this_thread::yield(); });
        writeFile("Tovrin.ini", kThreeEdges);
        writeFile("Tovrin_Key.ini", kThreeCodes);
        install();
    }
    void TearDown() override
    {
        device::setTransport(nullptr);
        setSleeper({});
    }

    // A fresh frame: calibrated, keys printed, a finger without noise
    // following the targets.
    void install()
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeIdealCalibration(*frame, frame->fingers().optics(0));
        configuration = readKeyConfiguration();
        frame->keyPanel().printKeys(groupSizesByEdge(configuration));
        autoTouch(true);
        wire = std::make_shared<tovrin::test::RecordingTransport>(sim::makeSimTransport(frame));
        device::setTransport(wire);
        ASSERT_TRUE(tovrin::test::openInCalibrationMode());
        device::ExtendedFrameDevice = 0;
    }

    // One whole key calibration in this thread; the codes it sent, in order.
    std::vector<int> calibrate(const std::function<void(int)>& onCode = {}, int width = kWidth, int height = kHeight)
    {
        state.stop = false;
        KeyCalibrationJob job(layOutKeys(configuration, width, height), width, height, readKeyCodes(), state);
        if (targetLimit)
            job.setTargetLimit(*targetLimit, runClock);
        std::vector<int> codes;
        job.run([&](int code) {
            codes.push_back(code);
            if (code == keycode::kTargetReady)
                state.repaint = 0;
            if (onCode)
                onCode(code);
        });
        notTaken = job.targetNotTaken();
        return codes;
    }

    void autoTouch(bool on) { keys::test::autoTouch(*frame, on); }
    bool touchKey(int edge, int number) { return keys::test::touchKey(*frame, edge, number); }

    std::vector<uint8_t> record(sim::Unit unit) const { return frame->readFlash(unit, 0x11000, 1354); }
    records::CalInfo decoded(sim::Unit unit) const
    {
        const auto bytes = record(unit);
        return records::CalInfo::decode(std::span<const uint8_t, records::kCalInfoSize>(bytes.data(), bytes.size()));
    }

    tovrin::test::InTemporaryFolder folder;
    std::shared_ptr<sim::SimulatedFrame> frame;
    std::shared_ptr<tovrin::test::RecordingTransport> wire;
    KeyConfiguration configuration;
    KeyRunState state;
    // A time limit per target for calibrate(), on this clock; the target
    // that was not taken in time.
    std::optional<std::chrono::milliseconds> targetLimit;
    KeyRunClock runClock;
    std::optional<int> notTaken;
};

} // namespace tovrin::keys::test
