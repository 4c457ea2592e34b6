#pragma once
// Raw reports for the simulator tests, built byte by byte the way the frame's
// command table lays them out, so a test does not lean on the simulator's own
// decoding.

#include "device/Transport.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tovrin::sim::test {

using Report = std::array<uint8_t, device::kReportSize>;

// Output report: 3, code, payload, zeros.
inline Report command(uint8_t code, std::initializer_list<uint8_t> payload = {})
{
    Report r{};
    r[0] = 3;
    r[1] = code;
    size_t i = 2;
    for (uint8_t b : payload)
        r[i++] = b;
    return r;
}

inline uint16_t u16At(const Report& r, size_t at)
{
    return static_cast<uint16_t>(r[at] | (r[at + 1] << 8));
}

inline uint32_t u32At(const Report& r, size_t at)
{
    return static_cast<uint32_t>(r[at]) | (static_cast<uint32_t>(r[at + 1]) << 8) |
           (static_cast<uint32_t>(r[at + 2]) << 16) | (static_cast<uint32_t>(r[at + 3]) << 24);
}

struct Answer {
    device::IoResult write = device::IoResult::Failed;
    device::IoResult read = device::IoResult::Failed;
    Report reply{};
};

// A blank (uncalibrated) frame with an open transport.
class SimFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = std::make_shared<SimulatedFrame>();
        link = makeSimTransport(frame);
        ASSERT_TRUE(link->open(pid));
    }

    Answer send(const Report& out, uint32_t waitMs = 3000)
    {
        Answer a;
        a.write = link->write(out.data(), waitMs);
        a.read = link->read(a.reply.data(), waitMs);
        return a;
    }

    // Sends and expects a done reply matching the command.
    Report done(const Report& out)
    {
        Answer a = send(out);
        EXPECT_EQ(a.write, device::IoResult::Ok);
        EXPECT_EQ(a.read, device::IoResult::Ok);
        EXPECT_EQ(a.reply[1], out[1] & 0x3F);
        EXPECT_EQ(a.reply[2], 0x22) << "command 0x" << std::hex << int(out[1]);
        return a.reply;
    }

    uint8_t statusOf(const Report& out)
    {
        Answer a = send(out);
        EXPECT_EQ(a.read, device::IoResult::Ok);
        return a.reply[2];
    }

    // The open handle died with the frame: no transfer, check says gone.
    void expectHandleDead()
    {
        Report r{};
        EXPECT_EQ(link->write(command(48).data(), 2000), device::IoResult::NotConnected);
        EXPECT_EQ(link->read(r.data(), 2000), device::IoResult::NotConnected);
        EXPECT_EQ(link->check(pid), device::kCheckGone);
    }

    // Nothing to open, and nothing left open.
    void expectNoFrame()
    {
        EXPECT_FALSE(link->open(pid));
        EXPECT_EQ(pid, device::kNoProductId);
        EXPECT_FALSE(link->isOpen());
    }

    std::shared_ptr<SimulatedFrame> frame;
    std::shared_ptr<device::Transport> link;
    uint16_t pid = 0;  // what the last open or check gave
};

// Marks a unit's calibration record valid (validity word at 0x11000).
inline void markCalibrated(SimulatedFrame& frame, Unit unit)
{
    const std::array<uint8_t, 4> valid{0x46, 0x49, 0x57, 0x46};
    frame.setFlash(unit, 0x11000, valid);
}

// Codes of one unit, from the command table.
struct UnitCodes {
    const char* name;
    Unit unit;
    Unit other;
    uint8_t regWrite, regRead, regReadOne, i2cWrite, i2cRead, flashWrite, flashRead, erase;
    uint8_t searchLine, setLine, lineRange, zones, exposure, lineData, dlFirmware, dlSecond;
};

inline const UnitCodes kMasterCodes{"Master", Unit::Master, Unit::Slave, 4, 5, 6, 7, 8, 9, 10, 13,
                                    17, 18, 19, 20, 42, 0, 47, 46};
inline const UnitCodes kSlaveCodes{"Slave", Unit::Slave, Unit::Master, 23, 24, 25, 26, 27, 28, 29, 32,
                                   36, 37, 38, 39, 43, 1, 31, 52};

inline void PrintTo(const UnitCodes& codes, std::ostream* os)
{
    *os << codes.name;
}

inline std::string unitName(const ::testing::TestParamInfo<UnitCodes>& info)
{
    return info.param.name;
}

// The commands of one unit, run for each (instantiated in SimCommandTest.cpp).
class SimUnitCommands : public SimFixture, public ::testing::WithParamInterface<UnitCodes> {};

} // namespace tovrin::sim::test
