#pragma once
// The Preview page's frames from the line-image worker: PreviewThread
// fetching into its own frame buffers, the page's frame-ready flag, and the
// optimum-line positions of both units (the zone table each pass reads) as
// the red markers.

#include "PreviewSource.h"

#include "leveling/core/FrameBuffers.h"
#include "leveling/core/PreviewThread.h"

#include <atomic>

namespace tovrin::windows {

class PreviewThreadSource : public PreviewSource {
    Q_OBJECT
public:
    explicit PreviewThreadSource(QObject* parent = nullptr);
    ~PreviewThreadSource() override;

    bool start() override;
    void stop() override;
    void stopThen(QObject* context, std::function<void()> whenEnded) override;
    bool isRunning() const override { return !m_thread.hasEnded(); }
    void setCompressed(bool compressed) override { m_thread.setCompression(compressed); }
    bool takeFrame(PreviewFrame& frame) override;
    bool betweenFrames(Request request) override;
    std::vector<Request> takeUnmade() override;

private:
    std::atomic<int> m_frameReady{0};  // the page's own flag, not the leveling window's
    leveling::FrameBuffers m_frames{m_frameReady};
    leveling::PreviewThread m_thread{m_frames};
    int m_lines = 9;
};

} // namespace tovrin::windows
