#include "UpdateSteps.h"

#include "ByteOrder.h"
#include "HInfo.h"
#include "Transfers.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"

namespace tovrin::update {

using device::Unit;

namespace {

records::UnitId recordUnit(Unit unit)
{
    return unit == Unit::Slave ? records::UnitId::Slave : records::UnitId::Master;
}

} // namespace

bool readHInfoArea(Unit unit, std::array<uint8_t, 60>& out)
{
    return device::ReadToBuffer(device::flashAddress(unit, device::flash::kImageInfo), kHInfoReadSize, out);
}

bool readImageInformation(Unit unit)
{
    return records::readVersionRecord(recordUnit(unit));
}

bool eraseSector(Unit unit, uint32_t offset)
{
    return device::EraseBlock(device::flashAddress(unit, offset));
}

bool sendImage(JobKind kind, Unit unit, std::span<const uint8_t> image, const std::function<void()>& beforeFirst)
{
    // The download state tells the device layer which flag a block carries:
    // 1 first, 2 in between, 3 last; it is back to 0 whatever happens.
    device::DownloadUnitIsSlave = unit == Unit::Slave ? 1 : 0;
    device::DownloadState = 1;
    bool ok = true;
    bool first = true;
    for (const Packet& p : imagePackets(static_cast<uint32_t>(image.size()))) {
        device::DownloadState = p.flag == kLastPacket ? 3 : p.flag == kFirstPacket ? 1 : 2;
        if (first && beforeFirst)
            beforeFirst();
        first = false;
        if (!device::DownloadBlock(image.subspan(p.offset, p.size), downloadPort(kind))) {
            shell::WriteLog("g_UpdateImageSucEvent: WaitForSingleObject Failed!\n Download Image failed!\n");
            ok = false;
            break;
        }
    }
    device::DownloadState = 0;
    return ok;
}

bool writeHInfoBody(Unit unit, uint32_t firmwareVersion)
{
    const std::array<uint8_t, kHInfoSize> record = encodeHInfo(firmwareVersion);
    const uint32_t at = device::flashAddress(unit, device::flash::kImageInfo);
    return device::WriteFromBuffer(at + kHInfoBodyOffset, std::span(record).subspan(kHInfoBodyOffset));
}

bool writeHInfoMagic(Unit unit)
{
    uint8_t magic[kHInfoBodyOffset];
    writeU32le(magic, kHInfoMagic);
    return device::WriteFromBuffer(device::flashAddress(unit, device::flash::kImageInfo), magic);
}

bool writeImageInformation(Unit unit, uint32_t imageVersion, uint32_t bootLoaderVersion)
{
    uint8_t words[8];
    writeU32le(words, imageVersion);
    writeU32le(words + 4, bootLoaderVersion);
    if (!device::WriteFromBuffer(device::flashAddress(unit, device::flash::kVersionRecord), words))
        return false;
    const int u = unit == Unit::Slave ? 1 : 0;
    records::g_ImageVersion[u] = imageVersion;
    records::g_BootloaderVersion[u] = bootLoaderVersion;
    return true;
}

bool writeFlashData(Unit unit, uint32_t destination, std::span<const uint8_t> data)
{
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (uint32_t sector : sectorsCovered(destination, length)) {
        if (!eraseSector(unit, sector))
            return false;
    }
    for (const Chunk& c : flashDataChunks(destination, length)) {
        if (!device::WriteFromBuffer(device::flashAddress(unit, c.destination), data.subspan(c.source, c.size)))
            return false;
    }
    return true;
}

} // namespace tovrin::update
