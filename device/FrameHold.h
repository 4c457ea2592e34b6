#pragma once
// Who is talking to the frame. A job that sends more than one request
// (the device test, a job between its mode switches) holds the frame while
// it runs. One of its requests may go unanswered and mark the frame gone;
// the detection then leaves the frame alone until the job lets go, instead
// of running its status test between the job's requests, and only after
// that asks whether the frame answers again.

#include <atomic>

namespace tovrin::device {

class FrameHold {
public:
    FrameHold();
    ~FrameHold();
    FrameHold(const FrameHold&) = delete;
    FrameHold& operator=(const FrameHold&) = delete;
};

// Some job holds the frame now.
bool frameHeld();

} // namespace tovrin::device
