#pragma once
// What the Preview page of the debug page needs of the line-image worker
// (PreviewThread): start and stop it, tell it whether to fetch compressed
// frames, and take the last complete frame of both units. The worker's
// codes come out of sendData() and go to the window's recvData():
//
//   10 a frame is ready (the page waits 100 ms and draws it)
//   11 the worker stopped (link lost, preview off, poll limit, frame failure)
//   13/14 register read done/failed, 15/16 register write done/failed
//
// PreviewThreadSource is the real one; the tests put stand-ins in its place.

#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

namespace tovrin::windows {

struct PreviewFrame {
    int lines = 0;                      // lines per unit, 640 pixels each
    std::vector<uint8_t> master;        // lines x 640
    std::vector<uint8_t> slave;
    std::vector<int> masterMarkers;     // sensor columns drawn in red
    std::vector<int> slaveMarkers;
};

class PreviewSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PreviewSource() override = default;

    // Allocates the frame buffers and starts the worker; false when it could not.
    virtual bool start() = 0;
    // Stops the worker, waits for it and frees the frame buffers (the
    // page's destructor only).
    virtual void stop() = 0;
    // Asks the worker to stop and returns at once; once it has ended the
    // frame buffers are freed and whenEnded runs in context's thread (at
    // once when no run is under way; never once context is gone).
    virtual void stopThen(QObject* context, std::function<void()> whenEnded) = 0;
    virtual bool isRunning() const = 0;
    // The page's compression switch, read by the worker at each frame.
    virtual void setCompressed(bool compressed) = 0;
    // The last complete frame; false when none is there.
    virtual bool takeFrame(PreviewFrame& frame) = 0;

    // A register request for the gap between two frames: job in the
    // worker's thread before it fetches the next frame, then in the page's
    // thread afterwards. False when no run is under way (the page makes it
    // itself); a run that ends first leaves it to takeUnmade().
    struct Request {
        std::function<void()> job;
        std::function<void()> then;
    };
    virtual bool betweenFrames(Request) { return false; }
    // The requests the last run ended before it made, oldest first.
    virtual std::vector<Request> takeUnmade() { return {}; }

Q_SIGNALS:
    void sendData(int code);
};

} // namespace tovrin::windows
