#include "calibration/run/RunState.h"

#include "calibration/run/CalibrationGrid.h"
#include "calibration/run/TouchCapture.h"
#include "shell/Settings.h"

namespace tovrin::calib {

std::atomic<int> g_WaitFrameCount{40};
std::atomic<int> FourCalib_en{0};
std::atomic<int> g_CalDataInitSuc{0};
std::atomic<int> g_CalibrationProcessSuc{1};
std::atomic<int> g_CalibEnvironment{0};
std::atomic<int> g_CalibEnvironmentDone{1};
std::atomic<int> g_CaptureAverage{-1};
std::atomic<int> g_RefineSolve{0};
std::atomic<int> g_LeastShiftScale{1};
std::atomic<int> g_SaveSample{0};

void CalibrationRunState::startRun(int pointCount, int screenWidth, int screenHeight)
{
    points = pointCount;
    width = screenWidth;
    height = screenHeight;
    pointIndex = 0;
    target = -1;
    repaint = 0;
    heldFrames = 0;
    leftCount = 0;
    rightCount = 0;
    leftFound = 0;
    rightFound = 0;
    progress = 0;
    request = PersonRequest::None;
}

bool CalibrationRunState::takeBack()
{
    // The worker may advance the index at the same moment: lower exactly the
    // index seen, never one the worker has just moved past.
    int index = pointIndex.load();
    while (index > 0 && index < points.load()) {
        if (pointIndex.compare_exchange_weak(index, index - 1))
            return true;
    }
    return false;
}

void loadRunSettings()
{
    g_WaitFrameCount = shell::settings::waitFrameCount();
    const int average = shell::readInt(QStringLiteral("Tovrin_Debug/CaptureAverage"), -1);
    g_CaptureAverage = average == 0 || average == 1 ? average : -1;
    g_RefineSolve = shell::readInt(QStringLiteral("Tovrin_Debug/RefineSolve"), 0) == 1 ? 1 : 0;
    g_LeastShiftScale = shell::readInt(QStringLiteral("Tovrin_Debug/LeastShiftScale"), 1) == 0 ? 0 : 1;
    g_SaveSample = shell::readInt(QStringLiteral("Tovrin_Debug/SaveSample"), 0) != 0 ? 1 : 0;
}

int touchPromptMessage(const CalibrationRunState& state)
{
    switch (state.request.load()) {
    case PersonRequest::LiftFinger: return 151;
    case PersonRequest::OneFinger: return 152;
    case PersonRequest::None: break;
    }
    return 69;
}

CapturePosition capturePosition()
{
    return g_CaptureAverage.load() == 0 ? CapturePosition::Vote : CapturePosition::Average;
}

CalibrationRunState& runState()
{
    static CalibrationRunState state;
    return state;
}

} // namespace tovrin::calib
