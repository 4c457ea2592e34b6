#include "keys/core/KeyEntry.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"

#include <cstdint>

namespace tovrin::keys {

int keyCalibrationEntryCheck()
{
    uint8_t word[4] = {};
    if (!device::ReadToBuffer(device::flashAddress(device::Unit::Slave, device::flash::kCalibrationRecord), 4, word))
        return kReadFlashFailedMessage;
    const uint32_t flag = word[0] | (word[1] << 8) | (word[2] << 16) | (static_cast<uint32_t>(word[3]) << 24);
    return flag == records::kSensorInfoFlag ? 0 : kCalibrateFirstMessage;
}

} // namespace tovrin::keys
