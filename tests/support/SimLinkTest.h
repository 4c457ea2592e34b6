#pragma once
// GoogleTest fixture: the device link open on a fresh simulated frame that
// is present and talking; blank flash unless prepare() writes some.

#include "device/Command.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/FrameLink.h"

#include <gtest/gtest.h>

#include <memory>

namespace tovrin::test {

class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        prepare(*frame);
        device::setTransport(sim::makeSimTransport(frame));
        ASSERT_TRUE(tovrin::test::openFrameLink());
    }
    void TearDown() override { device::setTransport(nullptr); }
    // The frame as it is before the link opens it.
    virtual void prepare(sim::SimulatedFrame&) {}

    std::shared_ptr<sim::SimulatedFrame> frame;
};

} // namespace tovrin::test
