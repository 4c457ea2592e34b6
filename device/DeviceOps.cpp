#include "DeviceOps.h"

#include "Command.h"
#include "HidLink.h"
#include "UnitAddress.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tovrin::device {
namespace {

constexpr int kRegisterReadPiece = 61;
constexpr int kRegisterWritePiece = 59;
constexpr int kFlashReadPiece = 61;
constexpr int kFlashWritePiece = 58;
constexpr int kFlashWriteGroup = 256;
constexpr int kDownloadMax = 62;

int slaveIndex(uint32_t address) { return isSlave(address) ? 1 : 0; }
int unitIndex(int unit) { return unit ? 1 : 0; }

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put24(uint8_t* p, uint32_t v)
{
    put16(p, v);
    p[2] = static_cast<uint8_t>(v >> 16);
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A call the frame cannot be asked: nothing is sent, and the calling thread's
// last outcome says so, so that no caller reads an older failure into it.
bool refuse()
{
    noteNotSent();
    return false;
}

std::mutex g_touchMutex;
TouchReport g_lastTouch;

} // namespace

bool ReadRegister(uint32_t address, uint8_t& value)
{
    const uint8_t payload[4] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 1, 0};
    uint8_t reply = 0xFF;
    if (!SendCommand(cmd::ReadRegister[slaveIndex(address)], payload, 4, &reply, 1, wait::Register)) {
        value = 0xFF;
        return false;
    }
    value = reply;
    return true;
}

bool ReadUnit(uint32_t address, int count, std::span<uint8_t> buffer)
{
    if (count <= 0) {
        noteNotSent();
        return true;
    }
    if (static_cast<size_t>(count) > buffer.size())
        return refuse();
    const int u = slaveIndex(address);
    const uint32_t offset = offsetOf(address);
    std::lock_guard lock(transactionMutex());  // the pieces of one read stay together

    auto fail = [&] {
        std::fill_n(buffer.begin(), count, uint8_t{0xFF});
        return false;
    };

    switch (spaceOf(address)) {
    case Space::Register: {
        for (int done = 0; done < count; done += kRegisterReadPiece) {
            const int n = std::min(kRegisterReadPiece, count - done);
            // Every piece carries the same start address and its own length.
            const uint8_t payload[4] = {static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
                                        static_cast<uint8_t>(n), 0};
            if (!SendCommand(cmd::ReadRegisters[u], payload, 4, buffer.data() + done, static_cast<uint8_t>(n),
                             wait::Register))
                return fail();
        }
        return true;
    }
    case Space::Sensor: {
        const uint8_t payload[1] = {static_cast<uint8_t>(offset)};
        if (!SendCommand(cmd::ReadSensor[u], payload, 1, buffer.data(), 1, wait::SensorRead))
            return fail();
        return true;
    }
    case Space::Flash: {
        for (int done = 0; done < count; done += kFlashReadPiece) {
            const int n = std::min(kFlashReadPiece, count - done);
            uint8_t payload[4];
            put24(payload, (offset + static_cast<uint32_t>(done)) & 0xFFFFFFu);
            payload[3] = static_cast<uint8_t>(n);
            if (!SendCommand(cmd::ReadFlash[u], payload, 4, buffer.data() + done, static_cast<uint8_t>(n),
                             wait::FlashRead))
                return fail();
        }
        return true;
    }
    case Space::Download:
        break;
    }
    return refuse();
}

