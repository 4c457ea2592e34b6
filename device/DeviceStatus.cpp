#include "DeviceStatus.h"

#include "Command.h"
#include "DeviceOps.h"
#include "HidLink.h"
#include "UnitAddress.h"
#include "UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <array>

namespace tovrin::device {

std::atomic<int> g_getStatusError{0};
std::atomic<uint32_t> g_ErrorCodeM{0};
std::atomic<uint32_t> g_ErrorCodeS{0};
std::atomic<int> ExtendedFrameDevice{0};
std::atomic<int> g_isSwitchMode{0};

namespace {

constexpr uint32_t kSensorInfoFlag = 0x46574946;  // "FIWF": a calibration has been stored
constexpr int kCalibrationRecordSize = 1354;

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

void setSwitchFailureBits()
{
    g_ErrorCodeM.fetch_or(0x80000000u);
    g_ErrorCodeS.fetch_or(0x80000000u);
}

} // namespace

int decideStatus(std::span<const uint8_t> s)
{
    const uint8_t mLow = s[2], mSecond = s[3], sLow = s[6], sSecond = s[7];
    if (((mLow | sLow) & 0x9A) || ((mSecond | sSecond) & 0x01))
        return kStatusHardwareFault;
    if ((mLow | sLow) & 0x01)
        return kStatusFirmwareNotReady;
    if ((mLow | sLow) & 0x40)
        return kStatusNotCalibrated;
    if (s[0] != 3 || ((mSecond | sSecond) & 0x04))
        return -1;
    return kStatusReady;
}

int TestCommunication(const std::atomic<bool>* stop)
{
    if (!sleepMsUnless(1000, stop))
        return kStatusNoLink;
    g_getStatusError.store(0);
    std::array<uint8_t, kStatusSize> status{};
    // At most two requests: 2 s before the first, 5 s before the second.
    const int waits[2] = {2000, 5000};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!sleepMsUnless(waits[attempt], stop))
            return kStatusNoLink;
        if (!GetStatus(status))
            continue;
        g_ErrorCodeM.store(get32(status.data() + 2));
        g_ErrorCodeS.store(get32(status.data() + 6));
        shell::LogF("TestCommunication! Current mode code = 0x%x!\n", status[1]);
        shell::LogF("TestCommunication! g_ErrorCodeM = 0x%x, g_ErrorCodeS = 0x%x\n", g_ErrorCodeM.load(),
                    g_ErrorCodeS.load());
        const int decision = decideStatus(status);
        if (decision < 0)
            continue;  // not ready yet: ask again
        if (decision == kStatusReady)
            ExtendedFrameDevice.store(status[26] == 1 ? 1 : 0);
        g_getStatusError.store(decision);
        return decision;
    }
    // No usable answer after the attempts. Whether the last request timed
    // out is that request's own outcome, not what another thread left.
    g_getStatusError.store(kStatusNoLink);
    shell::LogF("TestCommunication! g_getStatusError=%d\n", kStatusNoLink);
    if (lastOutcome().timedOut) {
        g_getStatusError.store(kStatusTimedOut);
        return kStatusTimedOut;
    }
    g_isDeviceCommunicate.store(0);
    return kStatusNoLink;
}

