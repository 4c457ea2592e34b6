#include "sim/SimulatedFrame.h"

#include "sim/BootLoader.h"
#include "sim/Fingers.h"
#include "sim/FpgaConfiguration.h"
#include "sim/KeyPanel.h"
#include "sim/LineCodec.h"
#include "sim/OpticalScene.h"
#include "sim/SimBytes.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

namespace tovrin::sim {

using Clock = std::chrono::steady_clock;
using device::IoResult;

namespace {

constexpr uint8_t kCommandReportId = 3;
constexpr int kPayloadSize = device::kReportSize - 2;  // output bytes 2..63
constexpr int kReplyPayloadSize = device::kReportSize - 3;  // input bytes 3..63
constexpr uint16_t kCaptureRegister = 0x30;  // written 1 to latch a frame, reads 0 when done
constexpr int kRegionBExtendedBase = 7168;
constexpr auto kThrottledSaveInterval = std::chrono::milliseconds(500);

// Command numbers (code & 0x3F) of the frame's command table.
enum Command : int {
    kReadLineDataM = 0, kReadLineDataS = 1,
    kWriteRegisterM = 4, kWriteRegisterS = 23,
    kReadRegistersM = 5, kReadRegistersS = 24,
    kReadRegisterM = 6, kReadRegisterS = 25,
    kWriteSensorM = 7, kWriteSensorS = 26,
    kReadSensorM = 8, kReadSensorS = 27,
    kWriteFlashM = 9, kWriteFlashS = 28,
    kReadFlashM = 10, kReadFlashS = 29,
    kArmTouchData = 11,
    kEraseFlashM = 13, kEraseFlashS = 32,
    kSwitchMode = 14,
    kSearchLineM = 17, kSearchLineS = 36,
    kSetLineM = 18, kSetLineS = 37,
    kReadLineRangeM = 19, kReadLineRangeS = 38,
    kReadZonesM = 20, kReadZonesS = 39,
    kReadTouchPoints = 30,
    kDownloadFirmwareM = 47, kDownloadFirmwareS = 31,
    kReadExposureM = 42, kReadExposureS = 43,
    kDownloadSecondM = 46, kDownloadSecondS = 52,
    kGetStatus = 48,
    kReboot = 56,
};

constexpr uint8_t kRebootToBootLoader = 0x42;
constexpr uint8_t kRebootToApplication = 0x55;

enum FlashOp { kFlashWrite, kFlashRead, kFlashErase };

} // namespace

struct SimulatedFrame::UnitState {
    std::array<uint8_t, kFlashSize> flash;
    std::array<uint8_t, kRegisterCount> registers{};
    std::array<uint8_t, kSensorRegisterCount> sensor{};
    // The packed stream of the line last asked for with a header request.
    std::array<uint8_t, kMaxPackedLineLength> stream{};
    int streamLength = 0;

