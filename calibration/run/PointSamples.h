#pragma once
// Sample saving of a calibration run (Tovrin.ini Tovrin_Debug/SaveSample=1):
// after each captured point the line images of both units are read and
// written to disk exactly as the image-debug panel's SaveData writes them,
// in the same "SampleData" folder with the same numbering:
//
//   SampleData/NNN/LNNN.bin   the Master frame, 7040 bytes raw
//   SampleData/NNN/RNNN.bin   the Slave frame
//
// (the panel adds a picture of its window; a run has no window to take).
// The first sample of the process moves an earlier SampleData folder aside.
//
// The frames come through the line-image library: the run's two frame
// buffers (allocated at run start), filled with the plain chunks of a frame
// of the device's line count.

#include <atomic>
#include <functional>
#include <memory>

namespace tovrin::leveling {
class FrameBuffers;
}

namespace tovrin::calib {

class PointSamples {
public:
    PointSamples();
    ~PointSamples();
    PointSamples(const PointSamples&) = delete;
    PointSamples& operator=(const PointSamples&) = delete;

    // Run start: the two 7040-byte frame buffers. False when memory cannot
    // be had ("PreviewInit: pFrameYA malloc failed!" or "... pFrameYB ...");
    // every save then fails.
    bool open();

    // After a point is captured: reads each unit's frame and writes it as
    // the next sample under the current folder. `go` is asked before every
    // request. False when a request failed, the run was interrupted, or a
    // file could not be written; the sample counter then stays.
    bool save(const std::function<bool()>& go);

private:
    std::atomic<int> m_ready{0};  // nobody paints the run's frames: the ready flag is its own
    std::unique_ptr<leveling::FrameBuffers> m_frames;
};

} // namespace tovrin::calib
