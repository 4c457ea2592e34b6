#pragma once
// The codes the leveling workers report with sendData(int), and the codes
// the leveling window reports to the main window with sendShowData(int).

namespace tovrin::leveling {

// CImagePreviewThread -> leveling window.
namespace image {
constexpr int FrameComplete = 0;    // a frame is complete (g_FrameReady)
constexpr int SearchFailed = 1;     // start-line search failed or gave a line outside 1..640
constexpr int ConfigFailed = 3;     // SetLine failed
constexpr int Leveled = 4;          // start lines and column ranges are known
constexpr int ColumnFailed = 5;     // ReadLineRange failed
constexpr int DeviceLost = 6;       // the link to the frame is lost
constexpr int OptimumFailed = 7;    // ReadZones failed
constexpr int FrameFailed = 8;      // a chunk failed, or a packed stream passed 640 bytes
constexpr int StoredShown = 9;      // the stored leveling is shown (preview only)
constexpr int ExposureStep = 10;    // the first leveling reached the exposure step
constexpr int SensorTest = 17;      // the sensor test is wanted before the first pass
constexpr int PreviewOff = 18;      // the preview was switched off
// 19..25: a request of the image-debug panel (LevelingState.h, DebugRequest)
} // namespace image

// The leveling window's own: enable the adjusting controls, disable them.
namespace window {
constexpr int EnableControls = 2;
constexpr int DisableControls = 11;
} // namespace window

// ExposureThread -> leveling window.
namespace exposure {
constexpr int DeviceLost = 6;
constexpr int MasterReady = 12;
constexpr int SlaveReady = 13;
constexpr int MasterFailed = 14;
constexpr int SlaveFailed = 15;
constexpr int Finished = 16;
} // namespace exposure

// PreviewThread -> engineering window (Preview page).
namespace preview {
constexpr int FrameReady = 10;
constexpr int Stopped = 11;        // link lost, preview off, poll limit or frame failure
constexpr int RegisterRead = 13;
constexpr int RegisterReadFailed = 14;
constexpr int RegisterWritten = 15;
constexpr int RegisterWriteFailed = 16;
} // namespace preview

// Leveling window -> main window (recvShowData).
namespace outcome {
constexpr int Saved = 1;
constexpr int LeftWithoutSaving = 2;
constexpr int DeviceLost = 3;
} // namespace outcome

} // namespace tovrin::leveling
