#pragma once
// Frame detection: each main window owns one detection thread that finds the
// frame, opens it, runs the status test, reports to the window, and then
// watches the open frame every 100 ms so that unplugging is noticed and a
// re-plugged frame is picked up again. During a firmware update the same
// thread waits for the frame to come back as its boot loader and then as its
// application.
//
// Report codes (sendShowData):
//   3  frame lost while a firmware update expected it (engineering thread only)
//   7  a frame appeared while polling
//   13 a frame with application firmware was opened and the status test ran
//   14 a frame in its boot loader was opened
//   15 no frame, or a device that is not the frame

#include "jobs/Worker.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace tovrin::device {

// Shared detection state. The window sets states 1, 3 and 4 whenever it
// needs to; the thread changes the state only by compare-and-exchange from
// the state its step started in, so the window's setting is never lost.
enum DetectionStateValue : uint8_t {
    kStateOpen = 1,
    kStateWatch = 2,
    kStateWaitBootLoader = 3,
    kStateWaitApplication = 4,
    kStatePoll = 5,
    kStateReport = 6,
    kStateDone = 7,
};
extern std::atomic<uint8_t> DeviceCheckState;
extern std::atomic<int> OpenResult;    // 0 no frame, 1 frame opened, 2 wrong collection
extern std::atomic<uint8_t> CheckCount;
extern std::atomic<int> UpdateExpected;

namespace detection {
constexpr int kLostDuringUpdate = 3;
constexpr int kAppeared = 7;
constexpr int kApplicationOpened = 13;
constexpr int kBootLoaderOpened = 14;
constexpr int kNoFrame = 15;
} // namespace detection

// The state machine shared by the three detection threads, one state's
// work per step(), so that it can also be driven step by step.
class DetectionMachine {
public:
    enum class Variant { Engineering, User, Test };

    DetectionMachine(Variant variant, std::function<void(int)> report, const std::atomic<bool>* stop);

    void step();
    uint16_t productId() const { return m_productId; }
    bool reported() const { return m_reported; }

private:
    void pause(int ms);
    void emitCode(int code);
    void retestHungFrame();

    Variant m_variant;
    std::function<void(int)> m_report;
    const std::atomic<bool>* m_stop;
    bool m_reported = false;
    uint16_t m_productId = 255;
    int m_bootLoaderSightings = 0;  // state 4: tries in a row that found the boot loader
};

// The thread around the machine (jobs/Worker.h: startWork, requestStop).
class DetectionThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit DetectionThread(DetectionMachine::Variant variant, QObject* parent = nullptr);
    ~DetectionThread() override;

Q_SIGNALS:
    void sendShowData(int code);

protected:
    void work() override;

private:
    DetectionMachine::Variant m_variant;
};

// Hands a detection thread's codes to the thread this object lives in, each
// tagged with the run of the detection that sent it: a code still queued from
// a run that nextRun() ended is dropped, never taken as news about the frame
// the new run looks for. The code and its run cross threads as the arguments
// of a queued signal (copied by Qt), so nothing the detection thread builds
// is read on the other side.
class DetectionRelay : public QObject {
    Q_OBJECT
public:
    explicit DetectionRelay(DetectionThread* thread, QObject* parent = nullptr);

    // Call before the thread starts a new run (with the thread stopped).
    void nextRun() { ++m_run; }

Q_SIGNALS:
    // In this object's thread, for codes of the current run only.
    void code(int code);
    // The hop between the threads; listen to code() instead.
    void codeOfRun(int code, unsigned run);

private:
    std::atomic<unsigned> m_run{0};
};

class GetDeviceConfigThread : public DetectionThread {
    Q_OBJECT
public:
    explicit GetDeviceConfigThread(QObject* parent = nullptr)
        : DetectionThread(DetectionMachine::Variant::Engineering, parent)
    {
    }
};

class GetDeviceConfigThreadUser : public DetectionThread {
    Q_OBJECT
public:
    explicit GetDeviceConfigThreadUser(QObject* parent = nullptr)
        : DetectionThread(DetectionMachine::Variant::User, parent)
    {
    }
};

class GetDeviceConfigThreadTest : public DetectionThread {
    Q_OBJECT
public:
    explicit GetDeviceConfigThreadTest(QObject* parent = nullptr)
        : DetectionThread(DetectionMachine::Variant::Test, parent)
    {
    }
};

} // namespace tovrin::device
