#pragma once
// The simulated frame: both camera units of the touch frame, modelled closely
// enough that the tool cannot tell it from the real one through its 64-byte
// reports. The tool reaches it only through the Transport of SimTransport.h;
// everything else in this class (fault injection, presence, backdoors to
// flash, registers and counters) is for tests and for setting up --simulate.
//
// What the model holds, per unit:
//   - 128 KB of NOR flash: an erase sets a 4096-byte sector to 0xFF, a
//     program can only clear bits (new = old & data), so data written over
//     unerased flash reads back wrong, exactly as on the frame;
//   - 64 KB of FPGA byte registers and 256 sensor (I2C) registers;
//   - a line image of up to 11 lines of 640 pixels;
//   - the values the leveling and touch commands answer with;
//   - what the boot loader has received on its download channel (BootLoader.h).
// And for the frame as a whole: presence, product ID, application or boot
// loader, working mode, status answers, the key feature report.
//
// Which firmware answers what:
//   application: every command of the command table except the download
//     channel (47/31, 46/52), which is refused (status 0xFF);
//   boot loader (product ID 0x0042): flash read/program/erase (the update
//     reads and rewrites the image information there), the download channel,
//     GetStatus (device state 1, both error words 0x01 "firmware not ready")
//     and Reboot; everything else is refused.
//   Unknown command numbers are refused in both.
//
// A command that the model executes is answered with status 0x22. Faults
// set from tests replace that answer (see the fault section); a command
// whose answer is replaced is not executed.
//
// Thread safety: every public function may be called from any thread; the
// model is guarded by one mutex. The Transport side is allocation-free on the
// path of an ordinary command.

#include "device/Transport.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::sim {

class OpticalScene;
struct SceneConfig;

enum class Unit : int { Master = 0, Slave = 1 };

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
constexpr uint32_t kCalibrationValidWord = 0x46574946;  // "FIWF"
constexpr uint32_t kScreenValidWord = 0x41434946;       // "FICA"

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

class SimTransport;
class BootLoader;
class Fingers;
class KeyPanel;

// One unit's memories as a command observer sees them (see addCommandObserver).
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

class SimulatedFrame {
public:
    // A frame with both flashes erased (uncalibrated), plugged in, running its
    // application with product ID 0x0055, in calibration mode.
    SimulatedFrame();
    ~SimulatedFrame();
    SimulatedFrame(const SimulatedFrame&) = delete;
    SimulatedFrame& operator=(const SimulatedFrame&) = delete;

    // ---- Presence and identity -------------------------------------------
    void plug();
    void unplug();  // open handles die; open() fails until plug()
    bool isPlugged() const;
    // A device with the right IDs but without the vendor collection:
    // open() finds nothing and leaves nothing open, and the check of a handle
    // already open answers "wrong collection".
    void setVendorCollectionPresent(bool present);
    // Product ID shown while the application runs (0x0055, 0x0066, 0x4B55, 0x4B66).
    void setApplicationProductId(uint16_t pid);
    // Product ID currently shown (0x0042 while the boot loader runs).
    uint16_t productId() const;
    bool inBootLoader() const;
    // Makes the frame restart into its boot loader or application at once, as
    // after a Reboot command (open handles die).
    void reenumerate(bool bootLoader);
    // How long the frame is invisible after a Reboot (0 by default).
    void setReenumerationDelay(std::chrono::milliseconds delay);

    // ---- Flash (backdoor) ------------------------------------------------
    std::vector<uint8_t> readFlash(Unit unit, uint32_t offset, uint32_t count) const;
    uint8_t flashByte(Unit unit, uint32_t offset) const;
    // Stores bytes as they are, without the NOR rules (test set-up).
    void setFlash(Unit unit, uint32_t offset, std::span<const uint8_t> bytes);
    // The NOR rules, as the frame applies them to commands 9/28 and 13/32.
    void programFlash(Unit unit, uint32_t offset, std::span<const uint8_t> bytes);
    void eraseSector(Unit unit, uint32_t offset);
    void eraseAllFlash();
    bool calibrationRecordValid(Unit unit) const;

