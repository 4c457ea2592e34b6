#pragma once
// The Preview page of the debug page (tool flavour 2): the live line images
// of both units, each drawn as a 640 x 72 picture scaled to its panel, with
// the marker columns in red. It owns the frame source (PreviewThread behind
// PreviewSource.h), starts and stops it around calibration and work mode,
// and hands it the register requests made while it runs.

#include "PreviewImage.h"
#include "PreviewSource.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace tovrin::windows {

class JobLauncher;

class PreviewPage : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPage(QWidget* parent = nullptr);
    ~PreviewPage() override;

    // The worker behind the page; none until the line-image worker is wired.
    void setSource(std::unique_ptr<PreviewSource> source);
    PreviewSource* source() const { return m_source.get(); }
    bool available() const { return m_source != nullptr; }

    // The preview-running mark.
    bool isRunning() const { return m_running; }
    // Stopped, but its worker has not ended yet.
    bool isStopping() const { return m_stopping; }

    // Starts the preview: the mark, calibration mode (a failure only
    // logged), the buffers and the worker. Nothing while it is stopping.
    void start(JobLauncher& jobs);
    // Stops it without waiting: the mark cleared and the worker asked to
    // stop. Once the worker has ended: the buffers freed, the requests still
    // waiting for a frame made, back to work mode unless the caller
    // switches itself, then whenEnded (at once when nothing runs; after the
    // stop under way when it is stopping already).
    void stop(JobLauncher& jobs, bool backToWork = true, std::function<void()> whenEnded = {});

    void setCompressed(bool compressed);

    // A register request (Step Debug): while the preview runs or stops,
    // its worker makes it in the gap between two frames, or it goes out once
    // the worker has ended, before the frame returns to work mode; otherwise
    // in the window's task. then runs in the page's thread after it (also
    // when another job has taken the task meanwhile), never once the page
    // is gone.
    void betweenFrames(JobLauncher& jobs, std::function<void()> job, std::function<void()> then);

    // Code 10 of the worker: the new frame is drawn 100 ms later.
    void frameReady();

    // The pictures last drawn.
    const QImage& masterImage() const { return m_master; }
    const QImage& slaveImage() const { return m_slave; }

Q_SIGNALS:
    void runningChanged(bool running);
    // The new frame has been drawn.
    void frameShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void takeFrame();
    void workerEnded(JobLauncher& jobs, bool backToWork);

    std::unique_ptr<PreviewSource> m_source;
    std::vector<std::function<void()>> m_whenStopped;
    bool m_running = false;
    bool m_stopping = false;
    bool m_frameReady = false;
    QImage m_master;
    QImage m_slave;
};

} // namespace tovrin::windows