    UnitState() { flash.fill(0xFF); }
};

SimulatedFrame::SimulatedFrame()
    : loader_(std::make_unique<BootLoader>())
    , scene_(std::make_unique<OpticalScene>())
    , fingers_(std::make_unique<Fingers>())
    , keyPanel_(std::make_unique<KeyPanel>(*fingers_))
{
    for (auto& u : units_)
        u = std::make_unique<UnitState>();
    fitSensorsLocked();
    installFpgaConfiguration(*this);
}

SimulatedFrame::~SimulatedFrame()
{
    Lock lock(mutex_);
    if (unsavedLocked())
        saveLocked();
}

// The units' storage never moves, so a field's place may be found before the
// lock is taken; only its value needs the lock.
template <class T>
T SimulatedFrame::lockedGet(const T& field) const
{
    Lock lock(mutex_);
    return field;
}

template <class T, class V>
void SimulatedFrame::lockedSet(T& field, V&& value)
{
    Lock lock(mutex_);
    field = std::forward<V>(value);
}

// ---- Presence and identity ---------------------------------------------------

void SimulatedFrame::plug()
{
    Lock lock(mutex_);
    if (plugged_)
        return;
    plugged_ = true;
    startFirmwareLocked(false, Clock::now());  // a powered-up frame starts its application
}

void SimulatedFrame::unplug()
{
    Lock lock(mutex_);
    plugged_ = false;
    killHandlesLocked();
}

bool SimulatedFrame::isPlugged() const { return lockedGet(plugged_); }
void SimulatedFrame::setVendorCollectionPresent(bool present) { lockedSet(vendorCollection_, present); }
void SimulatedFrame::setApplicationProductId(uint16_t pid) { lockedSet(applicationPid_, pid); }
bool SimulatedFrame::inBootLoader() const { return lockedGet(bootLoader_); }

uint16_t SimulatedFrame::productId() const
{
    Lock lock(mutex_);
    return productIdLocked();
}

void SimulatedFrame::reenumerate(bool bootLoader)
{
    Lock lock(mutex_);
    reenumerateLocked(bootLoader);
}

void SimulatedFrame::setReenumerationDelay(std::chrono::milliseconds delay) { lockedSet(reenumerationDelay_, delay); }

bool SimulatedFrame::visibleLocked() const
{
    return plugged_ && Clock::now() >= visibleFrom_;
}

uint16_t SimulatedFrame::productIdLocked() const
{
    return bootLoader_ ? device::kBootLoaderProductId : applicationPid_;
}

bool SimulatedFrame::handleAliveLocked(uint64_t handle) const
{
    return handle != 0 && handle == epoch_ && plugged_;
}

void SimulatedFrame::killHandlesLocked()
{
    ++epoch_;
    queueHead_ = 0;
    queueSize_ = 0;
    pendingReboot_ = 0;
    late_.reset();
    inputArrived_.notify_all();
}

void SimulatedFrame::reenumerateLocked(bool bootLoader)
{
    killHandlesLocked();
    startFirmwareLocked(bootLoader, Clock::now() + reenumerationDelay_);
    if (bootLoader_ && loader_->neverReturns())
        visibleFrom_ = Clock::time_point::max();
}

void SimulatedFrame::startFirmwareLocked(bool bootLoader, Clock::time_point visibleFrom)
{
    // The application starts in work mode only with both units calibrated;
    // the boot loader has no working mode. Neither keeps touch data armed.
    // The boot loader keeps the frame when the application cannot start.
    bootLoader_ = bootLoader || !applicationBootableLocked();
    visibleFrom_ = visibleFrom;
    mode_ = bootLoader_ ? 0 : bothCalibratedLocked() ? kModeWork : kModeCalibration;
    touchArmed_ = false;
    powerUpSceneLocked();
}

void SimulatedFrame::powerUpSceneLocked()
{
    // The firmware loads its window of lines and its exposure from a valid
    // calibration record (start line at +4, exposure word at +6).
    for (Unit u : {Unit::Master, Unit::Slave}) {
        const uint8_t* record = &unit(u).flash[kCalibrationRecordOffset];
        if (recordValidLocked(u))
            scene_->powerUp(static_cast<int>(u), readU16le(record + 4), readU16le(record + 6));
        else
            scene_->powerUp(static_cast<int>(u), std::nullopt, std::nullopt);
    }
}

// ---- Flash ---------------------------------------------------------------------

std::vector<uint8_t> SimulatedFrame::readFlash(Unit u, uint32_t offset, uint32_t count) const
{
    Lock lock(mutex_);
    std::vector<uint8_t> out;
    const auto& flash = unit(u).flash;
    for (uint32_t i = 0; i < count && offset + i < kFlashSize; ++i)
        out.push_back(flash[offset + i]);
    return out;
}

uint8_t SimulatedFrame::flashByte(Unit u, uint32_t offset) const
{
    Lock lock(mutex_);
    return offset < kFlashSize ? unit(u).flash[offset] : 0xFF;
}

void SimulatedFrame::setFlash(Unit u, uint32_t offset, std::span<const uint8_t> bytes)
{
    Lock lock(mutex_);
    auto& flash = unit(u).flash;
    for (size_t i = 0; i < bytes.size() && offset + i < kFlashSize; ++i)
        flash[offset + i] = bytes[i];
    flashChangedLocked();
}

void SimulatedFrame::programFlash(Unit u, uint32_t offset, std::span<const uint8_t> bytes)
{
    Lock lock(mutex_);
    programLocked(u, offset, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void SimulatedFrame::eraseSector(Unit u, uint32_t offset)
{
    Lock lock(mutex_);
    eraseLocked(u, offset);
}

void SimulatedFrame::eraseAllFlash()
{
    Lock lock(mutex_);
    for (auto& u : units_)
        u->flash.fill(0xFF);
    flashChangedLocked();
}

bool SimulatedFrame::calibrationRecordValid(Unit u) const
{
    Lock lock(mutex_);
    return recordValidLocked(u);
}

bool SimulatedFrame::recordValidLocked(Unit u) const
{
    return readU32le(&unit(u).flash[kCalibrationRecordOffset]) == kCalibrationValidWord;
}

bool SimulatedFrame::applicationBootableLocked() const
{
    return loader_->applicationBootable({readU32le(&unit(Unit::Master).flash[kImageInfoOffset]),
                                         readU32le(&unit(Unit::Slave).flash[kImageInfoOffset])});
}

bool SimulatedFrame::bothCalibratedLocked() const
{
    return recordValidLocked(Unit::Master) && recordValidLocked(Unit::Slave);
}

void SimulatedFrame::programLocked(Unit u, uint32_t offset, const uint8_t* data, uint32_t count)
{
    // NOR programming only pulls bits to 0; only an erase brings them back.
    auto& flash = unit(u).flash;
    for (uint32_t i = 0; i < count && offset + i < kFlashSize; ++i)
        flash[offset + i] &= data[i];
    if (bootLoader_ && count > 0 && offset / kFlashSectorSize == kImageInfoOffset / kFlashSectorSize)
        loader_->noteImageInfoWritten(u);
    flashChangedLocked();
}

void SimulatedFrame::eraseLocked(Unit u, uint32_t offset)
{
    if (offset >= kFlashSize)
        return;
    const uint32_t start = offset / kFlashSectorSize * kFlashSectorSize;
    std::fill_n(unit(u).flash.begin() + start, kFlashSectorSize, uint8_t{0xFF});
    if (bootLoader_ && start == kImageInfoOffset)
        loader_->noteImageInfoWritten(u);
    flashChangedLocked();
}

// ---- Registers -----------------------------------------------------------------

uint8_t SimulatedFrame::fpgaRegister(Unit u, uint16_t address) const
{
    return lockedGet(unit(u).registers[address]);
}

void SimulatedFrame::setFpgaRegister(Unit u, uint16_t address, uint8_t value)
{
    lockedSet(unit(u).registers[address], value);
}

uint8_t SimulatedFrame::sensorRegister(Unit u, uint8_t address) const
{
    return lockedGet(unit(u).sensor[address]);
}

void SimulatedFrame::setSensorRegister(Unit u, uint8_t address, uint8_t value)
{
    lockedSet(unit(u).sensor[address], value);
}

// ---- Line images and leveling answers -------------------------------------------

void SimulatedFrame::setScene(const SceneConfig& config)
{
    Lock lock(mutex_);
    scene_->configure(config);
    fitSensorsLocked();
}

void SimulatedFrame::fitSensorsLocked()
{
    // A unit mounted so that the screen surface falls on a sensor row below
    // 200 has the sensor variant that says so in bit 6 of its register 0x12
    // (the tool then searches rows 50..200 instead of 200..300). The bit is
    // set at assembly; the other bits of the register are left as they are.
    constexpr uint8_t kWindowRegister = 0x12;
    constexpr uint8_t kLowWindowBit = 0x40;
    constexpr double kLowWindowEnd = 200;
    for (Unit u : {Unit::Master, Unit::Slave}) {
        uint8_t& r = unit(u).sensor[kWindowRegister];
        const bool low = scene_->config().units[static_cast<size_t>(u)].surfaceRow < kLowWindowEnd;
        r = static_cast<uint8_t>((r & ~kLowWindowBit) | (low ? kLowWindowBit : 0));
    }
}

SceneConfig SimulatedFrame::scene() const
{
    Lock lock(mutex_);
    return scene_->config();
}

void SimulatedFrame::setLinePixels(Unit u, int line, std::span<const uint8_t> pixels)
{
    Lock lock(mutex_);
    scene_->pinLine(static_cast<int>(u), line, pixels);
}

std::vector<uint8_t> SimulatedFrame::linePixels(Unit u, int line) const
{
    if (line < 0 || line >= kMaxLines)
        return {};
    Lock lock(mutex_);
    const auto image = scene_->image(static_cast<int>(u), extended_);
    auto first = image.begin() + line * kLinePixels;
    return std::vector<uint8_t>(first, first + kLinePixels);
}

void SimulatedFrame::setSearchLineResult(Unit u, uint16_t line)
{
    Lock lock(mutex_);
    scene_->pinSearchLine(static_cast<int>(u), line);
}

uint16_t SimulatedFrame::startLine(Unit u) const
{
    Lock lock(mutex_);
    return scene_->startLine(static_cast<int>(u));
}

void SimulatedFrame::setLineRange(Unit u, uint16_t startColumn, uint16_t endColumn)
{
    Lock lock(mutex_);
    scene_->pinLineRange(static_cast<int>(u), startColumn, endColumn);
}

void SimulatedFrame::setZones(Unit u, std::array<uint8_t, 7> positions, std::array<uint8_t, 8> codes)
{
    Lock lock(mutex_);
    scene_->pinZones(static_cast<int>(u), ZoneTable{positions, codes});
}

void SimulatedFrame::setExposure(Unit u, uint16_t exposureWord)
{
    Lock lock(mutex_);
    scene_->pinExposure(static_cast<int>(u), exposureWord);
}

// ---- Touch and keys --------------------------------------------------------------

void SimulatedFrame::setTouchSpots(const TouchSpots& spots)
{
    setTouchSource([spots](const TouchRequest&) { return spots; });
}

void SimulatedFrame::setTouchSource(TouchSource source) { lockedSet(touchSource_, std::move(source)); }
Fingers& SimulatedFrame::fingers() { return *fingers_; }
bool SimulatedFrame::touchArmed() const { return lockedGet(touchArmed_); }
TouchRequest SimulatedFrame::lastTouchRequest() const { return lockedGet(lastTouchRequest_); }

void SimulatedFrame::setKeyState(uint8_t edge, uint8_t keyNumber)
{
    Lock lock(mutex_);
    keyEdge_ = edge;
    keyNumber_ = keyNumber;
}

KeyPanel& SimulatedFrame::keyPanel() { return *keyPanel_; }

// ---- Status and mode -------------------------------------------------------------

uint8_t SimulatedFrame::mode() const { return lockedGet(mode_); }
void SimulatedFrame::setDeviceState(uint8_t state) { lockedSet(deviceState_, state); }
void SimulatedFrame::setExtendedFrame(bool extended) { lockedSet(extended_, extended); }
bool SimulatedFrame::extendedFrame() const { return lockedGet(extended_); }

void SimulatedFrame::setErrorWord(Unit u, std::optional<uint32_t> word)
{
    lockedSet(errorWord_[static_cast<int>(u)], word);
}

void SimulatedFrame::queueStatusAnswers(std::vector<StatusAnswer> answers)
{
    Lock lock(mutex_);
    statusAnswers_ = std::move(answers);
    statusAnswerNext_ = 0;
}

// ---- Faults --------------------------------------------------------------------

void SimulatedFrame::dropNextReplies(int count)
{
    Lock lock(mutex_);
    dropNext_ = std::max(0, count);
}

void SimulatedFrame::dropRepliesTo(int commandNumber, bool drop)
{
    if (commandNumber < 0 || commandNumber > 63)
        return;
    Lock lock(mutex_);
    const uint64_t bit = uint64_t{1} << commandNumber;
    dropCommands_ = drop ? (dropCommands_ | bit) : (dropCommands_ & ~bit);
}

void SimulatedFrame::answerNextWithStatus(uint8_t status, int count, int commandNumber, int after)
{
    Lock lock(mutex_);
    statusNextValue_ = status;
    statusNextCount_ = std::max(0, count);
    statusNextCommand_ = commandNumber;
    statusNextAfter_ = std::max(0, after);
}

void SimulatedFrame::injectForeignReports(int count)
{
    Lock lock(mutex_);
    foreignNext_ = std::clamp(count, 0, static_cast<int>(kQueueCapacity) - 1);
}

void SimulatedFrame::answerLate(int count)
{
    Lock lock(mutex_);
    lateNext_ = std::max(0, count);
}

void SimulatedFrame::vanishAtOutputReport(uint64_t n)
{
    Lock lock(mutex_);
    vanishAt_ = n == 0 ? 0 : outputReports_ + n;
}

void SimulatedFrame::vanishAtLineDataRequest(uint64_t n)
{
    Lock lock(mutex_);
    vanishAtLineRequest_ = n;
}

void SimulatedFrame::setReportLatency(std::chrono::microseconds latency) { lockedSet(latency_, latency); }
void SimulatedFrame::setRealTimeouts(bool real) { lockedSet(realTimeouts_, real); }

void SimulatedFrame::clearFaults()
{
    Lock lock(mutex_);
    dropNext_ = 0;
    dropCommands_ = 0;
    statusNextCount_ = 0;
    statusNextCommand_ = -1;
    statusNextAfter_ = 0;
    foreignNext_ = 0;
    lateNext_ = 0;
    late_.reset();
    vanishAt_ = 0;
    vanishAtLineRequest_ = 0;
    latency_ = std::chrono::microseconds(0);
    workModeFault_ = WorkModeFault::Off;
    loader_->clearFaults();
}

void SimulatedFrame::setWorkModeFault(WorkModeFault fault)
{
    Lock lock(mutex_);
    workModeFault_ = fault;
}

// ---- Counters --------------------------------------------------------------------

uint64_t SimulatedFrame::outputReports() const { return lockedGet(outputReports_); }
uint64_t SimulatedFrame::inputReports() const { return lockedGet(inputReports_); }

uint64_t SimulatedFrame::commandsSeen(int commandNumber) const
{
    if (commandNumber < 0 || commandNumber > 63)
        return 0;
    Lock lock(mutex_);
    return commandCounts_[static_cast<size_t>(commandNumber)];
}

uint8_t SimulatedFrame::lastCode() const { return lockedGet(lastCode_); }
size_t SimulatedFrame::pendingInputReports() const { return lockedGet(queueSize_); }

std::vector<DownloadedImage> SimulatedFrame::downloadedImages(Unit u, int port) const
{
    if (port != kPortFirmware && port != kPortSecondImage)
        return {};
    Lock lock(mutex_);
    return loader_->finished(u, port);
}

DownloadedImage SimulatedFrame::downloadInProgress(Unit u, int port) const
{
    if (port != kPortFirmware && port != kPortSecondImage)
        return {};
    Lock lock(mutex_);
    return loader_->inProgress(u, port);
}

// ---- Persistence ---------------------------------------------------------------

bool SimulatedFrame::attachFlashFile(const std::filesystem::path& file, PersistPolicy policy)
{
    Lock lock(mutex_);
    flashFile_ = file;
    persistPolicy_ = policy;
    loader_->attach(file);
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) == 2 * kFlashSize && !ec) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes(2 * kFlashSize);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (in) {
            std::memcpy(unit(Unit::Master).flash.data(), bytes.data(), kFlashSize);
            std::memcpy(unit(Unit::Slave).flash.data(), bytes.data() + kFlashSize, kFlashSize);
            dirty_ = false;
            return true;
        }
    }
    dirty_ = true;
    return false;
}

