#include "PreviewThread.h"

#include "LevelingCodes.h"
#include "LevelingState.h"
#include "LevelingSteps.h"

#include "device/UnitOps.h"
#include "shell/Clock.h"

#include <utility>

namespace tovrin::leveling {

PreviewThread::PreviewThread(FrameBuffers& frames, QObject* parent)
    : Worker(parent)
    , m_frames(frames)
{
}

PreviewThread::~PreviewThread() { stopAndWait(); }

void PreviewThread::setFrameLayout(int lineNum, bool extended)
{
    m_lineNum = lineNum;
    m_extended = extended;
}

void PreviewThread::beforeRun() { g_PreviewRun = 1; }

void PreviewThread::stopping() { g_PreviewRun = 0; }

bool PreviewThread::linkUp() const
{
    return device::g_isDeviceCommunicate.load() && device::g_bDevExist.load() && g_PreviewRun.load() &&
           !stopRequested();
}

bool PreviewThread::pass()
{
    CaptureOptions capture;
    capture.sleepBeforeWriteMs = 10;
    capture.pollSleepMs = kPollSleepMs;
    capture.maxPolls = kMaxPolls;
    capture.check = [this] { return linkUp(); };
    capture.onWrite = [this](bool ok) { Q_EMIT sendData(ok ? preview::RegisterWritten : preview::RegisterWriteFailed); };
    capture.onRead = [this](bool ok) { Q_EMIT sendData(ok ? preview::RegisterRead : preview::RegisterReadFailed); };
    for (int unit : {kMaster, kSlave}) {
        switch (captureFrame(unit, capture)) {
        case CaptureResult::Done:
            break;
        case CaptureResult::Failed:
            return false;  // 14 or 16 told why
        case CaptureResult::TooManyPolls:
        case CaptureResult::Stopped:
            Q_EMIT sendData(preview::Stopped);
            return false;
        }
    }
    for (int unit : {kMaster, kSlave}) {
        if (!readZoneRegisters(unit, capture.onRead))
            return false;
        sleepMsUnless(kAfterZonesSleepMs, stopFlag());
    }

    g_CompressEnable = m_compress.load() ? 1 : 0;
    FetchHooks hooks;
    hooks.check = [this] { return linkUp(); };
    const FetchOutcome outcome = g_CompressEnable.load()
                                     ? m_transfer.fetchCompressed(m_frames, hooks)
                                     : m_transfer.fetchPlain(m_frames, previewFramePlan(m_lineNum, m_extended), hooks);
    if (outcome != FetchOutcome::Complete) {
        Q_EMIT sendData(preview::Stopped);
        return false;
    }
    if (g_PreviewRun.load()) {
        m_frames.publish();
        Q_EMIT sendData(preview::FrameReady);
    }
    return true;
}

bool PreviewThread::betweenPasses(GapRequest request)
{
    if (hasEnded())
        return false;
    const std::lock_guard lock(m_gapMutex);
    m_gapRequests.push_back(std::move(request));
    return true;
}

std::vector<PreviewThread::GapRequest> PreviewThread::takeUnmade()
{
    const std::lock_guard lock(m_gapMutex);
    return std::exchange(m_gapRequests, {});
}

void PreviewThread::makeGapRequests()
{
    std::vector<GapRequest> requests = takeUnmade();
    if (requests.empty())
        return;
    for (GapRequest& r : requests) {
        r.job();
        if (!r.then)
            continue;
        {
            // Handed over under the lock: what the job wrote is the window's
            // to read from there on.
            const std::lock_guard lock(m_gapMutex);
            m_made.push_back(std::move(r.then));
        }
        QMetaObject::invokeMethod(this, [this] { reportMade(); }, Qt::QueuedConnection);
    }
    sleepMsUnless(kSettleAfterRequestsMs, stopFlag());
}

void PreviewThread::reportMade()
{
    std::vector<std::function<void()>> made;
    {
        const std::lock_guard lock(m_gapMutex);
        made.swap(m_made);
    }
    for (const std::function<void()>& then : made)
        then();
}

void PreviewThread::work()
{
    if (!m_frames.isOpen()) {
        Q_EMIT sendData(preview::Stopped);
        return;
    }
    takeRecordHeads();
    while (true) {
        if (!linkUp()) {
            Q_EMIT sendData(preview::Stopped);
            return;
        }
        makeGapRequests();
        if (!pass())
            return;
    }
}

} // namespace tovrin::leveling
