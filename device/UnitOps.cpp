#include "UnitOps.h"

#include "Command.h"
#include "DeviceOps.h"
#include "UnitAddress.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <vector>

namespace tovrin::device {

std::atomic<int> g_bDevExist{0};
std::atomic<int> g_isDeviceCommunicate{0};
std::atomic<int> SharedBufferValid{0};
std::atomic<uint32_t> LastRegAddress{0};
std::atomic<uint8_t> LastRegValue{0};
std::atomic<int> LastRegOk{0};
std::atomic<int> SelectedUnitIsSlave{0};
std::atomic<uint8_t> DownloadState{0};
std::atomic<int> DownloadUnitIsSlave{0};

namespace {

constexpr int kBurstReadMax = 624;
constexpr int kDownloadBlockMax = 62;
constexpr int kBurstWriteMax = 128;
constexpr size_t kFileNameMax = 16;  // the script block keeps 16 bytes of name

std::atomic<const char*> g_unitName{"Master"};
std::mutex g_bufferMutex;
std::array<uint8_t, kSharedBufferSize> g_sharedBuffer{};

std::mutex g_burstMutex;
std::string g_burstFile;
bool g_burstFileUsed = false;

void setUnit(uint32_t address) { g_unitName.store(unitName(address)); }

bool done(bool ok)
{
    if (!ok)
        markGoneOnNoReply();
    return ok;
}

void remember(uint32_t address, uint8_t value, bool ok)
{
    if (ok) {
        LastRegAddress.store(address);
        LastRegValue.store(value);
    }
    LastRegOk.store(ok ? 1 : 0);
}

uint32_t withSelectedUnit(uint32_t address, bool unitInAddress)
{
    return (!unitInAddress && SelectedUnitIsSlave.load()) ? (address | kSlaveBit) : address;
}

} // namespace

void markGoneOnNoReply()
{
    // This thread's own last transaction: a refusal before sending, or
    // another thread's timeout in between, never marks the frame gone.
    if (lastOutcome().noReply()) {
        g_bDevExist.store(0);
        g_isDeviceCommunicate.store(0);
    }
}

const char* CurrentUnitName()
{
    return g_unitName.load();
}

void copySharedBuffer(std::span<uint8_t> out)
{
    std::lock_guard lock(g_bufferMutex);
    std::copy_n(g_sharedBuffer.begin(), std::min(out.size(), g_sharedBuffer.size()), out.begin());
}

bool ReadToBuffer(uint32_t address, int count, std::span<uint8_t> out)
{
    setUnit(address);
    if (count < 0 || count > kSharedBufferSize || (!out.empty() && out.size() < static_cast<size_t>(count))) {
        SharedBufferValid.store(0);
        noteNotSent();
        return false;
    }
    std::lock_guard lock(g_bufferMutex);
    const bool ok = ReadUnit(address, count, g_sharedBuffer);
    SharedBufferValid.store(ok ? 1 : 0);
    if (!out.empty())
        std::copy_n(g_sharedBuffer.begin(), count, out.begin());
    return done(ok);
}

bool WriteFromBuffer(uint32_t address, std::span<const uint8_t> data)
{
    setUnit(address);
    if (data.size() > static_cast<size_t>(kSharedBufferSize)) {
        SharedBufferValid.store(0);
        noteNotSent();
        return false;
    }
    std::lock_guard lock(g_bufferMutex);
    std::copy(data.begin(), data.end(), g_sharedBuffer.begin());
    const bool ok = WriteUnit(address, static_cast<int>(data.size()), std::span(g_sharedBuffer).first(data.size()));
    SharedBufferValid.store(ok ? 1 : 0);
    return done(ok);
}

bool EraseBlock(uint32_t address, uint8_t byte3, uint8_t byte4)
{
    setUnit(address);
    const bool ok = EraseFlash(address, byte3, byte4);
    SharedBufferValid.store(ok ? 1 : 0);
    return done(ok);
}

bool I2cRead(uint32_t reg, int count, uint8_t& value)
{
    (void)count;  // a sensor register is one byte, whatever the count
    const uint32_t address = withSelectedUnit((reg & 0xFFu) | kSensorSpace, false);
    setUnit(address);
    uint8_t v = 0xFF;
    const bool ok = ReadUnit(address, 1, std::span(&v, 1));
    value = v;
    remember(address, v, ok);
    return done(ok);
}

bool I2cWrite(uint32_t reg, int count, uint8_t value)
{
    (void)count;
    const uint32_t address = withSelectedUnit((reg & 0xFFu) | kSensorSpace, false);
    setUnit(address);
    const bool ok = WriteUnit(address, 1, std::span(&value, 1));
    remember(address, value, ok);
    return done(ok);
}

bool RegisterRead(uint32_t address, bool unitInAddress, uint8_t& value)
{
    address = withSelectedUnit(address, unitInAddress);
    setUnit(address);
    const bool ok = ReadRegister(address, value);
    remember(address, value, ok);
    return done(ok);
}

bool PortRead(uint32_t address, int count, uint8_t& value)
{
    setUnit(address);
    // A count above 1 reads that many bytes and keeps the first.
    const int n = std::clamp(count, 1, kSharedBufferSize);
    std::vector<uint8_t> bytes(static_cast<size_t>(n), 0xFF);
    const bool ok = ReadUnit(address, n, bytes);
    value = bytes[0];
    if (ok) {
        LastRegAddress.store(address);
        LastRegValue.store(value);
    }
    return ok;  // a port read never marks the frame gone
}

bool PortWrite(uint32_t address, uint8_t value, int count, bool unitInAddress)
{
    const uint32_t target = withSelectedUnit(address, unitInAddress);
    setUnit(target);
    // A count above 1 writes the value once per byte of the count.
    const int n = std::clamp(count, 1, kSharedBufferSize);
    const std::vector<uint8_t> bytes(static_cast<size_t>(n), value);
    const bool ok = WriteUnit(target, n, bytes);
    if (ok) {
        LastRegAddress.store(unitInAddress ? target : (target & ~kSlaveBit));
        LastRegValue.store(value);
    }
    LastRegOk.store(ok ? 1 : 0);
    return done(ok);
}

bool DownloadBlock(std::span<const uint8_t> data, uint32_t port)
{
    // A block is 1 to 62 bytes: an empty one would count as sent (and move
    // DownloadState on) without a command.
    if (data.empty() || data.size() > static_cast<size_t>(kDownloadBlockMax)) {
        noteNotSent();
        return false;
    }
    uint32_t address = (port & 0xC000u) | kDownloadSpace | (DownloadUnitIsSlave.load() ? kSlaveBit : 0u);
    const uint8_t state = DownloadState.load();
    if (state == 1)
        address |= 0x80u;
    else if (state == 3)
        address |= 0x40u;
    setUnit(address);
    const bool ok = WriteUnit(address, static_cast<int>(data.size()), data);
    if (ok && state == 1)
        DownloadState.store(2);
    return done(ok);
}

bool BurstReadToFile(uint32_t address, int count, const std::string& fileName)
{
    setUnit(address);
    if (count < 0 || count > kBurstReadMax) {
        noteNotSent();
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    const bool ok = ReadUnit(address, count, bytes);
    const std::string name = fileName.substr(0, kFileNameMax);
    {
        std::lock_guard lock(g_burstMutex);
        const bool append = g_burstFileUsed && g_burstFile == name;
        g_burstFile = name;
        g_burstFileUsed = true;
        if (std::FILE* f = std::fopen(name.c_str(), append ? "ab" : "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    return done(ok);
}

bool BurstWriteFromFile(uint32_t address, int count, const std::string& fileName)
{
    setUnit(address);
    if (count < 0 || count > kBurstWriteMax) {
        noteNotSent();
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(count), 0);
    const std::string name = fileName.substr(0, kFileNameMax);
    {
        std::lock_guard lock(g_burstMutex);
        g_burstFile = name;
        g_burstFileUsed = true;
    }
    if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        bytes.resize(got);
    } else {
        bytes.clear();
    }
    // A file that cannot be read, or holds fewer bytes than asked for, is not
    // written in part: nothing is sent.
    if (bytes.size() != static_cast<size_t>(count)) {
        noteNotSent();
        return false;
    }
    return done(WriteUnit(address, count, bytes));
}

} // namespace tovrin::device
