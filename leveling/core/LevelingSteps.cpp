#include "LevelingSteps.h"

#include "LevelingState.h"

#include "device/HidLink.h"
#include "device/Transport.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"

#include <array>

namespace tovrin::leveling {

namespace {

constexpr uint32_t kCaptureRegister = 0x30;
constexpr uint32_t kZonePositionRegister = 0x20;
constexpr uint32_t kZoneCodeRegister = 0x2A;

uint16_t get16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

uint32_t unitBits(int unit) { return unit ? device::kSlaveBit : 0u; }

uint32_t recordAddress(int unit)
{
    return device::flashAddress(unit ? device::Unit::Slave : device::Unit::Master, device::flash::kCalibrationRecord);
}

bool markOnFailure(bool ok)
{
    if (!ok)
        device::markGoneOnNoReply();
    return ok;
}

} // namespace

RecordHead RecordHead::decode(std::span<const uint8_t> b)
{
    RecordHead h;
    if (b.size() < 12)
        return h;
    h.flag = static_cast<uint32_t>(get16(b, 0)) | (static_cast<uint32_t>(get16(b, 2)) << 16);
    h.startLine = get16(b, 4);
    h.exposureWord = get16(b, 6);
    h.startColumn = get16(b, 8);
    h.endColumn = get16(b, 10);
    return h;
}

bool RecordHead::isValid() const { return flag == 0x46574946u; }

bool takeRecordHeads()
{
    g_StartLineM = kUnknownStartLine;
    g_StartLineS = kUnknownStartLine;
    for (int unit : {kMaster, kSlave})
        setColumns(unit, 0, 639);
    for (int unit : {kMaster, kSlave}) {
        std::array<uint8_t, RecordHead::kReadSize> bytes{};
        if (!device::ReadToBuffer(recordAddress(unit), RecordHead::kReadSize, bytes))
            return false;
        const RecordHead head = RecordHead::decode(bytes);
        startLineOf(unit) = head.startLine;
        setColumns(unit, head.startColumn, head.endColumn);
        setExposure(unit, static_cast<uint8_t>(head.exposureWord >> 8), static_cast<uint8_t>(head.exposureWord));
    }
    return true;
}

device::ZoneTable zoneTableFromRegisters(std::span<const uint8_t, 7> positions, std::span<const uint8_t, 4> codes,
                                         uint16_t endColumn)
{
    device::ZoneTable table{};
    for (size_t e = 0; e < 8; ++e) {
        table[e].position = e < 7 ? static_cast<uint16_t>(positions[e] * 10) : endColumn;
        const uint8_t pair = codes[e / 2];
        table[e].code = static_cast<uint16_t>(((e % 2) ? (pair >> 4) : pair) & 7);
    }
    return table;
}

CaptureResult captureFrame(int unit, const CaptureOptions& o)
{
    auto check = [&] { return !o.check || o.check(); };
    if (!check())
        return CaptureResult::Stopped;
    if (o.sleepBeforeWriteMs > 0)
        sleepMs(o.sleepBeforeWriteMs);
    const bool written = device::PortWrite(unitBits(unit) | kCaptureRegister, 1, 1, true);
    if (o.onWrite)
        o.onWrite(written);
    if (!written)
        return CaptureResult::Failed;
    for (int poll = 0; poll < o.maxPolls; ++poll) {
        if (!check())
            return CaptureResult::Stopped;
        sleepMs(o.pollSleepMs);
        uint8_t value = 0xFF;
        const bool ok = device::RegisterRead(unitBits(unit) | kCaptureRegister, true, value);
        if (o.onRead)
            o.onRead(ok);
        if (!ok)
            return CaptureResult::Failed;
        if (value == 0)
            return CaptureResult::Done;
    }
    return CaptureResult::TooManyPolls;
}

bool readZoneRegisters(int unit, const std::function<void(bool)>& onRead)
{
    std::array<uint8_t, 7> positions{};
    std::array<uint8_t, 4> codes{};
    auto read = [&](uint32_t reg, uint8_t& value) {
        const bool ok = device::RegisterRead(unitBits(unit) | reg, true, value);
        if (onRead)
            onRead(ok);
        return ok;
    };
    for (size_t e = 0; e < positions.size(); ++e)
        if (!read(kZonePositionRegister + static_cast<uint32_t>(e), positions[e]))
            return false;
    for (size_t k = 0; k < codes.size(); ++k)
        if (!read(kZoneCodeRegister + static_cast<uint32_t>(k), codes[k]))
            return false;
    setZones(unit, zoneTableFromRegisters(positions, codes, unitLeveling(unit).endColumn));
    return true;
}

void changeStartLine(int unit)
{
    g_OptimumStartLine = 0;
    const int line = startLineOf(unit).load();
    if (line >= 0 && line <= 0xFFFF && markOnFailure(device::SetLine(unit, static_cast<uint16_t>(line))))
        g_OptimumStartLine = 1;
    g_SearchColumn = 0;
    uint32_t first = 65535, last = 65535;
    if (markOnFailure(device::ReadLineRange(unit, first, last))) {
        setColumns(unit, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
        g_SearchColumn = 1;
    }
    device::ZoneTable zones{};
    const bool ok = markOnFailure(device::ReadZones(unit, zones));
    g_OptimumLineFlag = ok ? 1 : 0;
    if (ok)
        setZones(unit, zones);
}

bool configureEnvironment()
{
    for (int unit : {kMaster, kSlave}) {
        std::array<uint8_t, RecordHead::kReadSize> bytes{};
        if (!device::ReadToBuffer(recordAddress(unit), RecordHead::kReadSize, bytes))
            return false;
        const RecordHead head = RecordHead::decode(bytes);
        if (head.startLine < 1 || head.startLine > 640)
            return false;
        startLineOf(unit) = head.startLine;
        setColumns(unit, head.startColumn, head.endColumn);
        setExposure(unit, static_cast<uint8_t>(head.exposureWord >> 8), static_cast<uint8_t>(head.exposureWord));
        if (!markOnFailure(device::SetLine(unit, head.startLine)))
            return false;
    }
    return true;
}

void settleLinkLoss()
{
    if (device::g_isDeviceCommunicate.load())
        return;
    uint16_t pid = 0;
    if (device::CheckHidDevice(pid) != device::kCheckFrameOk) {
        device::g_bDevExist = 0;
        device::g_isDeviceCommunicate = 1;
    }
}

bool sensorRead(int unit, uint8_t reg, uint8_t& value)
{
    value = 0xFF;
    return markOnFailure(device::ReadUnit(unitBits(unit) | device::kSensorSpace | reg, 1, std::span(&value, 1)));
}

bool sensorWrite(int unit, uint8_t reg, uint8_t value)
{
    return markOnFailure(device::WriteUnit(unitBits(unit) | device::kSensorSpace | reg, 1, std::span(&value, 1)));
}

} // namespace tovrin::leveling
