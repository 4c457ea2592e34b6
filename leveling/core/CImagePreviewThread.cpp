#include "CImagePreviewThread.h"

#include "LevelingCodes.h"
#include "LevelingState.h"
#include "LevelingSteps.h"

#include "device/DeviceOps.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"

namespace tovrin::leveling {

namespace {

bool markOnFailure(bool ok)
{
    if (!ok)
        device::markGoneOnNoReply();
    return ok;
}

} // namespace

CImagePreviewThread::CImagePreviewThread(FrameBuffers& frames, const Options& options, QObject* parent)
    : Worker(parent)
    , m_frames(frames)
    , m_options(options)
{
}

CImagePreviewThread::~CImagePreviewThread() { stopAndWait(); }

void CImagePreviewThread::beforeRun()
{
    m_exposureAsked = false;
    m_frameCount = 0;
    g_PreviewRun = 1;
}

void CImagePreviewThread::stopping()
{
    g_PreviewRun = 0;
    g_PreviewSucFlag = 0;
    g_OptimumLineFlag = 0;
}

// The thread's own end: the stop flags, and a lost link settled. Setting
// g_isDeviceCommunicate here unconditionally would make a frame that
// stopped answering always read as pulled out.
void CImagePreviewThread::applyStopProcedure()
{
    requestStop();
    settleLinkLoss();
}

void CImagePreviewThread::endWith(int code)
{
    applyStopProcedure();
    // A step that failed because the frame stopped answering or went away
    // ends with the loss, not with the step's own complaint.
    if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load())
        code = image::DeviceLost;
    Q_EMIT sendData(code);
}

bool CImagePreviewThread::quickCheck()
{
    if (stopRequested())
        return false;
    if (!g_PreviewRun.load()) {
        endWith(image::PreviewOff);
        return false;
    }
    if (!device::g_isDeviceCommunicate.load() || !device::g_bDevExist.load()) {
        endWith(image::DeviceLost);
        return false;
    }
    return true;
}

bool CImagePreviewThread::serviceRequests()
{
    if (!quickCheck())
        return false;
    if (g_StartLineChangeRequest.load()) {
        changeStartLine(g_ChangeUnit.load());
        g_StartLineChangeRequest = 0;
        if (!quickCheck())
            return false;
    }
    for (int code = kFirstDebugRequest; code < kFirstDebugRequest + kDebugRequestCount; ++code) {
        std::atomic<int>& request = debugRequest(code);
        if (!request.load())
            continue;
        Q_EMIT sendData(code);
        // The window runs the request in its own thread; nothing else talks
        // to the frame until it has cleared the flag.
        sleepMsUnless(kRequestSleepMs, stopFlag());
        while (request.load() && !stopRequested())
            sleepMsUnless(kRequestSleepMs, stopFlag());
        if (stopRequested())
            return false;
    }
    return true;
}

