#include "sim/SimulatedFrame.h"

#include "sim/CommandProtocol.h"
#include "sim/FpgaConfiguration.h"
#include "sim/FrameCore.h"

#include <utility>

namespace tovrin::sim {

using Clock = std::chrono::steady_clock;
using Lock = std::unique_lock<std::mutex>;

SimulatedFrame::SimulatedFrame()
    : core_(std::make_unique<FrameCore>())
{
    core_->startFirmware(false, Clock::time_point{});
    installFpgaConfiguration(*this);
}

SimulatedFrame::~SimulatedFrame()
{
    Lock lock(core_->mutex);
    if (core_->file.unsaved())
        core_->file.save(core_->memory, core_->loader);
}

// ---- The report-level interface ---------------------------------------------------

bool SimulatedFrame::openHandle(uint64_t& handle, uint16_t& productId)
{
    Lock lock(core_->mutex);
    return port::open(*core_, handle, productId);
}

int SimulatedFrame::checkHandle(uint64_t handle, uint16_t& productId)
{
    Lock lock(core_->mutex);
    return port::check(*core_, handle, productId);
}

device::IoResult SimulatedFrame::writeReport(uint64_t handle, const uint8_t* report)
{
    Lock lock(core_->mutex);
    return port::write(*core_, lock, handle, report);
}

device::IoResult SimulatedFrame::readReport(uint64_t handle, uint8_t* report, uint32_t waitMs)
{
    Lock lock(core_->mutex);
    return port::read(*core_, lock, handle, report, waitMs);
}

bool SimulatedFrame::featureReport(uint64_t handle, uint8_t* buffer)
{
    Lock lock(core_->mutex);
    return port::feature(*core_, lock, handle, buffer);
}

void SimulatedFrame::handleClosed()
{
    Lock lock(core_->mutex);
    port::closed(*core_);
}

// ---- Presence and identity ---------------------------------------------------

void SimulatedFrame::plug()
{
    Lock lock(core_->mutex);
    if (core_->usb.plugged)
        return;
    core_->usb.plugged = true;
    core_->startFirmware(false, Clock::now());  // a powered-up frame starts its application
}

void SimulatedFrame::unplug()
{
    Lock lock(core_->mutex);
    core_->usb.plugged = false;
    core_->usb.killHandles();
    core_->inputArrived.notify_all();
}

bool SimulatedFrame::isPlugged() const
{
    Lock lock(core_->mutex);
    return core_->usb.plugged;
}

void SimulatedFrame::setVendorCollectionPresent(bool present)
{
    Lock lock(core_->mutex);
    core_->usb.vendorCollection = present;
}

void SimulatedFrame::setApplicationProductId(uint16_t pid)
{
    Lock lock(core_->mutex);
    core_->usb.applicationPid = pid;
}

void SimulatedFrame::setSerialNumber(std::string serial)
{
    Lock lock(core_->mutex);
    core_->usb.serial = std::move(serial);
}

std::string SimulatedFrame::serialNumber() const
{
    Lock lock(core_->mutex);
    return core_->usb.serial;
}

uint16_t SimulatedFrame::productId() const
{
    Lock lock(core_->mutex);
    return core_->usb.productId(core_->firmware.bootLoader);
}

bool SimulatedFrame::inBootLoader() const
{
    Lock lock(core_->mutex);
    return core_->firmware.bootLoader;
}

void SimulatedFrame::reenumerate(bool bootLoader)
{
    Lock lock(core_->mutex);
    core_->reenumerate(bootLoader);
}

void SimulatedFrame::setReenumerationDelay(std::chrono::milliseconds delay)
{
    Lock lock(core_->mutex);
    core_->usb.reenumerationDelay = delay;
}

// ---- Flash and registers --------------------------------------------------------

std::vector<uint8_t> SimulatedFrame::readFlash(Unit u, uint32_t offset, uint32_t count) const
{
    Lock lock(core_->mutex);
    return core_->bank(u).read(offset, count);
}

uint8_t SimulatedFrame::flashByte(Unit u, uint32_t offset) const
{
    Lock lock(core_->mutex);
    return offset < kFlashSize ? core_->bank(u).flash[offset] : 0xFF;
}

void SimulatedFrame::setFlash(Unit u, uint32_t offset, std::span<const uint8_t> bytes)
{
    Lock lock(core_->mutex);
    core_->bank(u).store(offset, bytes);
    core_->flashChanged();
}

void SimulatedFrame::programFlash(Unit u, uint32_t offset, std::span<const uint8_t> bytes)
{
    Lock lock(core_->mutex);
    core_->program(u, offset, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void SimulatedFrame::eraseSector(Unit u, uint32_t offset)
{
    Lock lock(core_->mutex);
    core_->erase(u, offset);
}

void SimulatedFrame::eraseAllFlash()
{
    Lock lock(core_->mutex);
    for (MemoryBank& b : core_->memory)
        b.flash.fill(0xFF);
    core_->flashChanged();
}

bool SimulatedFrame::calibrationRecordValid(Unit u) const
{
    Lock lock(core_->mutex);
    return core_->recordValid(u);
}

uint8_t SimulatedFrame::fpgaRegister(Unit u, uint16_t address) const
{
    Lock lock(core_->mutex);
    return core_->bank(u).registers[address];
}

void SimulatedFrame::setFpgaRegister(Unit u, uint16_t address, uint8_t value)
{
    Lock lock(core_->mutex);
    core_->bank(u).registers[address] = value;
}

uint8_t SimulatedFrame::sensorRegister(Unit u, uint8_t address) const
{
    Lock lock(core_->mutex);
    return core_->bank(u).sensor[address];
}

void SimulatedFrame::setSensorRegister(Unit u, uint8_t address, uint8_t value)
{
    Lock lock(core_->mutex);
    core_->bank(u).sensor[address] = value;
}

// ---- Status, mode and the kind of unit --------------------------------------------

uint8_t SimulatedFrame::mode() const
{
    Lock lock(core_->mutex);
    return core_->firmware.mode;
}

void SimulatedFrame::setDeviceState(uint8_t state)
{
    Lock lock(core_->mutex);
    core_->firmware.deviceState = state;
}

void SimulatedFrame::setErrorWord(Unit u, std::optional<uint32_t> word)
{
    Lock lock(core_->mutex);
    core_->firmware.errorWord[unitIndex(u)] = word;
}

void SimulatedFrame::setExtendedFrame(bool extended)
{
    Lock lock(core_->mutex);
    if (core_->firmware.extended == extended)
        return;
    core_->firmware.extended = extended;
    core_->unitKindChanged();
}

bool SimulatedFrame::extendedFrame() const
{
    Lock lock(core_->mutex);
    return core_->firmware.extended;
}

void SimulatedFrame::queueStatusAnswers(std::vector<StatusAnswer> answers)
{
    Lock lock(core_->mutex);
    core_->firmware.statusAnswers = std::move(answers);
    core_->firmware.statusAnswerNext = 0;
}

// ---- The fault plan ------------------------------------------------------------

FaultPlan SimulatedFrame::faults() const
{
    Lock lock(core_->mutex);
    FaultPlan plan = core_->faults;
    plan.fingers = core_->fingers->faults();
    return plan;
}

void SimulatedFrame::setFaults(const FaultPlan& plan)
{
    Lock lock(core_->mutex);
    core_->faults = plan;
    core_->faultsChanged();
}

void SimulatedFrame::changeFaults(const std::function<void(FaultPlan&)>& change)
{
    Lock lock(core_->mutex);
    core_->faults.fingers = core_->fingers->faults();
    change(core_->faults);
    core_->faultsChanged();
}

void SimulatedFrame::clearFaults()
{
    changeFaults([](FaultPlan& f) {
        const bool real = f.link.realTimeouts;
        f.link = {};
        f.link.realTimeouts = real;
        f.firmware = {};
        f.bootLoader = {};
    });
    Lock lock(core_->mutex);
    core_->usb.late.reset();
}

void SimulatedFrame::addCommandObserver(CommandObserver observer)
{
    Lock lock(core_->mutex);
    core_->observers.push_back(std::move(observer));
}

// ---- Counters --------------------------------------------------------------------

uint64_t SimulatedFrame::outputReports() const
{
    Lock lock(core_->mutex);
    return core_->counters.outputReports;
}

uint64_t SimulatedFrame::inputReports() const
{
    Lock lock(core_->mutex);
    return core_->counters.inputReports;
}

uint64_t SimulatedFrame::commandsSeen(int commandNumber) const
{
    if (commandNumber < 0 || commandNumber > 63)
        return 0;
    Lock lock(core_->mutex);
    return core_->counters.commands[static_cast<size_t>(commandNumber)];
}

uint8_t SimulatedFrame::lastCode() const
{
    Lock lock(core_->mutex);
    return core_->counters.lastCode;
}

size_t SimulatedFrame::pendingInputReports() const
{
    Lock lock(core_->mutex);
    return core_->usb.queued();
}

// ---- Boot loader -------------------------------------------------------------------

std::vector<DownloadedImage> SimulatedFrame::downloadedImages(Unit u, int port) const
{
    if (port != kPortFirmware && port != kPortSecondImage)
        return {};
    Lock lock(core_->mutex);
    return core_->loader.finished(u, port);
}

DownloadedImage SimulatedFrame::downloadInProgress(Unit u, int port) const
{
    if (port != kPortFirmware && port != kPortSecondImage)
        return {};
    Lock lock(core_->mutex);
    return core_->loader.inProgress(u, port);
}

std::vector<uint8_t> SimulatedFrame::bootProgram(Unit u, int port) const
{
    if (port != kPortFirmware && port != kPortSecondImage)
        return {};
    Lock lock(core_->mutex);
    return core_->loader.program(u, port);
}

bool SimulatedFrame::applicationBootable() const
{
    Lock lock(core_->mutex);
    return core_->applicationBootable();
}

// ---- Persistence ---------------------------------------------------------------

bool SimulatedFrame::attachFlashFile(const std::filesystem::path& file, PersistPolicy policy)
{
    Lock lock(core_->mutex);
    return core_->file.attach(file, policy, core_->memory, core_->loader);
}

bool SimulatedFrame::flush()
{
    Lock lock(core_->mutex);
    return !core_->file.unsaved() || core_->file.save(core_->memory, core_->loader);
}

} // namespace tovrin::sim
