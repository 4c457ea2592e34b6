#include "UpdateReadBack.h"

#include "HInfo.h"
#include "UpdateSteps.h"
#include "device/DeviceStatus.h"
#include "device/FrameHold.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/Log.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tovrin::update {

namespace {

bool frameThere() { return device::g_bDevExist.load() != 0; }

// The bytes of a flash area, read in pieces the shared buffer holds.
bool readFlash(device::Unit unit, uint32_t offset, uint32_t length, std::vector<uint8_t>& out)
{
    out.assign(length, 0);
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = std::min<uint32_t>(length - done, device::kSharedBufferSize);
        if (!device::ReadToBuffer(device::flashAddress(unit, offset + done), static_cast<int>(n),
                                  std::span(out).subspan(done, n)))
            return false;
        done += n;
    }
    return true;
}

// One job's part; false when a request failed.
bool jobHolds(const UpdatePackage& package, const UpdateJob& job, bool& same)
{
    switch (job.kind) {
    case JobKind::Firmware: {
        std::array<uint8_t, kHInfoReadSize> area{};
        if (!readHInfoArea(job.unit, area))
            return false;
        const HInfo held = decodeHInfo(std::span<const uint8_t, kHInfoSize>(area.data(), kHInfoSize));
        same = same && held == decodeHInfo(encodeHInfo(job.version));
        return true;
    }
    case JobKind::SecondImage:
        if (!readImageInformation(job.unit))
            return false;
        same = same && records::g_ImageVersion[job.unit == device::Unit::Slave ? 1 : 0].load() == job.version;
        return true;
    case JobKind::FlashData: {
        std::vector<uint8_t> held;
        if (!readFlash(job.unit, job.destination, job.length, held))
            return false;
        const std::span<const uint8_t> sent = package.checkedData(job.id);
        same = same && std::equal(sent.begin(), sent.end(), held.begin(), held.end());
        return true;
    }
    }
    return false;
}

} // namespace

ReadBack readBackUpdate(const UpdatePackage& package)
{
    const device::FrameHold hold;
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok)
        return mode.deviceAbsent || !frameThere() ? ReadBack::NoFrame : ReadBack::Failed;
    bool same = true;
    bool answered = true;
    for (const UpdateJob& job : package.jobs()) {
        if (!jobHolds(package, job, same)) {
            answered = false;
            break;
        }
    }
    // Back to work whatever was read (a frame without its calibration
    // refuses work mode as its normal state).
    const device::ModeSwitchOutcome back = device::SwitchModeChecked(device::mode::Work);
    if (!answered || !back.ok)
        return frameThere() ? ReadBack::Failed : ReadBack::NoFrame;
    shell::LogF("update: read back, %s\n", same ? "the frame holds the package" : "the frame holds something else");
    return same ? ReadBack::Matches : ReadBack::Differs;
}

} // namespace tovrin::update
