#pragma once
// PreviewThread: the worker of the engineering window's Preview page. It
// shows the live line images of both units as the frame sees them, without
// leveling: each pass latches a frame in both units (register 0x30
// handshake), reads their zone registers into the optimum-line tables
// (unitLeveling(unit).zones, the page's red markers), and fetches one frame,
// packed or plain as the page's compression switch says.
//
// Use from the Preview page (GUI thread):
//
//   FrameBuffers frames(previewFrameReady);      // the page's own ready flag
//   if (!frames.open()) { ...say so, no preview... }
//   PreviewThread thread(frames);
//   thread.setFrameLayout(frameLineCount(extended, iniLineNum, false), extended);
//   thread.setCompression(compressBox->isChecked());   // any time
//   connect(&thread, &PreviewThread::sendData, page, &Page::recvData, Qt::QueuedConnection);
//   thread.startWork();
//   ...on code 10: FrameBytes a, b; if (frames.take(a, b)) paint them ...
//   thread.stopAndWait();   // before frames.close()
//
// Codes (LevelingCodes.h, namespace preview): 10 frame ready, 11 stopped
// (link lost, preview off, poll limit or frame failure), 13 register read
// done, 14 register read failed (stops), 15 register write done, 16
// register write failed (stops).
//
// Frame layout: an ordinary unit's 9-line frame is split as the frame keeps
// it (8 lines of region A, the last line from region B); an extended-frame
// unit's frame is read exactly as the leveling thread reads it, so that line
// i is always at i * 640 whatever the line count.

#include "FrameBuffers.h"
#include "LineTransfer.h"

#include "jobs/Worker.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace tovrin::leveling {

class PreviewThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit PreviewThread(FrameBuffers& frames, QObject* parent = nullptr);
    ~PreviewThread() override;

    void setFrameLayout(int lineNum, bool extended);
    // The page's compression switch, taken at each frame.
    void setCompression(bool on) { m_compress = on; }

    // A request for the gap between two passes (a register request of the
    // debug page): job runs in the worker's thread before the next pass
    // starts, the frame settles kSettleAfterRequestsMs after it, and then
    // runs in this object's thread (the window's). False when no run is
    // under way: the caller makes it itself. A run that ends first leaves
    // it to takeUnmade().
    struct GapRequest {
        std::function<void()> job;
        std::function<void()> then;
    };
    bool betweenPasses(GapRequest request);
    // The requests the last run ended before it made, oldest first (read
    // once the run has ended).
    std::vector<GapRequest> takeUnmade();

    // Sleeps of a pass (ms).
    static constexpr int kPollSleepMs = 10;
    static constexpr int kMaxPolls = 1000;
    static constexpr int kAfterZonesSleepMs = 100;
    static constexpr int kSettleAfterRequestsMs = 100;

protected:
    void work() override;
    // A run sets g_PreviewRun, a stop request clears it.
    void beforeRun() override;
    void stopping() override;

private:
    bool linkUp() const;
    bool pass();
    // The requests waiting for the gap, made now.
    void makeGapRequests();
    // In this object's thread: the thens of the requests made.
    void reportMade();

    FrameBuffers& m_frames;
    LineTransfer m_transfer{LineTransfer::Policy::Preview};
    std::atomic<int> m_lineNum{9};
    std::atomic<bool> m_extended{false};
    std::atomic<bool> m_compress{false};
    std::mutex m_gapMutex;
    std::vector<GapRequest> m_gapRequests;        // guarded by m_gapMutex
    std::vector<std::function<void()>> m_made;  // guarded by m_gapMutex
};

} // namespace tovrin::leveling