    // ---- Registers (backdoor) ---------------------------------------------
    uint8_t fpgaRegister(Unit unit, uint16_t address) const;
    void setFpgaRegister(Unit unit, uint16_t address, uint8_t value);
    uint8_t sensorRegister(Unit unit, uint8_t address) const;
    void setSensorRegister(Unit unit, uint8_t address, uint8_t value);

    // ---- Line images and leveling answers ---------------------------------
    // What the cameras see and how the leveling firmware answers comes from
    // the optical scene (OpticalScene.h). The setters below pin canned
    // answers over it for tests, until the next setScene().
    void setScene(const SceneConfig& config);
    SceneConfig scene() const;
    // Pixels of line (0..10) of a unit's image; line count is 9, or 11 on an
    // extended-frame device. Region A holds lines 0..count-2 at line * 640,
    // region B the last line at 0 (ordinary) or at 7168 (extended).
    void setLinePixels(Unit unit, int line, std::span<const uint8_t> pixels);
    std::vector<uint8_t> linePixels(Unit unit, int line) const;
    void setSearchLineResult(Unit unit, uint16_t startLine);
    uint16_t startLine(Unit unit) const;  // last SetLine (or the search result)
    void setLineRange(Unit unit, uint16_t startColumn, uint16_t endColumn);
    // Zones 0..6 positions in tens of columns, and the eight 3-bit codes.
    void setZones(Unit unit, std::array<uint8_t, 7> positions, std::array<uint8_t, 8> codes);
    void setExposure(Unit unit, uint16_t exposureWord);

    // ---- Touch and keys ---------------------------------------------------
    void setTouchSpots(const TouchSpots& spots);  // installs a fixed source
    void setTouchSource(TouchSource source);
    // Without a source of its own the frame reports the fingers on its
    // screen (Fingers.h); setTouchSource({}) returns to them.
    Fingers& fingers();
    bool touchArmed() const;
    TouchRequest lastTouchRequest() const;
    void setKeyState(uint8_t edge, uint8_t keyNumber);  // feature report 7
    // The printed shortcut keys (KeyPanel.h); in work mode a finger down
    // overrides setKeyState.
    KeyPanel& keyPanel();

    // ---- Status and mode --------------------------------------------------
    uint8_t mode() const;
    void setDeviceState(uint8_t state);
    // Replaces a unit's error word; std::nullopt returns to the derived word
    // (0x40 while the unit's calibration record is invalid, else 0).
    void setErrorWord(Unit unit, std::optional<uint32_t> word);
    void setExtendedFrame(bool extended);
    bool extendedFrame() const;
    // Answers given, in order, to the next GetStatus requests; after them the
    // frame answers from its state again.
    void queueStatusAnswers(std::vector<StatusAnswer> answers);

    // ---- Faults -------------------------------------------------------------
    // The next count commands get no reply (the host's read times out).
    void dropNextReplies(int count);
    // Commands with this number (code & 0x3F) get no reply until cleared.
    void dropRepliesTo(int commandNumber, bool drop = true);
    // The next count commands (any number, or only commandNumber) are answered
    // with this status instead of being executed; 0xFF is a refusal. The
    // first `after` matching commands are still executed normally.
    void answerNextWithStatus(uint8_t status, int count = 1, int commandNumber = -1, int after = 0);
    // The next reply is preceded by count reports of another command (status 0x22).
    void injectForeignReports(int count);
    // The next count commands are executed, but their replies arrive late:
    // only once the host's read has timed out, so the host finds the reply
    // waiting when it reads again.
    void answerLate(int count = 1);
    // The n-th output report from now (1 = the next) finds the frame gone:
    // the write fails NotConnected and the frame stays unplugged until plug().
    void vanishAtOutputReport(uint64_t n);
    // The same at the n-th line-data request from now (1 = the next), so
    // that the frame goes in the middle of an image.
    void vanishAtLineDataRequest(uint64_t n);
    // Delivery time of each report, out and in, on a USB frame clock
    // (1 ms models a full-speed interrupt endpoint). 0 by default.
    void setReportLatency(std::chrono::microseconds latency);
    // false (default): a read that would wait for a reply that never comes
    // returns TimedOut at once. true: it waits the caller's waitMs.
    void setRealTimeouts(bool real);
    // Every switch into a work mode (0x22, 0xEE) is refused (status 0xFF) or
    // gets no reply, and the frame stays in its mode; Off answers them again.
    enum class WorkModeFault { Off, Refuse, Mute };
    void setWorkModeFault(WorkModeFault fault);
    void clearFaults();

