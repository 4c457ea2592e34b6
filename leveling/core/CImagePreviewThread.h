#pragma once
// CImagePreviewThread: the worker of the leveling window. It fetches the
// line images of both units frame after frame and, between frames, runs the
// leveling steps: the start-line search, SetLine, the column search, the
// optimum-line step, the start-line changes the window asks for, and the
// requests of the image-debug panel. It reports with sendData(int) (codes in
// LevelingCodes.h, namespace image, and 19..25 for the debug requests).
//
// Before every device step it checks, in this order: its stop flag (ends
// silently), g_PreviewRun (code 18), the device flags (code 6), a pending
// start-line change (runs it), pending debug requests (reports each and
// waits until the window has served it). A step that fails ends the thread
// after its code; the thread then has run its own stop procedure, so the
// window may take the shared flags as they are when the code arrives.

#include "FrameBuffers.h"
#include "LineTransfer.h"

#include "jobs/Worker.h"

namespace tovrin::leveling {

class CImagePreviewThread : public jobs::Worker {
    Q_OBJECT
public:
    struct Options {
        bool extended = false;     // extended-frame device
        int lineNum = 9;           // frame line count (ChunkPlan.h frameLineCount)
        bool adjustDebug = false;  // image-debug panel on (extended devices only)
        bool testSensor = false;   // sensor test before the first pass
        // The thread ends by itself right after it asked for the exposure
        // step (code 10), before it sends anything else: a job that
        // exposes next knows where the frame's conversation stands.
        bool endAtExposureStep = false;
        // The thread ends by itself after this many complete frames (0: never).
        int frameLimit = 0;
    };

    CImagePreviewThread(FrameBuffers& frames, const Options& options, QObject* parent = nullptr);
    ~CImagePreviewThread() override;

    // startWork() sets g_PreviewRun and starts the passes. A stop request
    // also clears g_PreviewRun, g_PreviewSucFlag and g_OptimumLineFlag; the
    // thread ends after the transaction it is in (at most that
    // transaction's wait). stopAndWait() is for the command line and tests,
    // never the GUI thread while the frame may be silent.

    // How long the thread sleeps after reporting a debug request, and in
    // each step of its waits (ms); tests shorten them.
    static constexpr int kRequestSleepMs = 500;
    static constexpr int kSensorWaitStepMs = 100;

protected:
    void work() override;
    void beforeRun() override;
    void stopping() override;

private:
    bool quickCheck();        // stop flag, preview run, device flags
    bool serviceRequests();   // the whole check before a device step
    void endWith(int code);   // the stop procedure, then the code
    void applyStopProcedure();
    bool levelingSteps();
    bool optimumLineStep();
    bool fetchFrame();
    bool askExposure();  // code 10; false when the thread ends there
    void runPasses();

    FrameBuffers& m_frames;
    Options m_options;
    LineTransfer m_transfer{LineTransfer::Policy::Leveling};
    bool m_exposureAsked = false;
    int m_frameCount = 0;
};

} // namespace tovrin::leveling
