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
        // The thread ends by itself right after it asked for the exposure
        // step (code 10), before it sends anything else: a job that
        // exposes next knows where the frame's conversation stands.
        bool endAtExposureStep = false;
        // The thread ends by itself after this many complete frames (0: never).
        int frameLimit = 0;
    };

    CImagePreviewThread(FrameBuffers& frames, const Options& options, QObject* parent = nullptr);
    ~CImagePreviewThread() override;

    // Clears the stop flag, sets g_PreviewRun and starts the passes.
    void startPreview();
    // Asks the thread to stop and returns at once: stop flag,
    // g_PreviewRun := 0, g_PreviewSucFlag := 0, g_OptimumLineFlag := 0. The
    // thread ends after the transaction it is in (at most that
    // transaction's wait); a window goes on when it has ended (isRunning).
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    // requestStop, then waits for the thread to end (the command line and
    // tests; never the GUI thread while the frame may be silent).
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
    bool askExposure();  // code 10; false when the thread ends there
    void runPasses();

    FrameBuffers& m_frames;
    Options m_options;
    LineTransfer m_transfer{LineTransfer::Policy::Leveling};
    std::atomic<bool> m_stop{false};
    // Set as the last act of run(): a restart reads it before it touches the
    // thread's fields, so the old run's writes are ordered before the new ones
    // in a way a race checker sees (isRunning() goes through Qt's own lock).
    std::atomic<bool> m_ended{true};
    bool m_exposureAsked = false;
    int m_frameCount = 0;
};

} // namespace tovrin::leveling