bool WriteUnit(uint32_t address, int count, std::span<const uint8_t> data)
{
    if (count <= 0) {
        noteNotSent();
        return true;
    }
    if (static_cast<size_t>(count) > data.size())
        return refuse();
    const int u = slaveIndex(address);
    const uint32_t offset = offsetOf(address);
    std::lock_guard lock(transactionMutex());

    switch (spaceOf(address)) {
    case Space::Register: {
        for (int done = 0; done < count; done += kRegisterWritePiece) {
            const int n = std::min(kRegisterWritePiece, count - done);
            uint8_t payload[3 + kRegisterWritePiece];
            payload[0] = static_cast<uint8_t>(offset);
            payload[1] = static_cast<uint8_t>(offset >> 8);
            payload[2] = static_cast<uint8_t>(n);
            std::memcpy(payload + 3, data.data() + done, static_cast<size_t>(n));
            if (!SendCommand(cmd::WriteRegister[u], payload, static_cast<uint8_t>(n + 3), nullptr, 0, wait::Register))
                return false;
        }
        return true;
    }
    case Space::Sensor: {
        const uint8_t payload[2] = {static_cast<uint8_t>(offset), data[0]};
        return SendCommand(cmd::WriteSensor[u], payload, 2, nullptr, 0, wait::Sensor);
    }
    case Space::Flash: {
        auto writePiece = [&](uint32_t at, const uint8_t* bytes, int n, uint32_t waitMs) {
            uint8_t payload[4 + kFlashWritePiece];
            put24(payload, at & 0xFFFFFFu);
            payload[3] = static_cast<uint8_t>(n);
            std::memcpy(payload + 4, bytes, static_cast<size_t>(n));
            return SendCommand(cmd::WriteFlash[u], payload, static_cast<uint8_t>(n + 4), nullptr, 0, waitMs);
        };
        if (count <= kFlashWritePiece)
            return writePiece(offset, data.data(), count, wait::FlashWrite);
        // Longer writes: 256-byte groups, each in pieces of up to 58 bytes,
        // every piece at the start address plus its offset in the data.
        for (int group = 0; group < count; group += kFlashWriteGroup) {
            const int groupEnd = std::min(count, group + kFlashWriteGroup);
            for (int done = group; done < groupEnd; done += kFlashWritePiece) {
                const int n = std::min(kFlashWritePiece, groupEnd - done);
                if (!writePiece(offset + static_cast<uint32_t>(done), data.data() + done, n, wait::FlashWritePiece))
                    return false;
            }
        }
        return true;
    }
    case Space::Download: {
        const uint32_t port = offset & 0xC000u;
        uint8_t code;
        if (port == 0x4000u)
            code = cmd::DownloadPort4000[u];
        else if (port == 0x8000u)
            code = cmd::DownloadPort8000[u];
        else
            return refuse();
        if (count > kDownloadMax)
            return refuse();
        code = static_cast<uint8_t>(code | (address & 0xC0u));
        return SendCommand(code, data.data(), static_cast<uint8_t>(count), nullptr, 0, wait::Download);
    }
    }
    return refuse();
}

bool EraseFlash(uint32_t address, uint8_t byte3, uint8_t byte4)
{
    if (spaceOf(address) != Space::Flash)
        return refuse();
    uint8_t payload[5];
    put24(payload, offsetOf(address));
    payload[3] = byte3;
    payload[4] = byte4;
    return SendCommand(cmd::EraseFlash[slaveIndex(address)], payload, 5, nullptr, 0, wait::Erase);
}

bool ReadLineData(uint8_t m, uint32_t position, int count, std::span<uint8_t> buffer, uint16_t& total)
{
    uint8_t payload[3];
    put16(payload, position & 0xFFFFu);
    if ((m & 0xC0) == 0xC0) {
        // Packed form: 2 bytes of total stream length, then 59 stream bytes.
        // The length byte is 255 (the header of a line) or 1-59 stream bytes.
        if (buffer.size() < 59 || count <= 0 || (count > 59 && count != 255))
            return refuse();
        payload[2] = static_cast<uint8_t>(count);
        uint8_t reply[kMaxReply];
        const uint8_t code = (m & 0x0F) == 0 ? cmd::ReadLineDataPacked[0] : cmd::ReadLineDataPacked[1];
        if (!SendCommand(code, payload, 3, reply, kMaxReply, wait::LineData))
            return false;
        total = get16(reply);
        std::memcpy(buffer.data(), reply + 2, 59);
        return true;
    }
    // No line data is read in zero-byte pieces.
    if (count <= 0 || count > kMaxReply || static_cast<size_t>(count) > buffer.size())
        return refuse();
    payload[2] = static_cast<uint8_t>(count);
    const uint8_t code = static_cast<uint8_t>(((position >> 30) & 3u) << 6) | (m != 0 ? 1 : 0);
    return SendCommand(code, payload, 3, buffer.data(), static_cast<uint8_t>(count), wait::LineData);
}

bool SearchLine(int unit, uint16_t lower, uint16_t upper, uint32_t& startLine)
{
    uint8_t payload[4];
    put16(payload, lower);
    put16(payload + 2, upper);
    uint8_t reply[2];
    if (!SendCommand(cmd::SearchLine[unitIndex(unit)], payload, 4, reply, 2, wait::Leveling)) {
        startLine = 65535;
        return false;
    }
    startLine = get16(reply);
    return true;
}

bool SetLine(int unit, uint16_t startLine)
{
    uint8_t payload[2];
    put16(payload, startLine);
    return SendCommand(cmd::SetLine[unitIndex(unit)], payload, 2, nullptr, 0, wait::Leveling);
}

