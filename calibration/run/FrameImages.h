#pragma once
// What a calibration run needs from the line-image side of the frame: the
// environment configuration before a run started by the end-user tool (the
// stored start lines and image settings of both units sent to the device),
// and the last image line of each unit for widening the image windows. The
// line-image library does both; the interface lets a test stand in for it.

#include <array>
#include <cstdint>
#include <memory>

namespace tovrin::calib {

constexpr int kLinePixels = 640;
using ImageLine = std::array<std::uint8_t, kLinePixels>;

class FrameImages {
public:
    virtual ~FrameImages() = default;
    // Sends the stored start line of each unit (its calibration record) to
    // the device; false when a transaction fails or a start line lies
    // outside 1-640.
    virtual bool configureEnvironment() = 0;
    // The last line of each unit's image (region B).
    virtual bool readLastLines(ImageLine& master, ImageLine& slave) = 0;
};

// The frame's own, through the line-image library.
std::unique_ptr<FrameImages> makeDeviceFrameImages();

} // namespace tovrin::calib
