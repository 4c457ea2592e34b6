#pragma once
// One command transaction: a 64-byte output report with a command code and
// its payload, then input reports until the frame's reply to that command.
//
// Output report (host to frame):
//   [0] 3 (report ID)  [1] command code (bits 0-5 number, 6-7 flags)
//   [2 .. 2+n-1] payload (n <= 62)  [rest] 0
// Input report (frame to host):
//   [0] report ID (not examined)  [1] command number (code & 0x3F)
//   [2] status: 0x22 done, 0xFF refused, other values not done
//   [3 .. 63] reply payload (up to 61 bytes)

#include <atomic>
#include <cstdint>

namespace tovrin::device {

enum LinkStateValue : uint8_t {
    LINK_OK = 0,        // a reply with status 0x22 arrived
    LINK_REFUSED = 1,   // a reply for this command came with status 0xFF
    LINK_NO_REPLY = 2,  // a read failed before any matching reply (timeout, device gone)
};

// What the last transaction of the process found out about the frame. Any
// thread's transaction writes it; to learn why one's OWN call failed, read
// the CommandOutcome of that call (Transact, lastOutcome()) instead.
extern std::atomic<uint8_t> LinkState;

// The outcome of one transaction, for the caller that ran it.
struct CommandOutcome {
    enum Kind : uint8_t {
        Done,     // a reply for this command with status 0x22
        Refused,  // a reply for this command with status 0xFF
        NotDone,  // a reply for this command with another status (in `status`)
        NoReply,  // a read failed before a matching reply came (timeout, device gone)
        Foreign,  // more than 100 reports for other commands
        NotSent,  // refused before anything went on the wire
    };
    Kind kind = NotSent;
    uint8_t status = 0;     // status byte of the reply (Done, Refused, NotDone)
    bool timedOut = false;  // NoReply because the wait ran out (not an unplug)
    int dropped = 0;        // stale input reports dropped before the command went out

    bool ok() const { return kind == Done; }
    bool noReply() const { return kind == NoReply; }
    bool refused() const { return kind == Refused; }
};

constexpr uint8_t kReportId = 3;
constexpr uint8_t kStatusDone = 0x22;
constexpr uint8_t kStatusRefused = 0xFF;
constexpr uint8_t kNoCommand = 0xFF;  // an address space the operation does not serve
constexpr int kMaxPayload = 62;
constexpr int kMaxReply = 61;
constexpr int kMaxForeignReplies = 100;

// Command codes, Master / Slave where the unit matters.
namespace cmd {
constexpr uint8_t ReadLineData[2] = {0, 1};
constexpr uint8_t ReadLineDataPacked[2] = {0xC0, 0xC1};
constexpr uint8_t WriteRegister[2] = {4, 23};
constexpr uint8_t ReadRegisters[2] = {5, 24};
constexpr uint8_t ReadRegister[2] = {6, 25};
constexpr uint8_t WriteSensor[2] = {7, 26};
constexpr uint8_t ReadSensor[2] = {8, 27};
constexpr uint8_t WriteFlash[2] = {9, 28};
constexpr uint8_t ReadFlash[2] = {10, 29};
constexpr uint8_t ArmTouchData = 11;
constexpr uint8_t EraseFlash[2] = {13, 32};
constexpr uint8_t SwitchMode = 14;
constexpr uint8_t SearchLine[2] = {17, 36};
constexpr uint8_t SetLine[2] = {18, 37};
constexpr uint8_t ReadLineRange[2] = {19, 38};
constexpr uint8_t ReadZones[2] = {20, 39};
constexpr uint8_t ReadTouchPoints = 30;
constexpr uint8_t ReadExposure[2] = {42, 43};
constexpr uint8_t DownloadPort4000[2] = {47, 31};
constexpr uint8_t DownloadPort8000[2] = {46, 52};
constexpr uint8_t GetStatus = 48;
constexpr uint8_t Reboot = 56;
} // namespace cmd

// Wait times (ms) of the commands.
namespace wait {
constexpr uint32_t Register = 3000;
constexpr uint32_t Sensor = 20000;
constexpr uint32_t SensorRead = 3000;
constexpr uint32_t FlashWrite = 20000;
constexpr uint32_t FlashWritePiece = 3000;
constexpr uint32_t FlashRead = 3000;
constexpr uint32_t Erase = 3000;
constexpr uint32_t LineData = 10000;
constexpr uint32_t Leveling = 5000;
constexpr uint32_t Exposure = 20000;
constexpr uint32_t Touch = 3000;
constexpr uint32_t Mode = 10000;
constexpr uint32_t Status = 2000;
constexpr uint32_t Reboot = 15000;
constexpr uint32_t Download = 20000;
} // namespace wait

// Sends one command and waits for its reply (each read waits at most
// waitMs, set in IoWaitMs under the transaction lock). Input reports already
// waiting when the command is about to go out are replies the frame sent
// after an earlier transaction gave up: they are dropped first (and counted
// in the log), so that none is taken for this command's reply.
// The outcome:
//  - Done: replyLength reply payload bytes are in reply; LinkState = LINK_OK;
//  - NotSent: code 0xFF, a payload over 62 or a reply length over 61 bytes;
//    nothing sent, nothing changed;
//  - NoReply (timeout, device gone): LinkState = LINK_NO_REPLY, reply untouched;
//  - Refused / NotDone, a reply for this command with status 0xFF / another
//    status: reply filled with 0xFF over replyLength bytes; LinkState =
//    LINK_REFUSED after a refusal, unchanged otherwise;
//  - Foreign, more than 100 reports for other commands: nothing else changed.
// The outcome is also kept as the calling thread's lastOutcome().
CommandOutcome Transact(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply,
                        uint8_t replyLength, uint32_t waitMs);

// Transact, true when Done. Without waitMs the current IoWaitMs applies.
bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength);
bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength,
                 uint32_t waitMs);

// The outcome of the last transaction the calling thread ran, whatever other
// threads did since: what a device operation that returned false ran into.
// NotSent before the first one, and after an operation refused a call
// before sending (noteNotSent).
CommandOutcome lastOutcome();
void noteNotSent();

} // namespace tovrin::device
