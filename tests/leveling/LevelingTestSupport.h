#pragma once
// Shared set-up of the leveling tests: a factory-fresh simulated frame behind
// the device link, the leveling state of a fresh process, waits that take no
// time, a folder of its own for Tovrin.ini, and a recorder of the codes a
// worker thread reports.

#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "leveling/core/LevelingState.h"
#include "shell/Clock.h"
#include "shell/Language.h"
#include "sim/FactoryFrame.h"
#include "sim/OpticalScene.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QString>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tovrin::leveling::test {

using sim::Unit;

// Writes Tovrin.ini in the current folder.
inline void writeIni(const QString& text)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), text.toUtf8()));
}

// The codes a worker reports, as they come (from the worker's thread).
class CodeRecorder {
public:
    void operator()(int code)
    {
        std::lock_guard lock(m_mutex);
        m_codes.push_back(code);
        m_changed.notify_all();
        if (onCode)
            onCode(code);
    }

    std::vector<int> codes() const
    {
        std::lock_guard lock(m_mutex);
        return m_codes;
    }

    bool has(int code) const
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_codes.begin(), m_codes.end(), code) != m_codes.end();
    }

    // Waits until code has come (or the limit passed, which only guards a broken run).
    bool waitFor(int code, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            return std::find(m_codes.begin(), m_codes.end(), code) != m_codes.end();
        });
    }

    // Runs in the worker's thread for each code, after it was recorded.
    std::function<void(int)> onCode;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_codes;
};

// Waits for a thread to end (guarding a broken run only).
inline bool waitEnded(QThread& thread) { return thread.wait(QDeadlineTimer(20000)); }

// A frame as the factory leaves it, with the link open and answering.
class SimLevelingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        shell::LoadTexts();
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        prepare(*frame);
        device::setTransport(sim::makeSimTransport(frame));
        ASSERT_TRUE(tovrin::test::openFrameLink());
        device::ExtendedFrameDevice = frame->extendedFrame() ? 1 : 0;
        device::SelectedUnitIsSlave = 0;
        resetLevelingState();
        setSleeper([](int) { std::this_thread::yield(); });
    }

    void TearDown() override
    {
        setSleeper({});
        device::setTransport(nullptr);
        device::g_bDevExist = 0;
        device::g_isDeviceCommunicate = 0;
        device::ExtendedFrameDevice = 0;
    }

    // The frame before the link opens it.
    virtual void prepare(sim::SimulatedFrame&) {}

    void changeScene(const std::function<void(sim::SceneConfig&)>& change)
    {
        sim::SceneConfig c = frame->scene();
        change(c);
        frame->setScene(c);
    }

    // The records leveling may touch, both units: calibration, screen and
    // leveling settings sectors.
    std::vector<uint8_t> records() const
    {
        std::vector<uint8_t> all;
        for (Unit u : {Unit::Master, Unit::Slave})
            for (uint32_t at : {0x11000u, 0x18000u, 0x1A000u}) {
                const auto bytes = frame->readFlash(u, at, 4096);
                all.insert(all.end(), bytes.begin(), bytes.end());
            }
        return all;
    }

    tovrin::test::InTemporaryFolder folder;
    std::shared_ptr<sim::SimulatedFrame> frame;
};

} // namespace tovrin::leveling::test