bool CImagePreviewThread::levelingSteps()
{
    g_StartLineKnown = 1;
    g_StartLineM = 0;
    g_StartLineS = 0;
    g_SearchStartLine = 0;
    const auto lower = static_cast<uint16_t>(g_SearchLower.load());
    const auto upper = static_cast<uint16_t>(g_SearchUpper.load());

    if (!serviceRequests())
        return false;
    uint32_t line = 65535;
    bool found = markOnFailure(device::SearchLine(kMaster, lower, upper, line));
    g_StartLineM = static_cast<int>(line);
    if (found) {
        if (!serviceRequests())
            return false;
        line = 65535;
        found = markOnFailure(device::SearchLine(kSlave, lower, upper, line));
        g_StartLineS = static_cast<int>(line);
    }
    g_SearchStartLine = found ? 1 : 0;
    if (!found) {
        endWith(image::SearchFailed);
        return false;
    }
    auto inRange = [](int l) { return l >= 1 && l <= 640; };
    if (!inRange(g_StartLineM.load()) || !inRange(g_StartLineS.load())) {
        g_StartLineKnown = 0;
        endWith(image::SearchFailed);
        return false;
    }

    g_OptimumStartLine = 0;
    for (int unit : {kMaster, kSlave}) {
        if (!serviceRequests())
            return false;
        if (!markOnFailure(device::SetLine(unit, static_cast<uint16_t>(startLineOf(unit).load())))) {
            endWith(image::ConfigFailed);
            return false;
        }
    }
    g_OptimumStartLine = 1;

    g_SearchColumn = 0;
    for (int unit : {kMaster, kSlave}) {
        if (!serviceRequests())
            return false;
        uint32_t first = 65535, last = 65535;
        if (!markOnFailure(device::ReadLineRange(unit, first, last))) {
            endWith(image::ColumnFailed);
            return false;
        }
        setColumns(unit, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
    }
    g_SearchColumn = 1;
    Q_EMIT sendData(image::Leveled);
    return true;
}

bool CImagePreviewThread::optimumLineStep()
{
    if (m_options.extended) {
        if (g_PreviewOnly.load())
            Q_EMIT sendData(image::StoredShown);
        else if (g_FirstRun.load() && !m_exposureAsked)
            return askExposure();
        return true;
    }
    if (!g_PreviewOnly.load()) {
        g_OptimumLineFlag = 0;
        for (int unit : {kMaster, kSlave}) {
            if (!serviceRequests())
                return false;
            device::ZoneTable zones{};
            if (!markOnFailure(device::ReadZones(unit, zones))) {
                endWith(image::OptimumFailed);
                return false;
            }
            setZones(unit, zones);
        }
        g_OptimumLineFlag = 1;
        if (g_FirstRun.load() && !m_exposureAsked)
            return askExposure();
        return true;
    }
    // Preview only: latch a frame in each unit and read its zone registers.
    CaptureOptions capture;
    capture.pollSleepMs = 2;
    capture.maxPolls = 1000;
    capture.check = [this] { return serviceRequests(); };
    // A failed handshake ends the thread without a code, unless the frame
    // stopped answering: that the window must hear (code 6), as it would
    // at the next step.
    auto endHandshake = [this] {
        if (!device::g_bDevExist.load() || !device::g_isDeviceCommunicate.load())
            endWith(image::DeviceLost);
        else
            applyStopProcedure();
        return false;
    };
    for (int unit : {kMaster, kSlave}) {
        const CaptureResult r = captureFrame(unit, capture);
        if (r == CaptureResult::Stopped)
            return false;
        if (r != CaptureResult::Done)
            return endHandshake();
    }
    for (int unit : {kMaster, kSlave}) {
        if (!serviceRequests())
            return false;
        if (!readZoneRegisters(unit, {}))
            return endHandshake();
        sleepMsUnless(100, stopFlag());
    }
    Q_EMIT sendData(image::StoredShown);
    return true;
}

bool CImagePreviewThread::askExposure()
{
    m_exposureAsked = true;
    if (m_options.endAtExposureStep) {
        applyStopProcedure();
        Q_EMIT sendData(image::ExposureStep);
        return false;
    }
    Q_EMIT sendData(image::ExposureStep);
    return true;
}

bool CImagePreviewThread::fetchFrame()
{
    if (!serviceRequests())
        return false;
    FetchHooks hooks;
    hooks.check = [this] { return quickCheck(); };
    hooks.chunkFailed = [this] { Q_EMIT sendData(image::FrameFailed); };
    FetchOutcome outcome;
    if (g_CompressEnable.load() && !m_options.extended) {
        outcome = m_transfer.fetchCompressed(m_frames, hooks);
    } else {
        const bool onlyLast = m_options.extended && m_options.adjustDebug && g_OnlyLastLine.load();
        outcome = m_transfer.fetchPlain(m_frames, levelingFramePlan(m_options.lineNum, m_options.extended, onlyLast),
                                        hooks);
    }
    switch (outcome) {
    case FetchOutcome::Complete:
        break;
    case FetchOutcome::StreamTooLong:
        endWith(image::FrameFailed);
        return false;
    case FetchOutcome::Failed:
        Q_EMIT sendData(image::FrameFailed);
        break;
    case FetchOutcome::Stopped:
        return false;
    }
    if (g_PreviewRun.load() && m_frames.publish())
        Q_EMIT sendData(image::FrameComplete);
    if (outcome == FetchOutcome::Complete && m_options.frameLimit > 0 && ++m_frameCount >= m_options.frameLimit) {
        applyStopProcedure();
        return false;
    }
    return true;
}

void CImagePreviewThread::work()
{
    runPasses();
    // However the thread ended (stopped in the middle of a transaction that
    // got no reply, too), the flags it leaves tell what became of the link.
    settleLinkLoss();
}

void CImagePreviewThread::runPasses()
{
    if (!m_frames.isOpen()) {
        // No frame buffer: nothing may be fetched.
        applyStopProcedure();
        return;
    }
    if (m_options.testSensor && g_FirstRun.load()) {
        g_SensorTestPending = 1;
        Q_EMIT sendData(image::SensorTest);
        while (g_SensorTestPending.load() && !stopRequested())
            sleepMsUnless(kSensorWaitStepMs, stopFlag());
        if (stopRequested())
            return;
    }
    if (g_PreviewOnly.load() && g_FirstRun.load()) {
        takeRecordHeads();
        g_StartLineKnown = 1;
    }
    while (!stopRequested()) {
        if (!serviceRequests())
            return;
        if (!g_StartLineKnown.load() && !levelingSteps())
            return;
        if (!optimumLineStep())
            return;
        if (!fetchFrame())
            return;
    }
}

} // namespace tovrin::leveling