    // ---- Added behaviour ----------------------------------------------------
    void addCommandObserver(CommandObserver observer);

    // ---- Counters -----------------------------------------------------------
    uint64_t outputReports() const;
    uint64_t inputReports() const;
    uint64_t commandsSeen(int commandNumber) const;
    uint8_t lastCode() const;
    size_t pendingInputReports() const;

    // ---- Boot loader downloads ---------------------------------------------
    // Finished images of one unit and port, oldest first.
    std::vector<DownloadedImage> downloadedImages(Unit unit, int port) const;
    // The image being collected (empty when none).
    DownloadedImage downloadInProgress(Unit unit, int port) const;
    // The program a unit's boot loader keeps for a port (sim/BootLoader.h):
    // the last complete image, whole 62-byte blocks.
    std::vector<uint8_t> bootProgram(Unit unit, int port) const;
    // Whether the application would start now (else the frame stays in its
    // boot loader when it restarts).
    bool applicationBootable() const;
    // Boot loader faults: the n-th download block from now is refused, or
    // pulls the frame out; after a restart into the boot loader the frame
    // never shows up again; the boot loader enumerates but never answers.
    void refuseDownloadBlock(uint64_t nthFromNow);
    void unplugAtDownloadBlock(uint64_t nthFromNow);
    void setBootLoaderNeverReturns(bool never);
    void setBootLoaderMute(bool mute);

    // ---- Persistence ---------------------------------------------------------
    // Keeps both flashes in file (Master's 128 KB, then Slave's). Loads it
    // when it exists with the right size and returns true then; otherwise
    // the flash is kept as it is and saved there on the next change.
    bool attachFlashFile(const std::filesystem::path& file,
                         PersistPolicy policy = PersistPolicy::EveryChange);
    // Writes unsaved changes (atomic replace). True when nothing was left unsaved.
    bool flush();

private:
    friend class SimTransport;
    struct UnitState;
    struct Report {
        std::array<uint8_t, device::kReportSize> bytes;
    };
    static constexpr size_t kQueueCapacity = 256;
    using Lock = std::unique_lock<std::mutex>;

    // Transport side. A handle is the enumeration epoch it was opened in.
    bool openHandle(uint64_t& handle, uint16_t& productId);
    int checkHandle(uint64_t handle, uint16_t& productId);
    device::IoResult writeReport(uint64_t handle, const uint8_t* report);
    device::IoResult readReport(uint64_t handle, uint8_t* report, uint32_t waitMs);
    bool featureReport(uint64_t handle, uint8_t* buffer);
    void handleClosed();

    // One field read or written under the model's lock.
    template <class T>
    T lockedGet(const T& field) const;
    template <class T, class V>
    void lockedSet(T& field, V&& value);

