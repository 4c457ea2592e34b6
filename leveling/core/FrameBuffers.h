#pragma once
// The host's frame buffers of both units and how a frame passes from the
// worker that fetches it to the window that paints it.
//
// Each unit has a 7040-byte frame (up to 11 lines of 640 pixels, line i at
// i * 640). The worker fills its own working copy (`pFrameYA` for the
// Master, `pFrameYB` for the Slave) chunk by chunk; when a frame is complete
// it publishes it: the working copies are copied, under the lock, into the
// frame the window may take, and the ready flag (`g_FrameReady` for the
// leveling window, the Preview page's own flag otherwise) is set. The window
// takes the published frame under the same lock, so it never sees a frame
// the worker is still writing.
//
// The buffers exist from open() to close(), which the window that shows
// images calls when it opens and after it has stopped its worker.

#include "ChunkPlan.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace tovrin::leveling {

using FrameBytes = std::array<uint8_t, kFrameBytes>;

class FrameBuffers {
public:
    // readyFlag: the flag set on publish and cleared on take.
    explicit FrameBuffers(std::atomic<int>& readyFlag);
    ~FrameBuffers();
    FrameBuffers(const FrameBuffers&) = delete;
    FrameBuffers& operator=(const FrameBuffers&) = delete;

    // Allocates both units' buffers, zero-filled. When memory cannot be had
    // it logs "PreviewInit: pFrameYA malloc failed!" (or pFrameYB) on the
    // debug channel, keeps nothing, and returns false: no frame may then be
    // fetched or drawn.
    bool open();
    void close();
    bool isOpen() const { return m_open.load(); }

    // Worker side: the working copy of a unit's frame (empty when closed).
    std::span<uint8_t> working(int unit);
    // Worker side: the working frames are complete. Returns true when the
    // ready flag was clear (the window had taken the previous frame), so the
    // worker tells the window once per frame it has not seen yet.
    bool publish();

    // Window side: the last published frame when one is ready; clears the
    // ready flag. False (nothing copied) when no new frame is ready.
    bool take(FrameBytes& master, FrameBytes& slave);
    // Window side: the last published frame, ready or not.
    void copyPublished(FrameBytes& master, FrameBytes& slave) const;

    // Tests: the next open() finds no memory.
    static void failNextOpen();

private:
    std::atomic<int>& m_ready;
    std::atomic<bool> m_open{false};
    mutable std::mutex m_mutex;
    std::array<std::unique_ptr<FrameBytes>, 2> m_working;
    std::array<std::unique_ptr<FrameBytes>, 2> m_published;
};

// The last frames a window painted or Save&Exit kept (7040 bytes per
// unit), process-wide: the device-information export puts them in its
// spreadsheet row.
void storeLastFrames(const FrameBytes& master, const FrameBytes& slave);
void clearLastFrames();
void lastFrames(FrameBytes& master, FrameBytes& slave);

} // namespace tovrin::leveling
