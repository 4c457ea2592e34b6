#pragma once
// The frame's status and working modes. Right after the frame is opened in
// its application firmware the tool asks for its status and decides whether
// it can be used, must be updated, must first be leveled and calibrated, or
// is faulty. Around every job that changes the frame the tool switches it
// into calibration mode and back into work mode.
//
// Status reply (61 bytes):
//   [0]    device state (3 = ready)     [1] current mode code
//   [2-5]  Master error word, u32 LE    [6-9] Slave error word, u32 LE
//   [26]   1 = extended-frame device (up to 11 lines per image)
// Error word bits: lowest byte 0x9A or second byte 0x01 hardware fault;
// lowest byte 0x01 firmware not ready; lowest byte 0x40 not leveled or not
// calibrated; second byte 0x04 ask again.

#include <QString>

#include <atomic>
#include <cstdint>
#include <span>

namespace tovrin::device {

// Results of TestCommunication.
enum StatusResult : int {
    kStatusReady = 0,
    kStatusNoLink = 1,           // no reply and no timeout, or asked again without success
    kStatusHardwareFault = 2,
    kStatusFirmwareNotReady = 3,
    kStatusNotCalibrated = 4,
    kStatusTimedOut = 5,
};

extern std::atomic<int> g_getStatusError;
extern std::atomic<uint32_t> g_ErrorCodeM;
extern std::atomic<uint32_t> g_ErrorCodeS;
extern std::atomic<int> ExtendedFrameDevice;
extern std::atomic<int> g_isSwitchMode;

namespace mode {
constexpr uint8_t Calibration = 0xFF;
constexpr uint8_t Work = 0x22;
constexpr uint8_t WorkAfterLeveling = 0xEE;
constexpr uint8_t FpgaReset = 0xBB;
constexpr uint8_t Reset = 0xCC;
} // namespace mode

// The decision on one status reply: a result, or -1 to ask again.
int decideStatus(std::span<const uint8_t> status61);

// Asks the frame for its status (at most two requests, 1 s + 2 s before the
// first and 5 s before the second) and sets g_getStatusError, the error
// words and ExtendedFrameDevice. Returns the result. A stop request (the
// detection thread ending) cuts the waits short: the result is then
// kStatusNoLink and nothing else is changed.
int TestCommunication(const std::atomic<bool>* stop = nullptr);

// The message the engineering tool shows for a status test result: 15
// "Devices check completed.", 14 communication failed, 16 firmware not
// ready, 143 level and calibrate first, 137 firmware mismatch, 142
// equipment anomalies (with both error words).
int statusMessageId(int result);

// What a window shows after a failed or refused mode switch.
struct ModeSwitchOutcome {
    bool ok = false;
    int messageId = -1;          // -1 nothing to show; else 142 (with both error words) or 18
    bool frameLost = false;      // the frame stopped answering: treat as gone
    bool deviceAbsent = false;   // g_bDevExist was 0: nothing was sent
};

// Switches the mode with the retry and refusal checks of each mode code.
ModeSwitchOutcome SwitchModeChecked(uint8_t modeCode);

// The text of message 142 with both error words: "0x%1, 0x%2" in hexadecimal.
QString errorWordsText(const QString& message142);

// Message 142, equipment anomalies, carries both error words.
constexpr int kEquipmentAnomaliesMessage = 142;

// The text of a message of the current language as a status line shows it:
// message 142 with both error words filled in.
QString statusMessageText(int messageId);

// A mode switch (or a step of an update) that failed is marked in bit 31 of
// both error words, which message 142 then shows.
void markSwitchFailure();

// 0 the firmware of both units matches, 1 it does not, 2 a version could not be read.
int FirmwareMatches();

// The version match rule on two version words (major in bits 24-31, minor
// 16-23, build 0-15).
bool versionsMatch(uint32_t master, uint32_t slave);

} // namespace tovrin::device
