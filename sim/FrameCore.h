#pragma once
// The inside of the simulated frame: its parts, the state the frame's
// firmware keeps besides its memories, and the few steps that touch
// several parts at once (power-up, a record written, the restart into the
// boot loader or the application). The frame object (SimulatedFrame.h)
// owns one core and the lock around it; the USB life (UsbLife.h) and the
// command protocol (CommandProtocol.h) work on it with that lock held.
//
//   memory     MemoryBank.h      flash with the NOR rules, FPGA and sensor registers
//   loader     BootLoader.h      what arrived on the download channel
//   scene      OpticalScene.h    what the cameras see
//   leveling   LevelingFirmware.h the firmware that looks at the picture
//   fingers    Fingers.h         the finger in front of the screen, through Optics.h
//   keys       KeyPanel.h        the printed shortcut keys
//   faults     FaultPlan.h       what is to go wrong
//   usb        UsbLife.h         presence, handles, the input queue
//   file       FlashFile.h       flash kept between runs

#include "sim/BootLoader.h"
#include "sim/FaultPlan.h"
#include "sim/Fingers.h"
#include "sim/FlashFile.h"
#include "sim/FrameTypes.h"
#include "sim/KeyPanel.h"
#include "sim/LevelingFirmware.h"
#include "sim/MemoryBank.h"
#include "sim/OpticalScene.h"
#include "sim/UsbLife.h"

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tovrin::sim {

// The packed stream of the line last asked for with a header request.
struct PackedLine {
    std::array<uint8_t, 640> stream{};
    int length = 0;
};

// What the firmware keeps besides its memories.
struct FirmwareState {
    bool bootLoader = false;  // the boot loader runs (product ID 0x0042)
    uint8_t mode = kModeCalibration;
    uint8_t deviceState = 3;
    std::array<std::optional<uint32_t>, 2> errorWord{};
    bool extended = false;  // extended-frame units: lens table B, 11 lines, settings record
    std::vector<StatusAnswer> statusAnswers;
    size_t statusAnswerNext = 0;
    TouchSource touchSource;
    TouchRequest lastTouchRequest{};
    bool touchArmed = false;
    uint8_t keyEdge = 0;
    uint8_t keyNumber = 0;
    std::array<PackedLine, 2> packed{};
};

struct Counters {
    uint64_t outputReports = 0;
    uint64_t inputReports = 0;
    std::array<uint64_t, 64> commands{};
    uint8_t lastCode = 0;
};

struct FrameCore {
    FrameCore();
    ~FrameCore();
    FrameCore(const FrameCore&) = delete;
    FrameCore& operator=(const FrameCore&) = delete;

    std::mutex mutex;
    std::condition_variable inputArrived;

    std::array<MemoryBank, 2> memory;
    BootLoader loader;
    OpticalScene scene;
    LevelingFirmware leveling{scene};
    std::unique_ptr<Fingers> fingers;
    std::unique_ptr<KeyPanel> keys;
    FaultPlan faults;  // its finger section lives with the fingers
    FirmwareState firmware;
    UsbLife usb;
    FlashFile file;
    std::vector<CommandObserver> observers;
    Counters counters;

    MemoryBank& bank(Unit u) { return memory[unitIndex(u)]; }
    const MemoryBank& bank(Unit u) const { return memory[unitIndex(u)]; }

    // ---- Flash as the firmware changes it --------------------------------
    // The NOR rules, and what the firmware does when a record it lives by
    // has been written.
    void program(Unit unit, uint32_t offset, const uint8_t* data, uint32_t count);
    void erase(Unit unit, uint32_t offset);
    void flashChanged();

    bool recordValid(Unit unit) const;
    bool bothCalibrated() const;
    bool applicationBootable() const;

    // ---- Life ---------------------------------------------------------------
    // The firmware starts (power-up or restart): the boot loader, or the
    // application in the mode its records allow, leveled as they say.
    void startFirmware(bool bootLoader, std::chrono::steady_clock::time_point visibleFrom);
    // Restart after a Reboot or a test's reenumerate: open handles die.
    void reenumerate(bool bootLoader);
    // The units' leveling firmware reads its records.
    void powerUpUnits();
    // Bit 6 of sensor register 0x12 says where the unit's band lies; it is
    // set when the sensor is fitted (a changed scene is another mounting).
    void fitSensors();
    // Into a work mode: what leveling measured goes into the records.
    void storeLeveling();
    // The plan changed: the parts take their sections.
    void faultsChanged();
    // The extended-frame choice changed.
    void unitKindChanged();

    int lensFamily() const { return firmware.extended ? 1 : 0; }

private:
    void recordWritten(Unit unit, uint32_t offset, uint32_t count);
};

} // namespace tovrin::sim
