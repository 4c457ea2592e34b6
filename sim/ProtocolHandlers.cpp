// The handlers of the frame's memory, mode, status, touch and boot loader
// commands (CommandProtocol.h). Byte numbers count from the first payload
// byte (output byte 2) and the first reply payload byte (input byte 3).
#include "sim/CommandProtocol.h"

#include "sim/FrameCore.h"
#include "sim/SimBytes.h"

#include <algorithm>
#include <cstring>

namespace tovrin::sim::handlers {

namespace {

constexpr int kPayloadSize = 62;
constexpr int kReplySize = 61;
constexpr uint16_t kCaptureRegister = 0x30;  // written 1 to latch a frame, reads 0 when done
constexpr uint8_t kRebootToBootLoader = 0x42;
constexpr uint8_t kRebootToApplication = 0x55;

int unitNumber(const Request& r) { return static_cast<int>(unitIndex(r.unit)); }

} // namespace

// 0: address low, 1: address high, 2: n, 3..: n data bytes, one piece from
// one start address.
bool writeRegisters(FrameCore& core, const Request& r)
{
    MemoryBank& bank = core.bank(r.unit);
    const uint16_t address = readU16le(r.payload);
    const int n = r.payload[2];
    if (n > kPayloadSize - 3)
        return false;
    for (int i = 0; i < n; ++i)
        bank.registers[static_cast<uint16_t>(address + i)] = r.payload[3 + i];
    // Register 0x30 latches a frame; the FPGA clears it when the zone table
    // (0x20..0x26 positions, 0x2A..0x2D codes) is ready.
    if (address <= kCaptureRegister && kCaptureRegister < address + n && bank.registers[kCaptureRegister] != 0)
        core.leveling.captureRequested(unitNumber(r));
    return true;
}

static bool readRegistersFrom(FrameCore& core, const Request& r, int n)
{
    MemoryBank& bank = core.bank(r.unit);
    const uint16_t address = readU16le(r.payload);
    if (n > kReplySize)
        return false;
    core.leveling.beforeRegisterRead(unitNumber(r), address, n, bank.registers, bank.sensor);
    for (int i = 0; i < n; ++i)
        r.reply[i] = bank.registers[static_cast<uint16_t>(address + i)];
    return true;
}

// 0-1: address, 2: n (one byte for ReadRegister), 3: 0; reply: n bytes.
bool readRegisters(FrameCore& core, const Request& r) { return readRegistersFrom(core, r, r.payload[2]); }
bool readRegister(FrameCore& core, const Request& r) { return readRegistersFrom(core, r, 1); }

// 0: register number, 1: value / reply 0: value.
bool writeSensor(FrameCore& core, const Request& r)
{
    core.bank(r.unit).sensor[r.payload[0]] = r.payload[1];
    return true;
}

bool readSensor(FrameCore& core, const Request& r)
{
    r.reply[0] = core.bank(r.unit).sensor[r.payload[0]];
    return true;
}

// 0-2: flash address, 3: n, 4..: data.
bool writeFlash(FrameCore& core, const Request& r)
{
    const uint32_t address = readU24le(r.payload);
    const uint32_t n = r.payload[3];
    if (n > static_cast<uint32_t>(kPayloadSize - 4) || address + n > kFlashSize)
        return false;
    core.program(r.unit, address, r.payload + 4, n);
    return true;
}

// 0-2: flash address, 3: n / reply: n bytes.
bool readFlash(FrameCore& core, const Request& r)
{
    const uint32_t address = readU24le(r.payload);
    const uint32_t n = r.payload[3];
    if (n > static_cast<uint32_t>(kReplySize) || address + n > kFlashSize)
        return false;
    std::memcpy(r.reply, core.bank(r.unit).flash.data() + address, n);
    return true;
}

// 0-2: flash address of the sector, 3: 1, 4: 0.
bool eraseFlash(FrameCore& core, const Request& r)
{
    const uint32_t address = readU24le(r.payload);
    if (address >= kFlashSize)
        return false;
    core.erase(r.unit, address);
    return true;
}

bool armTouchData(FrameCore& core, const Request&)
{
    core.firmware.touchArmed = true;
    return true;
}

// 0: mode code / reply 0: 0x22, 1: the mode now.
bool switchMode(FrameCore& core, const Request& r)
{
    FirmwareState& fw = core.firmware;
    const uint8_t wanted = r.payload[0];
    switch (wanted) {
    case kModeCalibration:
        fw.mode = wanted;
        break;
    case kModeWork:
    case kModeWorkAfterLeveling:
        // Back to work: what leveling measured goes into the records first.
        // The frame refuses to work without both units' calibration.
        core.storeLeveling();
        if (!core.bothCalibrated())
            return false;
        fw.mode = wanted;
        break;
    case kModeFpgaReset:
        break;
    case kModeReset:
        fw.mode = core.bothCalibrated() ? kModeWork : kModeCalibration;
        fw.touchArmed = false;
        break;
    default:
        return false;
    }
    r.reply[0] = kStatusDone;
    r.reply[1] = fw.mode;
    return true;
}

// 0: request byte, 1: point index, 2-5: screen position or key target,
// 6: release byte / reply: Master count, five 5-byte spots (position u16,
// width u16, strength), Slave count, five spots.
bool readTouchPoints(FrameCore& core, const Request& r)
{
    FirmwareState& fw = core.firmware;
    TouchRequest request;
    request.request = r.payload[0];
    request.pointIndex = r.payload[1];
    request.screenPosition = readU32le(r.payload + 2);
    request.release = r.payload[6];
    fw.lastTouchRequest = request;
    TouchSpots spots = fw.touchSource ? fw.touchSource(request) : core.fingers->report(request, core.lensFamily());
    if (fw.extended && !fw.touchSource) {
        // An extended-frame unit only takes spots that stand out by its
        // finger-in threshold.
        auto keep = [&](uint8_t& count, std::array<TouchSpot, 5>& list, int unit) {
            const int least = 4 * core.leveling.settings(unit).fingerIn;
            const int n = std::min<int>(count, 5);
            int kept = 0;
            for (int i = 0; i < n; ++i)
                if (list[static_cast<size_t>(i)].strength >= least)
                    list[static_cast<size_t>(kept++)] = list[static_cast<size_t>(i)];
            count = static_cast<uint8_t>(count - (n - kept));
        };
        keep(spots.masterCount, spots.master, 0);
        keep(spots.slaveCount, spots.slave, 1);
    }
    auto put = [](uint8_t* out, uint8_t count, const std::array<TouchSpot, 5>& list) {
        out[0] = count;
        for (size_t i = 0; i < 5; ++i) {
            uint8_t* p = out + 1 + 5 * i;
            writeU16le(p, list[i].position);
            writeU16le(p + 2, list[i].width);
            p[4] = list[i].strength;
        }
    };
    put(r.reply, spots.masterCount, spots.master);
    put(r.reply + 26, spots.slaveCount, spots.slave);
    return true;
}

// The data itself, 62 bytes; flags 0x80 first block, 0x40 last.
bool download(FrameCore& core, const Request& r)
{
    // Only the boot loader listens on the download channel.
    if (!core.firmware.bootLoader)
        return false;
    const int port = r.number == kDownloadFirmwareM || r.number == kDownloadFirmwareS ? kPortFirmware : kPortSecondImage;
    bool changed = false;
    const BootLoader::Block result = core.loader.block(r.unit, port, r.flags, r.payload, core.faults.bootLoader, changed);
    if (changed)
        core.flashChanged();  // the boot loader's state is kept with the flash
    switch (result) {
    case BootLoader::Block::Accepted:
        return true;
    case BootLoader::Block::Refused:
        return false;
    case BootLoader::Block::Vanish:
        // Pulled out while the block went in: the reply never comes.
        core.usb.plugged = false;
        core.usb.killHandles();
        core.inputArrived.notify_all();
        return false;
    }
    return false;
}

// Reply: 0 device state, 1 mode, 2-5 Master error word, 6-9 Slave error
// word, 26 extended-frame flag.
bool getStatus(FrameCore& core, const Request& r)
{
    FirmwareState& fw = core.firmware;
    if (fw.bootLoader) {
        // The boot loader says that no firmware runs.
        r.reply[0] = 1;
        r.reply[1] = 0;
        writeU32le(r.reply + 2, kErrorFirmwareNotReady);
        writeU32le(r.reply + 6, kErrorFirmwareNotReady);
        return true;
    }
    StatusAnswer answer;
    if (fw.statusAnswerNext < fw.statusAnswers.size()) {
        answer = fw.statusAnswers[fw.statusAnswerNext++];
        if (fw.statusAnswerNext == fw.statusAnswers.size()) {
            fw.statusAnswers.clear();
            fw.statusAnswerNext = 0;
        }
    } else {
        answer.deviceState = fw.deviceState;
        answer.errorM = fw.errorWord[0].value_or(core.recordValid(Unit::Master) ? 0 : kErrorNotCalibrated);
        answer.errorS = fw.errorWord[1].value_or(core.recordValid(Unit::Slave) ? 0 : kErrorNotCalibrated);
        answer.extendedFrame = fw.extended;
    }
    r.reply[0] = answer.deviceState;
    r.reply[1] = fw.mode;
    writeU32le(r.reply + 2, answer.errorM);
    writeU32le(r.reply + 6, answer.errorS);
    r.reply[26] = answer.extendedFrame ? 1 : 0;
    return true;
}

// 0: 0x42 into the boot loader, 0x55 into the application. The frame
// restarts once the host has read the reply.
bool reboot(FrameCore& core, const Request& r)
{
    if (r.payload[0] == kRebootToBootLoader)
        core.usb.pendingReboot = 1;
    else if (r.payload[0] == kRebootToApplication)
        core.usb.pendingReboot = 2;
    else
        return false;
    return true;
}

} // namespace tovrin::sim::handlers