bool SimulatedFrame::flush()
{
    Lock lock(mutex_);
    return !unsavedLocked() || saveLocked();
}

void SimulatedFrame::flashChangedLocked()
{
    dirty_ = true;
    if (flashFile_.empty())
        return;
    if (persistPolicy_ == PersistPolicy::EveryChange || Clock::now() - lastSave_ >= kThrottledSaveInterval)
        saveLocked();
}

bool SimulatedFrame::saveLocked()
{
    // Write beside the file and rename over it, so that a crash never leaves
    // half a flash behind.
    std::error_code ec;
    if (flashFile_.has_parent_path())
        std::filesystem::create_directories(flashFile_.parent_path(), ec);
    std::filesystem::path temp = flashFile_;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(unit(Unit::Master).flash.data()), kFlashSize);
        out.write(reinterpret_cast<const char*>(unit(Unit::Slave).flash.data()), kFlashSize);
        out.flush();
        if (!out)
            return false;
    }
    std::filesystem::rename(temp, flashFile_, ec);
    if (ec || !loader_->save())
        return false;
    dirty_ = false;
    lastSave_ = Clock::now();
    return true;
}

// ---- Transport side ---------------------------------------------------------------

bool SimulatedFrame::openHandle(uint64_t& handle, uint16_t& productId)
{
    Lock lock(mutex_);
    if (!visibleLocked() || !vendorCollection_) {
        handle = 0;
        productId = device::kNoProductId;
        return false;
    }
    // A new handle starts with an empty input queue, as a freshly opened HID node does.
    queueHead_ = 0;
    queueSize_ = 0;
    handle = epoch_;
    productId = productIdLocked();
    return true;
}

