#pragma once
// The simulated frame's command protocol: one 64-byte output report in, the
// reply (if any) queued as an input report.
//
//   output report   0: ID 3   1: command code (number in bits 0-5, flags in
//                   bits 6-7)   2..63: payload
//   input report    0: ID 3   1: command number   2: status (0x22 done,
//                   0xFF refused)   3..63: reply payload
//
// One table maps each command number to its handler and says which unit it
// addresses and whether the boot loader serves it too. Requests are parsed
// and replies built by the handlers (ProtocolHandlers.cpp, ImageHandlers.cpp);
// this part checks the fault plan first: a reply dropped, replaced by a
// status (the command is then not executed), or preceded by reports of
// another command.
//
// Which firmware answers what:
//   application: every command of the table except the download channel
//     (47/31, 46/52), which is refused;
//   boot loader (product ID 0x0042): flash read/program/erase, the download
//     channel, GetStatus (device state 1, both error words 0x01 "firmware
//     not ready") and Reboot; everything else is refused.
//   Unknown command numbers are refused by both.

#include "sim/FrameTypes.h"

#include <cstdint>

namespace tovrin::sim {

struct FrameCore;

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

// One request as a handler sees it.
struct Request {
    uint8_t code = 0;        // as sent, flags included
    uint8_t flags = 0;       // code & 0xC0
    int number = 0;          // code & 0x3F
    Unit unit = Unit::Master;
    const uint8_t* payload = nullptr;  // 62 bytes
    uint8_t* reply = nullptr;          // 61 bytes
};

// A handler executes a request; false: the frame refuses it (status 0xFF).
using Handler = bool (*)(FrameCore& core, const Request& request);

// Handlers of ProtocolHandlers.cpp and ImageHandlers.cpp.
namespace handlers {
bool writeRegisters(FrameCore& core, const Request& r);
bool readRegisters(FrameCore& core, const Request& r);
bool readRegister(FrameCore& core, const Request& r);
bool writeSensor(FrameCore& core, const Request& r);
bool readSensor(FrameCore& core, const Request& r);
bool writeFlash(FrameCore& core, const Request& r);
bool readFlash(FrameCore& core, const Request& r);
bool eraseFlash(FrameCore& core, const Request& r);
bool armTouchData(FrameCore& core, const Request& r);
bool switchMode(FrameCore& core, const Request& r);
bool readTouchPoints(FrameCore& core, const Request& r);
bool download(FrameCore& core, const Request& r);
bool getStatus(FrameCore& core, const Request& r);
bool reboot(FrameCore& core, const Request& r);
bool readLineData(FrameCore& core, const Request& r);
bool searchLine(FrameCore& core, const Request& r);
bool setLine(FrameCore& core, const Request& r);
bool readLineRange(FrameCore& core, const Request& r);
bool readZones(FrameCore& core, const Request& r);
bool readExposure(FrameCore& core, const Request& r);
} // namespace handlers

// Serves one output report (its ID already checked).
void serveCommand(FrameCore& core, const uint8_t* report);

} // namespace tovrin::sim
