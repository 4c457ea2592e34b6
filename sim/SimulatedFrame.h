#pragma once
// The simulated frame: both camera units of the touch frame, modelled closely
// enough that the tool cannot tell it from the real one through its 64-byte
// reports. It is built like a device driver, from parts (FrameCore.h lists
// them: memories, command protocol, USB life, boot loader, fault plan,
// optics, fingers, keys, leveling firmware); this object wires them, owns
// the one lock around them, and offers:
//
//   - the report-level interface the transports use (SimTransport.h, or a
//     bridge to a virtual HID device): open a handle, check it, write an
//     output report, take the next input report, fetch feature report 7;
//   - backdoors for tests and for setting up --simulate: flash, registers,
//     the scene and its canned answers, fingers and keys, status, counters,
//     the boot loader's downloads, the flash file;
//   - the fault plan (FaultPlan.h): what is to go wrong, as data.
//
// A frame is built with both flashes erased (uncalibrated), plugged in,
// running its application with product ID 0x0055, in calibration mode, its
// cameras of the "typical" optics on a 1920 x 1080 screen.
//
// Thread safety: every public function may be called from any thread; the
// model is guarded by one mutex. The report side is allocation-free on the
// path of an ordinary command.

#include "device/Transport.h"
#include "sim/FaultPlan.h"
#include "sim/FrameTypes.h"
#include "sim/Optics.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::sim {

struct FrameCore;
struct SceneConfig;
class Fingers;
class KeyPanel;

class SimulatedFrame {
public:
    SimulatedFrame();
    ~SimulatedFrame();
    SimulatedFrame(const SimulatedFrame&) = delete;
    SimulatedFrame& operator=(const SimulatedFrame&) = delete;

    // ---- The report-level interface -------------------------------------------
    // A handle is the enumeration epoch it was opened in; it dies when the
    // frame is unplugged, vanishes or restarts. Results as device/Transport.h.
    bool openHandle(uint64_t& handle, uint16_t& productId);
    int checkHandle(uint64_t handle, uint16_t& productId);
    device::IoResult writeReport(uint64_t handle, const uint8_t* report);
    // Waits for the next input report: up to waitMs under the plan's real
    // timeouts, else a missing reply times out at once.
    device::IoResult readReport(uint64_t handle, uint8_t* report, uint32_t waitMs);
    // buffer[0] = 7 on entry; bytes 1 and 2 filled (pressed key's edge and number).
    bool featureReport(uint64_t handle, uint8_t* buffer);
    // A transport closed its handle: unsaved flash goes to its file.
    void handleClosed();

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
    // The USB serial number string the frame reports (empty: none).
    void setSerialNumber(std::string serial);
    std::string serialNumber() const;
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
    // What the cameras see comes from the optical scene (OpticalScene.h),
    // how the firmware answers from the picture (LevelingFirmware.h). The
    // setters below pin canned answers over it for tests, until the next
    // setScene().
    void setScene(const SceneConfig& config);
    SceneConfig scene() const;
    // Pixels of line (0..10) of a unit's image; line count is 9, or 11 on an
    // extended-frame device. Region A holds lines 0..count-2 at line * 640,
    // region B the last line at 0 (ordinary) or at 7168 (extended).
    void setLinePixels(Unit unit, int line, std::span<const uint8_t> pixels);
    std::vector<uint8_t> linePixels(Unit unit, int line) const;
    void setSearchLineResult(Unit unit, uint16_t startLine);
    uint16_t startLine(Unit unit) const;  // the unit's window (last SetLine, or its record)
    uint16_t exposureWord(Unit unit) const;
    void setLineRange(Unit unit, uint16_t startColumn, uint16_t endColumn);
    // Zones 0..6 positions in tens of columns, and the eight 3-bit codes.
    void setZones(Unit unit, std::array<uint8_t, 7> positions, std::array<uint8_t, 8> codes);
    void setExposure(Unit unit, uint16_t exposureWord);
    // The factory's last step: both units leveled on their scene, without
    // noise, and the result stored in their calibration records (start
    // line, exposure, START and END, zones), whatever else the records hold.
    void levelLikeTheFactory();

    // ---- Touch and keys ---------------------------------------------------
    void setTouchSpots(const TouchSpots& spots);  // installs a fixed source
    void setTouchSource(TouchSource source);
    // Without a source of its own the frame reports the fingers on its
    // screen (Fingers.h, through the optics of Optics.h); setTouchSource({})
    // returns to them.
    Fingers& fingers();
    bool touchArmed() const;
    TouchRequest lastTouchRequest() const;
    void setKeyState(uint8_t edge, uint8_t keyNumber);  // feature report 7
    // The printed shortcut keys (KeyPanel.h); in work mode a finger down
    // overrides setKeyState.
    KeyPanel& keyPanel();

    // ---- Status, mode and the kind of unit --------------------------------
    uint8_t mode() const;
    void setDeviceState(uint8_t state);
    // Replaces a unit's error word; std::nullopt returns to the derived word
    // (0x40 while the unit's calibration record is invalid, else 0).
    void setErrorWord(Unit unit, std::optional<uint32_t> word);
    // Extended-frame units: status byte 26 = 1, lenses of table B, 11-line
    // images, the settings record at 0x1A000. The units start again.
    void setExtendedFrame(bool extended);
    bool extendedFrame() const;
    // Answers given, in order, to the next GetStatus requests; after them the
    // frame answers from its state again.
    void queueStatusAnswers(std::vector<StatusAnswer> answers);

    // ---- The fault plan ------------------------------------------------------
    FaultPlan faults() const;
    void setFaults(const FaultPlan& plan);
    // Changes the plan under the frame's lock, e.g.
    //   frame.changeFaults([](FaultPlan& f) { f.link.answer = {0xFF, 1, 9}; });
    void changeFaults(const std::function<void(FaultPlan&)>& change);
    // Ends the link, firmware and boot loader faults (real timeouts stay as set).
    void clearFaults();

    // The same as one-line changes of the plan, for the callers written
    // before it (FaultSetters.cpp).
    void dropNextReplies(int count);
    void dropRepliesTo(int commandNumber, bool drop = true);
    void answerNextWithStatus(uint8_t status, int count = 1, int commandNumber = -1, int after = 0);
    void injectForeignReports(int count);
    void answerLate(int count = 1);
    void answerLateAtOutputReport(uint64_t n);
    void vanishAtOutputReport(uint64_t n);
    void vanishAtLineDataRequest(uint64_t n);
    void setReportLatency(std::chrono::microseconds latency);
    void setRealTimeouts(bool real);
    void refuseDownloadBlock(uint64_t nthFromNow);
    void unplugAtDownloadBlock(uint64_t nthFromNow);
    void setBootLoaderNeverReturns(bool never);
    void setBootLoaderMute(bool mute);
    using WorkModeFault = sim::WorkModeFault;
    void setWorkModeFault(WorkModeFault fault);

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

    // ---- Persistence ---------------------------------------------------------
    // Keeps both flashes in file (Master's 128 KB, then Slave's). Loads it
    // when it exists with the right size and returns true then; otherwise
    // the flash is kept as it is and saved there on the next change.
    bool attachFlashFile(const std::filesystem::path& file,
                         PersistPolicy policy = PersistPolicy::EveryChange);
    // Writes unsaved changes (atomic replace). True when nothing was left unsaved.
    bool flush();

private:
    std::unique_ptr<FrameCore> core_;
};

} // namespace tovrin::sim