int SimulatedFrame::checkHandle(uint64_t handle, uint16_t& productId)
{
    Lock lock(mutex_);
    if (unsavedLocked() && Clock::now() - lastSave_ >= kThrottledSaveInterval)
        saveLocked();
    if (!handleAliveLocked(handle))
        return device::kCheckGone;
    productId = productIdLocked();
    return vendorCollection_ ? device::kCheckFrameOk : device::kCheckWrongCollection;
}

void SimulatedFrame::handleClosed()
{
    Lock lock(mutex_);
    if (unsavedLocked())
        saveLocked();
}

Clock::time_point SimulatedFrame::takeSlotLocked()
{
    // The host controller polls the endpoint once per USB frame: a report
    // goes out in the first frame after the previous report's frame, or the
    // first frame after now when the bus has been idle. Deadlines lie on the
    // frame grid, so a late wake-up never shifts later reports.
    const auto now = Clock::now();
    auto next = lastSlot_ + latency_;
    if (next < now) {
        const auto behind = now - lastSlot_;
        const auto frames = (behind + latency_ - Clock::duration(1)) / latency_;
        next = lastSlot_ + frames * latency_;
    }
    lastSlot_ = next;
    return next;
}

bool SimulatedFrame::awaitSlotLocked(Lock& lock, uint64_t handle)
{
    // The wait for the slot leaves the model to other callers; the frame may
    // be gone when it ends.
    const auto deadline = takeSlotLocked();
    lock.unlock();
    std::this_thread::sleep_until(deadline);
    lock.lock();
    return handleAliveLocked(handle);
}

