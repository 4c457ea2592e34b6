#pragma once
// What every part of the simulated frame shares: the units, the sizes of
// their memories, the flash places the frame's own firmware looks at, the
// mode and status codes, and the small value types that travel between the
// parts and the tests.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tovrin::sim {

enum class Unit : int { Master = 0, Slave = 1 };

constexpr size_t unitIndex(Unit u) { return u == Unit::Slave ? 1 : 0; }

constexpr uint32_t kFlashSize = 0x20000;
constexpr uint32_t kFlashSectorSize = 4096;
constexpr uint32_t kRegisterCount = 0x10000;
constexpr uint32_t kSensorRegisterCount = 256;
constexpr int kLinePixels = 640;
constexpr int kMaxLines = 11;
constexpr int kOrdinaryLines = 9;

// Flash places the frame's own firmware looks at.
constexpr uint32_t kImageInfoOffset = 0x10000;
constexpr uint32_t kCalibrationRecordOffset = 0x11000;
constexpr uint32_t kVersionRecordOffset = 0x13000;
constexpr uint32_t kScreenRecordOffset = 0x18000;
constexpr uint32_t kUnitSettingsOffset = 0x1A000;  // extended-frame units: "TEST" record
constexpr uint32_t kCalibrationValidWord = 0x46574946;  // "FIWF"
constexpr uint32_t kScreenValidWord = 0x41434946;       // "FICA"
constexpr uint32_t kCalibrationRecordSize = 1354;

// Working mode codes of SwitchMode.
constexpr uint8_t kModeCalibration = 0xFF;
constexpr uint8_t kModeWork = 0x22;
constexpr uint8_t kModeWorkAfterLeveling = 0xEE;
constexpr uint8_t kModeFpgaReset = 0xBB;
constexpr uint8_t kModeReset = 0xCC;

// Reply status bytes.
constexpr uint8_t kStatusDone = 0x22;
constexpr uint8_t kStatusRefused = 0xFF;

// The 0x40 bit of an error word's lowest byte: not leveled or not calibrated.
constexpr uint32_t kErrorNotCalibrated = 0x40;
constexpr uint32_t kErrorFirmwareNotReady = 0x01;

// Download-channel ports.
constexpr int kPortFirmware = 0;     // port 0x4000, codes 47 / 31
constexpr int kPortSecondImage = 1;  // port 0x8000, codes 46 / 52

// One GetStatus answer as a test wants the frame to give it.
struct StatusAnswer {
    uint8_t deviceState = 3;
    uint32_t errorM = 0;
    uint32_t errorS = 0;
    bool extendedFrame = false;
};

// One spot a camera reports in ReadTouchPoints.
struct TouchSpot {
    uint16_t position = 0;
    uint16_t width = 0;
    uint8_t strength = 0;
};

// The spots both cameras see. Counts may exceed 5 (the frame reports its real
// count); only the first five spots travel in the reply.
struct TouchSpots {
    uint8_t masterCount = 0;
    std::array<TouchSpot, 5> master{};
    uint8_t slaveCount = 0;
    std::array<TouchSpot, 5> slave{};
};

// What the host sent with ReadTouchPoints.
struct TouchRequest {
    uint8_t request = 0;
    uint8_t pointIndex = 0;
    uint32_t screenPosition = 0;
    uint8_t release = 0;
};

// Turns a touch request into the spots of both cameras. Called with the
// model's lock held: it must not call back into the frame.
using TouchSource = std::function<TouchSpots(const TouchRequest&)>;

// An image the boot loader has received on its download channel. The
// reports carry no length, so every block counts as its full 62 bytes; the
// last block of an image may end in padding.
struct DownloadedImage {
    std::vector<uint8_t> data;
    int blocks = 0;
    bool startedWithFirstBlock = false;  // the first block carried flag 0x80
    bool complete = false;               // a block with flag 0x40 ended it
};

// How the flash file is kept up to date.
enum class PersistPolicy {
    EveryChange,  // saved after every erase or program
    Throttled,    // saved at most every 500 ms while changes come in; the rest
                  // at flush(), close of a transport, check() or destruction
};

// One unit's memories as a command observer sees them.
struct UnitMemory {
    std::span<uint8_t> flash;      // kFlashSize bytes
    std::span<uint8_t> registers;  // kRegisterCount FPGA registers
    std::span<uint8_t> sensor;     // kSensorRegisterCount sensor registers
};

// Behaviour that other parts of the simulation add to the frame (FPGA
// configuration, flash faults): called under the model's lock after every
// command the frame executed, with the code, the payload and both units'
// memories (Master first). It must not call back into the frame; it returns
// true when it changed flash, so that the change is kept like any other.
using CommandObserver = std::function<bool(uint8_t code, const uint8_t* payload, std::array<UnitMemory, 2> units)>;

} // namespace tovrin::sim