ModeSwitchOutcome SwitchModeChecked(uint8_t modeCode)
{
    ModeSwitchOutcome out;
    if (!g_bDevExist.load()) {
        out.deviceAbsent = true;
        return out;
    }
    // Every decision below is taken from the switch's own reply (or its
    // absence), never from what an earlier command left in LinkState.
    CommandOutcome sent;
    auto lost = [&] {
        if (sent.noReply()) {
            g_bDevExist.store(0);
            g_isDeviceCommunicate.store(0);
            out.frameLost = true;
        }
    };

    if (modeCode == mode::Calibration) {
        if (SwitchMode(modeCode, nullptr, sent)) {
            out.ok = true;
            return out;
        }
        sleepMs(100);
        if (SwitchMode(modeCode, nullptr, sent)) {
            out.ok = true;
            return out;
        }
        setSwitchFailureBits();
        out.messageId = 142;
        g_isSwitchMode.store(0);
        shell::LogF("Switch to calibration mode failed! g_isSwitchMode=%d\n", 0);
        lost();
        return out;
    }
    if (modeCode == mode::Reset) {
        if (SwitchMode(modeCode, nullptr, sent)) {
            out.ok = true;
            return out;
        }
        g_isSwitchMode.store(0);
        shell::LogF("Switch to cc failed! g_isSwitchMode=%d\n", 0);
        lost();
        return out;
    }

    if (SwitchMode(modeCode, nullptr, sent)) {
        out.ok = true;
        return out;
    }
    g_isSwitchMode.store(0);
    if (!g_isDeviceCommunicate.load()) {
        out.ok = true;  // the frame is already known not to talk: nothing more to do
        return out;
    }
    if (sent.timedOut || !sent.refused() || (modeCode != mode::Work && modeCode != mode::WorkAfterLeveling)) {
        shell::LogF("Switch to wrok mode failed! g_isSwitchMode=%d\n", 0);
        lost();
        return out;
    }
    // Work mode refused: a frame without a stored calibration refuses work
    // mode as its normal state. Only when both records are valid is it a fault.
    std::array<uint8_t, kCalibrationRecordSize> record{};
    bool bothValid = true;
    for (const uint32_t address : {flashAddress(Unit::Slave, flash::kCalibrationRecord),
                                   flashAddress(Unit::Master, flash::kCalibrationRecord)}) {
        if (!ReadToBuffer(address, kCalibrationRecordSize, record)) {
            out.messageId = 18;
            shell::LogF("Switch to wrok mode failed! SwitchMode(ReadCalibInfo) g_isSwitchMode=%d\n", 0);
            out.frameLost = lastOutcome().noReply();
            return out;
        }
        if (get32(record.data()) != kSensorInfoFlag)
            bothValid = false;
    }
    if (!bothValid) {
        out.ok = true;
        return out;
    }
    setSwitchFailureBits();
    out.messageId = 142;
    shell::LogF("Switch to wrok mode failed! SwitchMode(SENSORInfoFlag) g_isSwitchMode=%d\n", 0);
    return out;
}

int statusMessageId(int result)
{
    switch (result) {
    case kStatusReady: return 15;
    case kStatusNoLink: return 14;
    case kStatusFirmwareNotReady: return 16;
    case kStatusNotCalibrated: return 143;
    case kStatusTimedOut: return 137;
    default: return 142;
    }
}

QString errorWordsText(const QString& message142)
{
    return message142.arg(QString::number(g_ErrorCodeM.load(), 16), QString::number(g_ErrorCodeS.load(), 16));
}

QString statusMessageText(int messageId)
{
    const QString text = shell::context().text(messageId);
    return messageId == kEquipmentAnomaliesMessage ? errorWordsText(text) : text;
}

void markSwitchFailure()
{
    g_ErrorCodeM.fetch_or(0x80000000u);
    g_ErrorCodeS.fetch_or(0x80000000u);
}

bool versionsMatch(uint32_t master, uint32_t slave)
{
    auto major = [](uint32_t v) {
        const uint32_t m = v >> 24;
        return m == 0 ? 1u : m;  // a major of 0 counts as 1
    };
    auto minor = [](uint32_t v) { return (v >> 16) & 0xFFu; };
    auto build = [](uint32_t v) { return v & 0xFFFFu; };
    if (major(master) == 1 && minor(master) == 1) {
        return build(master) >= 64 && build(master) <= 127 && major(slave) == 1 && minor(slave) == 1
               && build(slave) >= 64 && build(slave) <= 127;
    }
    return minor(master) == 2 && minor(slave) == 2;
}

int FirmwareMatches()
{
    uint8_t m[4], s[4];
    if (!ReadToBuffer(flashAddress(Unit::Master, flash::kVersionRecord), 4, m))
        return 2;
    if (!ReadToBuffer(flashAddress(Unit::Slave, flash::kVersionRecord), 4, s))
        return 2;
    return versionsMatch(get32(m), get32(s)) ? 0 : 1;
}

} // namespace tovrin::device
