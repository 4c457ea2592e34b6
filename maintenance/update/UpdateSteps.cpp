#include "UpdateSteps.h"

#include "ByteOrder.h"
#include "HInfo.h"
#include "Transfers.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"

#include <QtGlobal>

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
            qDebug("g_UpdateImageSucEvent: WaitForSingleObject Failed!\n Download Image failed!\n");
            ok = false;
            break;
        }
    }
    device::DownloadState = 0;
    return ok;
}

bool writeHInfo(Unit unit, uint32_t firmwareVersion)
{
    const std::array<uint8_t, kHInfoSize> record = encodeHInfo(firmwareVersion);
    const uint32_t at = device::flashAddress(unit, device::flash::kImageInfo);
    return device::WriteFromBuffer(at + kHInfoBodyOffset, std::span(record).subspan(kHInfoBodyOffset))
           && device::WriteFromBuffer(at, std::span(record).first(kHInfoBodyOffset));
}

bool writeImageVersion(Unit unit, uint32_t version)
{
    uint8_t word[4];
    writeU32le(word, version);
    if (!device::WriteFromBuffer(device::flashAddress(unit, device::flash::kVersionRecord), word))
        return false;
    records::g_ImageVersion[unit == Unit::Slave ? 1 : 0] = version;
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