IoResult SimulatedFrame::writeReport(uint64_t handle, const uint8_t* report)
{
    Lock lock(mutex_);
    if (pendingReboot_ != 0 && handleAliveLocked(handle))
        reenumerateLocked(pendingReboot_ == 1);
    if (!handleAliveLocked(handle))
        return IoResult::NotConnected;
    if (report[0] != kCommandReportId)
        return IoResult::Failed;
    ++outputReports_;
    const bool lineData = (report[1] & 0x3F) == kReadLineDataM || (report[1] & 0x3F) == kReadLineDataS;
    const bool vanishInFrame = lineData && vanishAtLineRequest_ != 0 && --vanishAtLineRequest_ == 0;
    if ((vanishAt_ != 0 && outputReports_ >= vanishAt_) || vanishInFrame) {
        vanishAt_ = 0;
        plugged_ = false;
        killHandlesLocked();
        return IoResult::NotConnected;
    }
    if (latency_.count() > 0 && !awaitSlotLocked(lock, handle))
        return IoResult::NotConnected;
    const size_t queuedBefore = queueSize_;
    serveCommandLocked(report);
    if (lateNext_ > 0 && queueSize_ > queuedBefore) {
        // The reply is the newest report: hold it back.
        --lateNext_;
        --queueSize_;
        late_ = queue_[(queueHead_ + queueSize_) % kQueueCapacity];
    }
    if (queueSize_ > 0)
        inputArrived_.notify_all();
    return IoResult::Ok;
}

IoResult SimulatedFrame::readReport(uint64_t handle, uint8_t* report, uint32_t waitMs)
{
    Lock lock(mutex_);
    if (!handleAliveLocked(handle))
        return IoResult::NotConnected;
    if (queueSize_ == 0) {
        if (realTimeouts_)
            inputArrived_.wait_for(lock, std::chrono::milliseconds(waitMs),
                                   [&] { return queueSize_ > 0 || !handleAliveLocked(handle); });
        if (!handleAliveLocked(handle))
            return IoResult::NotConnected;
        if (queueSize_ == 0) {
            // The host gave up: a late reply arrives now, for its next read.
            if (late_) {
                std::memcpy(pushReportLocked(), late_->bytes.data(), device::kReportSize);
                late_.reset();
            }
            return IoResult::TimedOut;
        }
    }
    if (latency_.count() > 0) {
        if (!awaitSlotLocked(lock, handle))
            return IoResult::NotConnected;
        if (queueSize_ == 0)
            return IoResult::TimedOut;
    }
    std::memcpy(report, queue_[queueHead_].bytes.data(), device::kReportSize);
    queueHead_ = (queueHead_ + 1) % kQueueCapacity;
    --queueSize_;
    ++inputReports_;
    // The frame restarts once the host has its answer to Reboot.
    if (pendingReboot_ != 0 && queueSize_ == 0)
        reenumerateLocked(pendingReboot_ == 1);
    return IoResult::Ok;
}

bool SimulatedFrame::featureReport(uint64_t handle, uint8_t* buffer)
{
    Lock lock(mutex_);
    if (!handleAliveLocked(handle) || bootLoader_ || buffer[0] != 7)
        return false;
    buffer[1] = keyEdge_;
    buffer[2] = keyNumber_;
    keyPanel_->featureReport(mode_, extended_ ? 1 : 0,
                             std::span<const uint8_t>(unit(Unit::Slave).flash).subspan(kCalibrationRecordOffset), buffer);
    return true;
}

uint8_t* SimulatedFrame::pushReportLocked()
{
    if (queueSize_ == kQueueCapacity) {  // the oldest report is lost, as in a full HID input buffer
        queueHead_ = (queueHead_ + 1) % kQueueCapacity;
        --queueSize_;
    }
    uint8_t* slot = queue_[(queueHead_ + queueSize_) % kQueueCapacity].bytes.data();
    ++queueSize_;
    std::memset(slot, 0, device::kReportSize);
    slot[0] = kCommandReportId;
    return slot;
}