    bool handleAliveLocked(uint64_t handle) const;
    bool visibleLocked() const;
    uint16_t productIdLocked() const;
    void killHandlesLocked();
    void reenumerateLocked(bool bootLoader);
    void startFirmwareLocked(bool bootLoader, std::chrono::steady_clock::time_point visibleFrom);
    std::chrono::steady_clock::time_point takeSlotLocked();
    bool awaitSlotLocked(Lock& lock, uint64_t handle);
    void serveCommandLocked(const uint8_t* report);
    bool executeLocked(uint8_t code, const uint8_t* payload, uint8_t* reply);
    bool executeBootLoaderLocked(uint8_t code, const uint8_t* payload, uint8_t* reply);
    bool flashCommandLocked(Unit unit, int op, const uint8_t* payload, uint8_t* reply);
    bool downloadBlockLocked(Unit unit, int port, uint8_t flags, const uint8_t* payload);
    bool lineDataLocked(Unit unit, uint8_t flags, const uint8_t* payload, uint8_t* reply);
    void statusLocked(uint8_t* reply);
    uint8_t* pushReportLocked();
    void programLocked(Unit unit, uint32_t offset, const uint8_t* data, uint32_t count);
    void eraseLocked(Unit unit, uint32_t offset);
    void flashChangedLocked();
    bool saveLocked();
    bool unsavedLocked() const { return dirty_ && !flashFile_.empty(); }
    bool recordValidLocked(Unit unit) const;
    bool applicationBootableLocked() const;
    bool bothCalibratedLocked() const;
    void powerUpSceneLocked();
    void fitSensorsLocked();
    UnitState& unit(Unit u) { return *units_[static_cast<int>(u)]; }
    const UnitState& unit(Unit u) const { return *units_[static_cast<int>(u)]; }

    mutable std::mutex mutex_;
    std::condition_variable inputArrived_;
    std::array<std::unique_ptr<UnitState>, 2> units_;
    std::unique_ptr<BootLoader> loader_;
    std::unique_ptr<OpticalScene> scene_;

    // Presence and identity.
    bool plugged_ = true;
    bool vendorCollection_ = true;
    bool bootLoader_ = false;
    uint16_t applicationPid_ = 0x0055;
    uint64_t epoch_ = 1;  // handles opened in an older epoch are dead
    std::chrono::milliseconds reenumerationDelay_{0};
    std::chrono::steady_clock::time_point visibleFrom_{};
    int pendingReboot_ = 0;  // 0 none, 1 boot loader, 2 application: after the reply is read

    // Input reports waiting for the host.
    std::array<Report, kQueueCapacity> queue_{};
    size_t queueHead_ = 0;
    size_t queueSize_ = 0;

    // Status and mode.
    uint8_t mode_ = kModeCalibration;
    uint8_t deviceState_ = 3;
    std::array<std::optional<uint32_t>, 2> errorWord_{};
    bool extended_ = false;
    std::vector<StatusAnswer> statusAnswers_;
    size_t statusAnswerNext_ = 0;

    // Touch and keys.
    TouchSource touchSource_;
    std::unique_ptr<Fingers> fingers_;
    TouchRequest lastTouchRequest_{};
    bool touchArmed_ = false;
    uint8_t keyEdge_ = 0;
    uint8_t keyNumber_ = 0;
    std::unique_ptr<KeyPanel> keyPanel_;

    // Faults.
    int dropNext_ = 0;
    uint64_t dropCommands_ = 0;  // bit n: command number n gets no reply
    int statusNextCount_ = 0;
    int statusNextCommand_ = -1;
    int statusNextAfter_ = 0;
    uint8_t statusNextValue_ = kStatusRefused;
    int foreignNext_ = 0;
    int lateNext_ = 0;
    std::optional<Report> late_;  // a reply held back until the host gives up
    uint64_t vanishAt_ = 0;  // output report count at which the frame vanishes; 0 never
    uint64_t vanishAtLineRequest_ = 0;  // line-data requests left before it vanishes; 0 never
    std::chrono::microseconds latency_{0};
    std::chrono::steady_clock::time_point lastSlot_{};
    bool realTimeouts_ = false;
    WorkModeFault workModeFault_ = WorkModeFault::Off;

    std::vector<CommandObserver> observers_;

    // Counters.
    uint64_t outputReports_ = 0;
    uint64_t inputReports_ = 0;
    std::array<uint64_t, 64> commandCounts_{};
    uint8_t lastCode_ = 0;

    // Persistence.
    std::filesystem::path flashFile_;
    PersistPolicy persistPolicy_ = PersistPolicy::EveryChange;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastSave_{};
};

} // namespace tovrin::sim
