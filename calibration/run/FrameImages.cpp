#include "calibration/run/FrameImages.h"

#include "device/DeviceOps.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <span>

namespace tovrin::calib {

namespace {

constexpr int kRecordHead = 60;         // the leveling part of the calibration record
constexpr int kStartLineOffset = 4;     // u16 little-endian
constexpr std::uint32_t kRegionB = 0x40000000u;
constexpr int kPiece = 61;
constexpr int kPieces = 11;             // 10 x 61 + 30 = 640

class DeviceFrameImages final : public FrameImages {
public:
    bool configureEnvironment() override
    {
        int lines[2] = {0, 0};
        for (int unit = 0; unit < 2; ++unit) {
            std::array<std::uint8_t, kRecordHead> head{};
            const auto u = unit ? device::Unit::Slave : device::Unit::Master;
            if (!device::ReadToBuffer(device::flashAddress(u, device::flash::kCalibrationRecord), kRecordHead, head))
                return false;
            lines[unit] = head[kStartLineOffset] | (head[kStartLineOffset + 1] << 8);
            if (lines[unit] < 1 || lines[unit] > 640) {
                shell::LogF("Calibration environment: %s start line %d is outside 1-640\n", unit ? "Slave" : "Master",
                            lines[unit]);
                return false;
            }
        }
        for (int unit = 0; unit < 2; ++unit) {
            if (!device::SetLine(unit, static_cast<std::uint16_t>(lines[unit]))) {
                device::markGoneOnNoReply();
                return false;
            }
        }
        return true;
    }

    bool readLastLines(ImageLine& master, ImageLine& slave) override
    {
        std::uint16_t total = 0;
        for (int k = 0; k < kPieces; ++k) {
            const int count = k + 1 < kPieces ? kPiece : kLinePixels - kPiece * (kPieces - 1);
            const auto at = static_cast<std::size_t>(kPiece * k);
            const std::uint32_t position = kRegionB + static_cast<std::uint32_t>(kPiece * k);
            if (!device::ReadLineData(0, position, count, std::span(master).subspan(at, static_cast<std::size_t>(count)),
                                      total) ||
                !device::ReadLineData(1, position, count, std::span(slave).subspan(at, static_cast<std::size_t>(count)),
                                      total)) {
                device::markGoneOnNoReply();
                return false;
            }
        }
        return true;
    }
};

} // namespace

std::unique_ptr<FrameImages> makeDeviceFrameImages()
{
    return std::make_unique<DeviceFrameImages>();
}

} // namespace tovrin::calib