bool ReadLineRange(int unit, uint32_t& startColumn, uint32_t& endColumn)
{
    uint8_t reply[4];
    if (!SendCommand(cmd::ReadLineRange[unitIndex(unit)], nullptr, 0, reply, 4, wait::Leveling)) {
        startColumn = endColumn = 65535;
        return false;
    }
    startColumn = get16(reply);
    endColumn = get16(reply + 2);
    return true;
}

bool ReadZones(int unit, ZoneTable& table)
{
    uint8_t reply[12];
    const bool ok = SendCommand(cmd::ReadZones[unitIndex(unit)], nullptr, 0, reply, 12, wait::Leveling);
    if (!ok || reply[0] != kStatusDone) {
        for (ZoneEntry& e : table) {
            e.position = e.code = 0xFFFF;
            std::fill(std::begin(e.reserved), std::end(e.reserved), uint16_t{0xFFFF});
        }
        return false;
    }
    for (int zone = 0; zone < 8; ++zone) {
        ZoneEntry& e = table[static_cast<size_t>(zone)];
        e = ZoneEntry{};
        e.position = zone < 7 ? static_cast<uint16_t>(reply[1 + zone] * 10) : uint16_t{639};
        const uint8_t codes = reply[8 + zone / 2];
        e.code = static_cast<uint16_t>(((zone % 2) ? (codes >> 4) : codes) & 7);
    }
    return true;
}

bool ReadExposure(int unit, uint8_t& high, uint8_t& low, uint32_t& startColumn, uint32_t& endColumn)
{
    uint8_t reply[6];
    if (!SendCommand(cmd::ReadExposure[unitIndex(unit)], nullptr, 0, reply, 6, wait::Exposure)) {
        high = low = 0xFF;
        return false;
    }
    low = reply[0];
    high = reply[1];
    startColumn = get16(reply + 2);
    endColumn = get16(reply + 4);
    return true;
}

bool ArmTouchData()
{
    return SendCommand(cmd::ArmTouchData, nullptr, 0, nullptr, 0, wait::Touch);
}

int ReadTouchPoints(uint8_t request, uint8_t pointIndex, uint32_t screenPosition, uint8_t release,
                    TouchReport& report)
{
    report = TouchReport{};
    const uint8_t payload[7] = {request,
                                pointIndex,
                                static_cast<uint8_t>(screenPosition),
                                static_cast<uint8_t>(screenPosition >> 8),
                                static_cast<uint8_t>(screenPosition >> 16),
                                static_cast<uint8_t>(screenPosition >> 24),
                                release};
    uint8_t reply[52];
    const bool ok = SendCommand(cmd::ReadTouchPoints, payload, 7, reply, 52, wait::Touch);
    int result = 3;
    if (ok) {
        const int left = std::min<int>(reply[0], 5);
        const int right = std::min<int>(reply[26], 5);
        for (int i = 0; i < left; ++i) {
            const uint8_t* s = reply + 1 + 5 * i;
            report.master[static_cast<size_t>(i)] = {get16(s), get16(s + 2), s[4]};
        }
        for (int i = 0; i < right; ++i) {
            const uint8_t* s = reply + 27 + 5 * i;
            report.slave[static_cast<size_t>(i)] = {get16(s), get16(s + 2), s[4]};
        }
        report.counts = static_cast<uint16_t>(left | (right << 8));
        report.touchState = (left && right) ? 1 : right ? 2 : left ? 3 : 4;
        result = (left && right) ? 2 : (left || right) ? 1 : 0;
    }
    std::lock_guard lock(g_touchMutex);
    g_lastTouch = report;
    return result;
}

TouchReport lastTouchReport()
{
    std::lock_guard lock(g_touchMutex);
    return g_lastTouch;
}

bool SwitchMode(uint8_t mode, uint8_t* reply8)
{
    CommandOutcome outcome;
    return SwitchMode(mode, reply8, outcome);
}

bool SwitchMode(uint8_t mode, uint8_t* reply8, CommandOutcome& outcome)
{
    // Without a reply the caller gets "no value", never what the stack held.
    uint8_t reply[8];
    std::fill(std::begin(reply), std::end(reply), uint8_t{0xFF});
    outcome = Transact(cmd::SwitchMode, &mode, 1, reply, 8, wait::Mode);
    if (reply8)
        std::memcpy(reply8, reply, 8);
    return outcome.ok();
}

bool GetStatus(std::span<uint8_t> status61)
{
    if (status61.size() < static_cast<size_t>(kStatusSize))
        return refuse();
    return SendCommand(cmd::GetStatus, nullptr, 0, status61.data(), kStatusSize, wait::Status);
}

bool Reboot(uint8_t target)
{
    return SendCommand(cmd::Reboot, &target, 1, nullptr, 0, wait::Reboot);
}

} // namespace tovrin::device
