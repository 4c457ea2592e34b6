#include "calibration/run/FrameImages.h"

#include "device/DeviceStatus.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/LevelingSteps.h"
#include "leveling/core/LineTransfer.h"

namespace tovrin::calib {

namespace {

class DeviceFrameImages final : public FrameImages {
public:
    bool configureEnvironment() override { return leveling::configureEnvironment(); }

    bool readLastLines(ImageLine& master, ImageLine& slave) override
    {
        // Region B holds the last line at 0 on an ordinary unit, further on
        // an extended-frame unit.
        const int base = device::ExtendedFrameDevice.load() == 1 ? leveling::kRegionBExtended : 0;
        return leveling::readLastLines(base, master, slave);
    }
};

} // namespace

std::unique_ptr<FrameImages> makeDeviceFrameImages()
{
    return std::make_unique<DeviceFrameImages>();
}

} // namespace tovrin::calib