void SimulatedFrame::serveCommandLocked(const uint8_t* report)
{
    const uint8_t code = report[1];
    const int number = code & 0x3F;
    ++commandCounts_[static_cast<size_t>(number)];
    lastCode_ = code;

    if (dropNext_ > 0) {
        --dropNext_;
        return;
    }
    if (bootLoader_ && loader_->mute())
        return;
    if ((dropCommands_ >> number) & 1)
        return;
    const bool workSwitch = number == kSwitchMode && !bootLoader_ &&
                            (report[2] == kModeWork || report[2] == kModeWorkAfterLeveling);
    if (workSwitch && workModeFault_ == WorkModeFault::Mute)
        return;

    for (int i = std::exchange(foreignNext_, 0); i > 0; --i) {
        uint8_t* foreign = pushReportLocked();
        foreign[1] = static_cast<uint8_t>((number + 1) & 0x3F);
        foreign[2] = kStatusDone;
    }

    uint8_t* reply = pushReportLocked();
    reply[1] = static_cast<uint8_t>(number);
    if (workSwitch && workModeFault_ == WorkModeFault::Refuse) {
        reply[2] = kStatusRefused;
        return;
    }
    if (statusNextCount_ > 0 && (statusNextCommand_ < 0 || statusNextCommand_ == number)) {
        if (statusNextAfter_ > 0) {
            --statusNextAfter_;
        } else {
            --statusNextCount_;
            reply[2] = statusNextValue_;
            return;
        }
    }
    const bool done = bootLoader_ ? executeBootLoaderLocked(code, report + 2, reply + 3)
                                  : executeLocked(code, report + 2, reply + 3);
    reply[2] = done ? kStatusDone : kStatusRefused;
    if (done && !observers_.empty()) {
        std::array<UnitMemory, 2> memory;
        for (size_t i = 0; i < 2; ++i)
            memory[i] = {units_[i]->flash, units_[i]->registers, units_[i]->sensor};
        bool flashChanged = false;
        for (const CommandObserver& observer : observers_)
            flashChanged = observer(code, report + 2, memory) || flashChanged;
        if (flashChanged)
            flashChangedLocked();
    }
}

void SimulatedFrame::addCommandObserver(CommandObserver observer)
{
    Lock lock(mutex_);
    observers_.push_back(std::move(observer));
}

bool SimulatedFrame::executeBootLoaderLocked(uint8_t code, const uint8_t* payload, uint8_t* reply)
{
    // The boot loader serves what an update needs: flash, its download
    // channel, a status that says no firmware runs, and the way back.
    switch (code & 0x3F) {
    case kWriteFlashM: case kReadFlashM: case kEraseFlashM:
    case kWriteFlashS: case kReadFlashS: case kEraseFlashS:
    case kDownloadFirmwareM: case kDownloadFirmwareS:
    case kDownloadSecondM: case kDownloadSecondS:
    case kReboot:
        return executeLocked(code, payload, reply);
    case kGetStatus:
        reply[0] = 1;
        reply[1] = 0;
        writeU32le(reply + 2, kErrorFirmwareNotReady);
        writeU32le(reply + 6, kErrorFirmwareNotReady);
        return true;
    default:
        return false;
    }
}

