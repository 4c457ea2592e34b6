#include "sim/CommandProtocol.h"

#include "sim/FrameCore.h"

#include <utility>

namespace tovrin::sim {

namespace {

struct Entry {
    Handler handler = nullptr;
    Unit unit = Unit::Master;
    bool bootLoader = false;  // the boot loader serves it too
};

using Table = std::array<Entry, 64>;

constexpr Table makeTable()
{
    using namespace handlers;
    constexpr Unit M = Unit::Master, S = Unit::Slave;
    Table t{};
    auto both = [&t](int m, int s, Handler h, bool loader) {
        t[static_cast<size_t>(m)] = {h, M, loader};
        t[static_cast<size_t>(s)] = {h, S, loader};
    };
    both(kReadLineDataM, kReadLineDataS, readLineData, false);
    both(kWriteRegisterM, kWriteRegisterS, writeRegisters, false);
    both(kReadRegistersM, kReadRegistersS, readRegisters, false);
    both(kReadRegisterM, kReadRegisterS, readRegister, false);
    both(kWriteSensorM, kWriteSensorS, writeSensor, false);
    both(kReadSensorM, kReadSensorS, readSensor, false);
    both(kWriteFlashM, kWriteFlashS, writeFlash, true);
    both(kReadFlashM, kReadFlashS, readFlash, true);
    both(kEraseFlashM, kEraseFlashS, eraseFlash, true);
    both(kSearchLineM, kSearchLineS, searchLine, false);
    both(kSetLineM, kSetLineS, setLine, false);
    both(kReadLineRangeM, kReadLineRangeS, readLineRange, false);
    both(kReadZonesM, kReadZonesS, readZones, false);
    both(kReadExposureM, kReadExposureS, readExposure, false);
    both(kDownloadFirmwareM, kDownloadFirmwareS, download, true);
    both(kDownloadSecondM, kDownloadSecondS, download, true);
    t[kArmTouchData] = {armTouchData, M, false};
    t[kSwitchMode] = {switchMode, M, false};
    t[kReadTouchPoints] = {readTouchPoints, M, false};
    t[kGetStatus] = {getStatus, M, true};
    t[kReboot] = {reboot, M, true};
    return t;
}

constexpr Table kTable = makeTable();

// Another command's replies that arrive before this one's.
void pushForeign(FrameCore& core, int number)
{
    for (int i = std::exchange(core.faults.link.foreignBefore, 0); i > 0; --i) {
        uint8_t* foreign = core.usb.push();
        foreign[1] = static_cast<uint8_t>((number + 1) & 0x3F);
        foreign[2] = kStatusDone;
    }
}

// Whether the plan replaces this command's reply by a status.
bool replacedByStatus(StatusFault& f, int number)
{
    if (f.count <= 0 || (f.command >= 0 && f.command != number))
        return false;
    if (f.after > 0) {
        --f.after;
        return false;
    }
    --f.count;
    return true;
}

} // namespace

void serveCommand(FrameCore& core, const uint8_t* report)
{
    const uint8_t code = report[1];
    const int number = code & 0x3F;
    ++core.counters.commands[static_cast<size_t>(number)];
    core.counters.lastCode = code;

    LinkFaults& link = core.faults.link;
    if (link.dropNext > 0) {
        --link.dropNext;
        return;
    }
    if (core.firmware.bootLoader && core.faults.bootLoader.mute)
        return;
    if (link.dropCommands.test(static_cast<size_t>(number)))
        return;
    const uint8_t wanted = report[2];
    const bool workSwitch = number == kSwitchMode && !core.firmware.bootLoader &&
                            (wanted == kModeWork || wanted == kModeWorkAfterLeveling);
    const WorkModeFault workFault = workSwitch ? core.faults.firmware.workMode : WorkModeFault::Off;
    if (workFault == WorkModeFault::Mute)
        return;

    pushForeign(core, number);
    uint8_t* reply = core.usb.push();
    reply[1] = static_cast<uint8_t>(number);
    if (workFault == WorkModeFault::Refuse) {
        reply[2] = kStatusRefused;
        return;
    }
    if (replacedByStatus(link.answer, number)) {
        reply[2] = link.answer.status;
        return;
    }
    const Entry& entry = kTable[static_cast<size_t>(number)];
    Request request;
    request.code = code;
    request.flags = code & 0xC0;
    request.number = number;
    request.unit = entry.unit;
    request.payload = report + 2;
    request.reply = reply + 3;
    const bool served = entry.handler && (!core.firmware.bootLoader || entry.bootLoader);
    const bool done = served && entry.handler(core, request);
    reply[2] = done ? kStatusDone : kStatusRefused;
    if (done && !core.observers.empty()) {
        std::array<UnitMemory, 2> memory{core.memory[0].view(), core.memory[1].view()};
        bool flashChanged = false;
        for (const CommandObserver& observer : core.observers)
            flashChanged = observer(code, report + 2, memory) || flashChanged;
        if (flashChanged)
            core.flashChanged();
    }
}

} // namespace tovrin::sim
