#pragma once
// The frame detection a main window owns: its detection thread and, where
// the window wants it, the udev watch that starts the thread again when a
// HID node appears. close() stops the thread for good and waits for it, so
// that it never opens the frame again behind the closed link (closeThen()
// goes on when it has ended, for a window that must not wait); destruction
// does the same, so that it never reports into a half-destroyed window.

#include "device/Detection.h"

#include <QObject>

#include <cstdint>
#include <functional>

namespace tovrin::device {

class FrameDetection {
public:
    FrameDetection() = default;
    ~FrameDetection() { stop(); }
    FrameDetection(const FrameDetection&) = delete;
    FrameDetection& operator=(const FrameDetection&) = delete;

    // Takes the window's thread (a child of the window), delivers its codes
    // queued to the window's slot and starts looking for the frame. A code
    // is tagged with the run of the thread that sent it: one still queued
    // from a run that restartIn() ended is dropped, never taken as news
    // about the frame the new run waits for.
    template <class Window>
    void start(DetectionThread* thread, Window* window, void (Window::*slot)(int))
    {
        m_thread = thread;
        m_relay = new DetectionRelay(thread, window);
        QObject::connect(m_relay, &DetectionRelay::code, window, slot);
        restart();
    }

    // Starts the detection again when a HID node appears (udev), unless it
    // runs or was closed. The watch is a child of the window.
    void watchArrivals(QObject* window);

    // Looks for the frame from the start: a running thread takes the state
    // up itself, an idle one is started (but never again once closed).
    void restart();

    // Runs the detection from another state (3: wait for the boot loader,
    // 4: wait for the application, during a firmware update). The thread is
    // stopped first, so that none of its steps can overwrite the new state.
    void restartIn(uint8_t state);

    bool isRunning() const { return m_thread->isRunning(); }
    bool isClosed() const { return m_closed; }

    void close();
    // The same without waiting: `then` runs in context's thread once the
    // thread has ended (at once when none runs).
    void closeThen(QObject* context, std::function<void()> then);

private:
    void stop();

    DetectionThread* m_thread = nullptr;
    DetectionRelay* m_relay = nullptr;  // a child of the window
    bool m_closed = false;
};

} // namespace tovrin::device