bool SimulatedFrame::executeLocked(uint8_t code, const uint8_t* payload, uint8_t* reply)
{
    const uint8_t flags = code & 0xC0;
    const int number = code & 0x3F;
    // The unit of a command that has one number per unit.
    auto unitOf = [number](int masterNumber) { return number == masterNumber ? Unit::Master : Unit::Slave; };
    switch (number) {
    case kReadLineDataM: return lineDataLocked(Unit::Master, flags, payload, reply);
    case kReadLineDataS: return lineDataLocked(Unit::Slave, flags, payload, reply);

    case kWriteRegisterM:
    case kWriteRegisterS: {
        // address low, address high, n, n data bytes: one piece from one start address.
        UnitState& s = unit(unitOf(kWriteRegisterM));
        const uint16_t address = readU16le(payload);
        const int n = payload[2];
        if (n > kPayloadSize - 3)
            return false;
        for (int i = 0; i < n; ++i)
            s.registers[static_cast<uint16_t>(address + i)] = payload[3 + i];
        // Register 0x30 latches a frame; the FPGA clears it when the zone
        // table (0x20..0x26 positions, 0x2A..0x2D codes) is ready.
        if (address <= kCaptureRegister && kCaptureRegister < address + n && s.registers[kCaptureRegister] != 0)
            scene_->captureRequested(number == kWriteRegisterM ? 0 : 1);
        return true;
    }
    case kReadRegistersM:
    case kReadRegistersS:
    case kReadRegisterM:
    case kReadRegisterS: {
        const Unit u = number == kReadRegistersM || number == kReadRegisterM ? Unit::Master : Unit::Slave;
        UnitState& s = unit(u);
        const uint16_t address = readU16le(payload);
        const int n = (number == kReadRegisterM || number == kReadRegisterS) ? 1 : payload[2];
        if (n > kReplyPayloadSize)
            return false;
        scene_->beforeRegisterRead(static_cast<int>(u), address, n, s.registers, s.sensor);
        for (int i = 0; i < n; ++i)
            reply[i] = s.registers[static_cast<uint16_t>(address + i)];
        return true;
    }
    case kWriteSensorM: unit(Unit::Master).sensor[payload[0]] = payload[1]; return true;
    case kWriteSensorS: unit(Unit::Slave).sensor[payload[0]] = payload[1]; return true;
    case kReadSensorM: reply[0] = unit(Unit::Master).sensor[payload[0]]; return true;
    case kReadSensorS: reply[0] = unit(Unit::Slave).sensor[payload[0]]; return true;

    case kWriteFlashM: return flashCommandLocked(Unit::Master, kFlashWrite, payload, reply);
    case kWriteFlashS: return flashCommandLocked(Unit::Slave, kFlashWrite, payload, reply);
    case kReadFlashM: return flashCommandLocked(Unit::Master, kFlashRead, payload, reply);
    case kReadFlashS: return flashCommandLocked(Unit::Slave, kFlashRead, payload, reply);
    case kEraseFlashM: return flashCommandLocked(Unit::Master, kFlashErase, payload, reply);
    case kEraseFlashS: return flashCommandLocked(Unit::Slave, kFlashErase, payload, reply);

    case kArmTouchData:
        touchArmed_ = true;
        return true;

    case kSwitchMode: {
        const uint8_t wanted = payload[0];
        switch (wanted) {
        case kModeCalibration:
            mode_ = wanted;
            break;
        case kModeWork:
        case kModeWorkAfterLeveling:
            // The frame refuses to work without both units' calibration.
            if (!bothCalibratedLocked())
                return false;
            mode_ = wanted;
            break;
        case kModeFpgaReset:
            break;
        case kModeReset:
            mode_ = bothCalibratedLocked() ? kModeWork : kModeCalibration;
            touchArmed_ = false;
            break;
        default:
            return false;
        }
        reply[0] = kStatusDone;
        reply[1] = mode_;
        return true;
    }

    case kSearchLineM:
    case kSearchLineS: {
        uint16_t line = 0;
        if (!scene_->searchLine(static_cast<int>(unitOf(kSearchLineM)), readU16le(payload), readU16le(payload + 2), line))
            return false;
        writeU16le(reply, line);
        return true;
    }
    case kSetLineM:
    case kSetLineS:
        return scene_->setLine(static_cast<int>(unitOf(kSetLineM)), readU16le(payload));

    case kReadLineRangeM:
    case kReadLineRangeS: {
        uint16_t first = 0, last = 0;
        if (!scene_->lineRange(static_cast<int>(unitOf(kReadLineRangeM)), first, last))
            return false;
        writeU16le(reply, first);
        writeU16le(reply + 2, last);
        return true;
    }
    case kReadZonesM:
    case kReadZonesS: {
        // 0x22, seven zone ends, then the eight 3-bit codes two per byte (even zone low).
        ZoneTable table;
        if (!scene_->zones(static_cast<int>(unitOf(kReadZonesM)), table))
            return false;
        reply[0] = kStatusDone;
        std::copy(table.positions.begin(), table.positions.end(), reply + 1);
        for (size_t k = 0; k < 4; ++k)
            reply[8 + k] = static_cast<uint8_t>((table.codes[2 * k] & 7) | ((table.codes[2 * k + 1] & 7) << 4));
        return true;
    }
    case kReadTouchPoints: {
        TouchRequest request;
        request.request = payload[0];
        request.pointIndex = payload[1];
        request.screenPosition = readU32le(payload + 2);
        request.release = payload[6];
        lastTouchRequest_ = request;
        const TouchSpots spots = touchSource_ ? touchSource_(request) : fingers_->report(request, extended_ ? 1 : 0);
        // Master count, five 5-byte spots, Slave count, five 5-byte spots.
        auto putSpots = [](uint8_t* out, uint8_t count, const std::array<TouchSpot, 5>& list) {
            out[0] = count;
            for (int i = 0; i < 5; ++i) {
                const TouchSpot& spot = list[static_cast<size_t>(i)];
                uint8_t* p = out + 1 + 5 * i;
                writeU16le(p, spot.position);
                writeU16le(p + 2, spot.width);
                p[4] = spot.strength;
            }
        };
        putSpots(reply, spots.masterCount, spots.master);
        putSpots(reply + 26, spots.slaveCount, spots.slave);
        return true;
    }
    case kReadExposureM:
    case kReadExposureS: {
        uint16_t word = 0, first = 0, last = 0;
        if (!scene_->exposure(static_cast<int>(unitOf(kReadExposureM)), word, first, last))
            return false;
        writeU16le(reply, word);
        writeU16le(reply + 2, first);
        writeU16le(reply + 4, last);
        return true;
    }

    case kDownloadFirmwareM:
    case kDownloadFirmwareS:
    case kDownloadSecondM:
    case kDownloadSecondS: {
        // Only the boot loader listens on the download channel.
        if (!bootLoader_)
            return false;
        const Unit u = number == kDownloadFirmwareM || number == kDownloadSecondM ? Unit::Master : Unit::Slave;
        const int port = number == kDownloadFirmwareM || number == kDownloadFirmwareS ? kPortFirmware : kPortSecondImage;
        return downloadBlockLocked(u, port, flags, payload);
    }

    case kGetStatus:
        statusLocked(reply);
        return true;

    case kReboot:
        if (payload[0] == kRebootToBootLoader)
            pendingReboot_ = 1;
        else if (payload[0] == kRebootToApplication)
            pendingReboot_ = 2;
        else
            return false;
        return true;

    default:
        return false;
    }
}

