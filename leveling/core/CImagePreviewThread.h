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

#include <QThread>

#include <atomic>

namespace tovrin::leveling {

class CImagePreviewThread : public QThread {
    Q_OBJECT
public:
    struct Options {
        bool extended = false;     // extended-frame device
        int lineNum = 9;           // frame line count (ChunkPlan.h frameLineCount)
        bool adjustDebug = false;  // image-debug panel on (extended devices only)
        bool testSensor = false;   // sensor test before the first pass
    };

    CImagePreviewThread(FrameBuffers& frames, const Options& options, QObject* parent = nullptr);
    ~CImagePreviewThread() override;

    // Clears the stop flag, sets g_PreviewRun and starts the passes.
    void startPreview();
    // The stop procedure: stop flag, g_PreviewRun := 0, g_PreviewSucFlag := 0,
    // g_OptimumLineFlag := 0, g_isDeviceCommunicate := 1; then waits for
    // the thread to end.
    void stopPreview();

    // How long the thread sleeps after reporting a debug request, and in
    // each step of its waits (ms); tests shorten them.
    static constexpr int kRequestSleepMs = 500;
    static constexpr int kSensorWaitStepMs = 100;

Q_SIGNALS:
    void sendData(int code);

protected:
    void run() override;

private:
    bool quickCheck();        // stop flag, preview run, device flags
    bool serviceRequests();   // the whole check before a device step
    void endWith(int code);   // the stop procedure, then the code
    void applyStopProcedure();
    bool levelingSteps();
    bool optimumLineStep();
    bool fetchFrame();

    FrameBuffers& m_frames;
    Options m_options;
    LineTransfer m_transfer{LineTransfer::Policy::Leveling};
    std::atomic<bool> m_stop{false};
    bool m_exposureAsked = false;
};

} // namespace tovrin::leveling
