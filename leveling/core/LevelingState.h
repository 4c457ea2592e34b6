#pragma once
// The leveling state the workers and the windows share: flags the workers
// poll between device steps, results of the last leveling operations, and
// what is known about each unit (columns, exposure, optimum-line table).
// Flags are atomics; the per-unit data is read and written under a lock.
//
// One writer at a time: the window writes the requests and the flags of its
// own actions, the running worker the results; the window reads them when a
// code of the worker arrives.

#include "device/DeviceOps.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace tovrin::leveling {

constexpr int kMaster = 0;
constexpr int kSlave = 1;
constexpr uint16_t kUnknownStartLine = 236;  // a start line before any is known

// ---- Frame transfer ----------------------------------------------------------
extern std::atomic<int> g_PreviewRun;       // preview wanted; cleared to stop a preview thread
extern std::atomic<int> g_PreviewSucFlag;   // result of the last frame request
extern std::atomic<int> g_CompressEnable;   // compressed transfer
extern std::atomic<int> g_OnlyLastLine;     // image-debug panel: refresh only the last line
extern std::atomic<int> g_FrameReady;       // a complete frame waits to be painted
extern std::atomic<int> g_PrevDataCmpLenM;  // length of the last packed stream, Master
extern std::atomic<int> g_PrevDataCmpLenS;  // ... Slave

// ---- Results of the last leveling and exposure operations (1 = succeeded) --------
extern std::atomic<int> g_SearchStartLine;   // SearchLine of both units
extern std::atomic<int> g_OptimumStartLine;  // SetLine
extern std::atomic<int> g_SearchColumn;      // ReadLineRange
extern std::atomic<int> g_OptimumLineFlag;   // ReadZones
extern std::atomic<int> g_isExposureSuc;     // ReadExposure

// ---- Start lines (sensor rows, 16-bit values) ------------------------------------
extern std::atomic<int> g_StartLineM;
extern std::atomic<int> g_StartLineS;
std::atomic<int>& startLineOf(int unit);

// ---- Leveling flags ------------------------------------------------------------
extern std::atomic<int> g_StartLineKnown;          // 0: the next pass searches again
extern std::atomic<int> g_FirstRun;                // cleared after the first leveling was shown or saved
extern std::atomic<int> g_PreviewOnly;             // show the stored leveling instead of searching
extern std::atomic<int> g_ExposureDone;            // exposure finished since the last start-line change
extern std::atomic<int> g_StartLineChangeRequest;  // set by the window, served by the leveling thread
extern std::atomic<int> g_ChangeUnit;              // unit of that request
extern std::atomic<int> g_SearchLower;             // search window of the start line (and the sliders)
extern std::atomic<int> g_SearchUpper;
extern std::atomic<int> g_WindowClosing;           // the leveling window is closing: start no device work
extern std::atomic<int> g_AutoSaveArmed;           // save by countdown after the first exposure
extern std::atomic<int> g_ExposureMarkM;           // exposure at or above the limit (red text)
extern std::atomic<int> g_ExposureMarkS;
std::atomic<int>& exposureMarkOf(int unit);
extern std::atomic<int> g_ExposureLimit;           // limit index of the scale (0..25)
extern std::atomic<int> g_SensorTestPending;       // the leveling thread waits for the sensor test
extern std::atomic<int> g_SampleCounter;           // SaveData folders written in this run

// ---- Requests of the image-debug panel, served between frames --------------------
enum DebugRequest : int {
    kResetFpga = 19,
    kRegisterWrite = 20,
    kRegisterRead = 21,
    kFlashWrite = 22,
    kFlashRead = 23,
    kUpdateBK = 24,
    kWriteColumn = 25,
};
constexpr int kFirstDebugRequest = kResetFpga;
constexpr int kDebugRequestCount = 7;
std::atomic<int>& debugRequest(int code);  // code 19..25

// ---- What is known about each unit ----------------------------------------------
struct UnitLeveling {
    uint16_t startColumn = 0;
    uint16_t endColumn = 639;
    uint8_t exposureHigh = 0;
    uint8_t exposureLow = 0;
    device::ZoneTable zones{};  // optimum-line table

    uint16_t exposureWord() const { return static_cast<uint16_t>((exposureHigh << 8) | exposureLow); }
};

UnitLeveling unitLeveling(int unit);
void setColumns(int unit, uint16_t startColumn, uint16_t endColumn);
void setExposure(int unit, uint8_t high, uint8_t low);
void setZones(int unit, const device::ZoneTable& zones);

// Clears the five result flags (after a failure shown by the window).
void clearResultFlags();

// Everything back to the state of a fresh process (tests; a new tool run).
void resetLevelingState();

} // namespace tovrin::leveling