bool SimulatedFrame::flashCommandLocked(Unit u, int op, const uint8_t* payload, uint8_t* reply)
{
    // 0-2 flash address, 3 n (write/read) or 1 (erase), data from 4 (write).
    const uint32_t address = readU24le(payload);
    const uint32_t n = payload[3];
    switch (op) {
    case kFlashWrite:
        if (n > static_cast<uint32_t>(kPayloadSize - 4) || address + n > kFlashSize)
            return false;
        programLocked(u, address, payload + 4, n);
        return true;
    case kFlashRead:
        if (n > static_cast<uint32_t>(kReplyPayloadSize) || address + n > kFlashSize)
            return false;
        std::memcpy(reply, unit(u).flash.data() + address, n);
        return true;
    default:
        if (address >= kFlashSize)
            return false;
        eraseLocked(u, address);
        return true;
    }
}

bool SimulatedFrame::downloadBlockLocked(Unit u, int port, uint8_t flags, const uint8_t* payload)
{
    bool changed = false;
    const BootLoader::Block result = loader_->block(u, port, flags, payload, changed);
    if (changed)
        flashChangedLocked();  // the boot loader's state is kept with the flash
    switch (result) {
    case BootLoader::Block::Accepted:
        return true;
    case BootLoader::Block::Refused:
        return false;
    case BootLoader::Block::Vanish:
        // Pulled out while the block went in: the reply never comes.
        plugged_ = false;
        killHandlesLocked();
        return false;
    }
    return false;
}

bool SimulatedFrame::lineDataLocked(Unit u, uint8_t flags, const uint8_t* payload, uint8_t* reply)
{
    UnitState& s = unit(u);
    const int lines = extended_ ? kMaxLines : kOrdinaryLines;
    const int offset = readU16le(payload);
    const int length = payload[2];
    // Asking for the first bytes of region A, or the header of line 0,
    // starts a new frame.
    if (offset == 0 && (flags == 0x80 || flags == 0 || (flags == 0xC0 && length == 255)))
        scene_->newFrame(static_cast<int>(u));
    const auto image = scene_->image(static_cast<int>(u), extended_);

    if (flags == 0xC0) {
        // Packed form. Length 255 asks for the header of the line at offset
        // (line * 640): the frame packs that line and answers with the stream
        // length and its first 59 bytes. Other lengths fetch stream bytes from
        // offset. Either way: 0-1 stream length, 2-60 stream bytes.
        if (length == 255) {
            const int line = offset / kLinePixels;
            if (line >= lines)
                return false;
            s.streamLength = encodePackedLine(image.data() + line * kLinePixels, kLinePixels, s.stream.data());
            writeU16le(reply, static_cast<uint16_t>(scene_->reportedStreamLength(static_cast<int>(u), s.streamLength)));
            std::memcpy(reply + 2, s.stream.data(), static_cast<size_t>(std::min(s.streamLength, 59)));
            return true;
        }
        if (length > 59)
            return false;
        writeU16le(reply, static_cast<uint16_t>(scene_->reportedStreamLength(static_cast<int>(u), s.streamLength)));
        for (int i = 0; i < length && offset + i < kMaxPackedLineLength; ++i)
            reply[2 + i] = s.stream[static_cast<size_t>(offset + i)];
        return true;
    }

    if (length > kReplyPayloadSize)
        return false;
    const int regionALength = (lines - 1) * kLinePixels;
    const int lastLine = (lines - 1) * kLinePixels;
    const int regionBBase = extended_ ? kRegionBExtendedBase : 0;
    for (int i = 0; i < length; ++i) {
        const int at = offset + i;
        uint8_t value = 0;
        if (flags == 0x40) {
            // Region B: the last line.
            if (at >= regionBBase && at < regionBBase + kLinePixels)
                value = image[static_cast<size_t>(lastLine + at - regionBBase)];
        } else if (at < regionALength) {
            // Region A (also what a request without flags reads): the upper lines.
            value = image[static_cast<size_t>(at)];
        }
        reply[i] = value;
    }
    return true;
}

void SimulatedFrame::statusLocked(uint8_t* reply)
{
    // 0 device state, 1 mode, 2-5 Master error word, 6-9 Slave error word,
    // 26 extended-frame flag.
    StatusAnswer answer;
    if (statusAnswerNext_ < statusAnswers_.size()) {
        answer = statusAnswers_[statusAnswerNext_++];
        if (statusAnswerNext_ == statusAnswers_.size()) {
            statusAnswers_.clear();
            statusAnswerNext_ = 0;
        }
    } else {
        answer.deviceState = deviceState_;
        answer.errorM = errorWord_[0].value_or(recordValidLocked(Unit::Master) ? 0 : kErrorNotCalibrated);
        answer.errorS = errorWord_[1].value_or(recordValidLocked(Unit::Slave) ? 0 : kErrorNotCalibrated);
        answer.extendedFrame = extended_;
    }
    reply[0] = answer.deviceState;
    reply[1] = mode_;
    writeU32le(reply + 2, answer.errorM);
    writeU32le(reply + 6, answer.errorS);
    reply[26] = answer.extendedFrame ? 1 : 0;
}

} // namespace tovrin::sim
