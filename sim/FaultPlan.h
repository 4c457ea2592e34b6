#pragma once
// Everything that is to go wrong with the simulated frame, as data. The
// parts of the frame consult the plan as they work (the USB life before a
// report goes out, the command protocol before it executes a command, the
// boot loader at each download block, the leveling firmware at each of its
// commands, the cameras at each touch report); counted faults are used up
// as they strike. Tests build a plan, or change the frame's with
// SimulatedFrame::changeFaults(); TOVRIN_SIM_FAULTS items become plans too
// (parseFaultItem).
//
// Counters named "...In" count down: n > 0 strikes at the n-th event from
// when it was set (1 = the next), 0 never.

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <string_view>

namespace tovrin::sim {

// Replies replaced by a status: the next `count` commands (of number
// `command`, or any when -1) after the first `after` of them are answered
// with `status` instead of being executed (0xFF: refused).
struct StatusFault {
    uint8_t status = 0xFF;
    int count = 0;
    int command = -1;
    int after = 0;

    bool operator==(const StatusFault&) const = default;
};

struct LinkFaults {
    int dropNext = 0;                 // the next N commands get no reply
    std::bitset<64> dropCommands;     // commands with these numbers get no reply
    StatusFault answer;               // replies replaced by a status
    int foreignBefore = 0;            // the next reply comes after N reports of another command
    int late = 0;                     // the next N replies arrive only after the host gave up
    uint64_t lateAtReportIn = 0;      // the reply to this output report arrives late
    uint64_t vanishAtReportIn = 0;    // pulled out at this output report
    uint64_t vanishAtLineRequestIn = 0;  // pulled out at this line-data request
    uint64_t vanishAtFeatureIn = 0;   // pulled out at this feature report request
    std::chrono::microseconds latency{0};  // per report, out, in and feature, on a USB frame clock
    bool realTimeouts = false;        // a missing reply costs the host's whole wait

    bool operator==(const LinkFaults&) const = default;
};

// What the application does with a switch into a work mode (0x22, 0xEE).
enum class WorkModeFault {
    Off,     // as it should
    Refuse,  // refused (status 0xFF); the frame stays in its mode
    Mute,    // never answered; the frame stays in its mode
};

struct FirmwareFaults {
    WorkModeFault workMode = WorkModeFault::Off;

    bool operator==(const FirmwareFaults&) const = default;
};

struct BootLoaderFaults {
    uint64_t refuseBlockIn = 0;  // this download block is refused
    uint64_t vanishAtBlockIn = 0;  // the frame is pulled out at this block
    bool neverReturns = false;   // after a restart into the boot loader the frame never shows up
    bool mute = false;           // the boot loader enumerates but never answers
    bool newApplicationDead = false;  // an application the boot loader received never starts

    bool operator==(const BootLoaderFaults&) const = default;
};

// The leveling firmware and the sensor path (index 0 Master, 1 Slave).
struct LevelingFaults {
    std::array<bool, 2> failSetLine{};
    std::array<bool, 2> failLineRange{};
    std::array<bool, 2> failZones{};
    std::array<bool, 2> failExposure{};
    std::array<uint8_t, 2> brokenDataBits{};  // data lines between sensor and FPGA stuck at 0
    bool longStream = false;                  // packed headers of the Master report 700 bytes

    bool operator==(const LevelingFaults&) const = default;
};

struct FingerFaults {
    bool blindLeft = false;   // the left camera never sees a finger
    bool blindRight = false;
    bool stuck = false;       // a finger once down never lifts
    bool edgeSpots = false;   // a touch comes with spots at 0 and 0xFFFF on both cameras
    bool reflection = false;  // the left camera always sees a reflection near its far end

    bool operator==(const FingerFaults&) const = default;
};

struct FaultPlan {
    LinkFaults link;
    FirmwareFaults firmware;
    BootLoaderFaults bootLoader;
    LevelingFaults leveling;
    FingerFaults fingers;

    bool operator==(const FaultPlan&) const = default;
};

// Adds one TOVRIN_SIM_FAULTS item that is a fault to the plan; false when
// the item is not one (it may still be a set-up item, SimEnvironment.h).
bool parseFaultItem(FaultPlan& plan, std::string_view item);

// Counts a countdown down by one event; true when the fault strikes now.
inline bool strikes(uint64_t& in)
{
    return in != 0 && --in == 0;
}

} // namespace tovrin::sim
