#include "LevelingState.h"

#include <mutex>

namespace tovrin::leveling {

std::atomic<int> g_PreviewRun{0};
std::atomic<int> g_PreviewSucFlag{0};
std::atomic<int> g_CompressEnable{0};
std::atomic<int> g_OnlyLastLine{0};
std::atomic<int> g_FrameReady{0};
std::atomic<int> g_PrevDataCmpLenM{0};
std::atomic<int> g_PrevDataCmpLenS{0};

std::atomic<int> g_SearchStartLine{0};
std::atomic<int> g_OptimumStartLine{0};
std::atomic<int> g_SearchColumn{0};
std::atomic<int> g_OptimumLineFlag{0};
std::atomic<int> g_isExposureSuc{0};

std::atomic<int> g_StartLineM{kUnknownStartLine};
std::atomic<int> g_StartLineS{kUnknownStartLine};

std::atomic<int> g_StartLineKnown{0};
std::atomic<int> g_FirstRun{1};
std::atomic<int> g_PreviewOnly{0};
std::atomic<int> g_ExposureDone{0};
std::atomic<int> g_StartLineChangeRequest{0};
std::atomic<int> g_ChangeUnit{0};
std::atomic<int> g_SearchLower{200};
std::atomic<int> g_SearchUpper{300};
std::atomic<int> g_WindowClosing{0};
std::atomic<int> g_AutoSaveArmed{1};
std::atomic<int> g_ExposureMarkM{0};
std::atomic<int> g_ExposureMarkS{0};
std::atomic<int> g_ExposureLimit{18};
std::atomic<int> g_SensorTestPending{0};
std::atomic<int> g_SampleCounter{0};

namespace {

std::array<std::atomic<int>, kDebugRequestCount> g_debugRequests{};
std::atomic<int> g_noRequest{0};

std::mutex g_unitMutex;
std::array<UnitLeveling, 2> g_units{};

size_t idx(int unit) { return unit ? 1 : 0; }

} // namespace

std::atomic<int>& startLineOf(int unit) { return unit ? g_StartLineS : g_StartLineM; }
std::atomic<int>& exposureMarkOf(int unit) { return unit ? g_ExposureMarkS : g_ExposureMarkM; }

std::atomic<int>& debugRequest(int code)
{
    const int i = code - kFirstDebugRequest;
    if (i < 0 || i >= kDebugRequestCount) {
        g_noRequest = 0;
        return g_noRequest;  // not a request: a flag nobody serves
    }
    return g_debugRequests[static_cast<size_t>(i)];
}

UnitLeveling unitLeveling(int unit)
{
    std::lock_guard lock(g_unitMutex);
    return g_units[idx(unit)];
}

void setColumns(int unit, uint16_t startColumn, uint16_t endColumn)
{
    std::lock_guard lock(g_unitMutex);
    g_units[idx(unit)].startColumn = startColumn;
    g_units[idx(unit)].endColumn = endColumn;
}

void setExposure(int unit, uint8_t high, uint8_t low)
{
    std::lock_guard lock(g_unitMutex);
    g_units[idx(unit)].exposureHigh = high;
    g_units[idx(unit)].exposureLow = low;
}

void setZones(int unit, const device::ZoneTable& zones)
{
    std::lock_guard lock(g_unitMutex);
    g_units[idx(unit)].zones = zones;
}

void clearResultFlags()
{
    g_SearchStartLine = 0;
    g_OptimumStartLine = 0;
    g_SearchColumn = 0;
    g_OptimumLineFlag = 0;
    g_isExposureSuc = 0;
}

void resetLevelingState()
{
    g_PreviewRun = 0;
    g_PreviewSucFlag = 0;
    g_CompressEnable = 0;
    g_OnlyLastLine = 0;
    g_FrameReady = 0;
    g_PrevDataCmpLenM = 0;
    g_PrevDataCmpLenS = 0;
    clearResultFlags();
    g_StartLineM = kUnknownStartLine;
    g_StartLineS = kUnknownStartLine;
    g_StartLineKnown = 0;
    g_FirstRun = 1;
    g_PreviewOnly = 0;
    g_ExposureDone = 0;
    g_StartLineChangeRequest = 0;
    g_ChangeUnit = 0;
    g_SearchLower = 200;
    g_SearchUpper = 300;
    g_WindowClosing = 0;
    g_AutoSaveArmed = 1;
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    g_ExposureLimit = 18;
    g_SensorTestPending = 0;
    g_SampleCounter = 0;
    for (auto& r : g_debugRequests)
        r = 0;
    std::lock_guard lock(g_unitMutex);
    g_units = {};
}

} // namespace tovrin::leveling
