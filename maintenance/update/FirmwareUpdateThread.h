#pragma once
// CFirmwareUpdateThread: sends a checked package to the frame's boot loader,
// job by job, and reports with small codes (sendData):
//
//   0  progress changed (read progress())
//   3  a device request failed, or the package file vanished, shrank or changed
//   4  all jobs done
//   5  the package file is there but cannot be opened
//   8  the frame is no longer connected
//   9  the first packet of an image is about to be sent
//
// Before each job and after it the thread checks its stop flag (ends at
// once) and the connection (code 8). The firmware jobs A1/A2 are preceded by
// progress 8 and a pause of 2000 ms; after each job the progress of the job
// table is shown, at the end 99.
//
// What lets the boot loader start the new application goes out last: a
// firmware job leaves its unit's HInfo without the magic, and the magic of
// Master, then Slave, is written only after every other job (second images,
// image information, flash data) is in flash. A frame cut off anywhere
// before stays in its boot loader, and the next update starts from there;
// it never starts an application with half-written data behind it.

#include "UpdatePackage.h"

#include "jobs/Worker.h"

#include <atomic>
#include <memory>

namespace tovrin::update {

namespace code {
constexpr int Progress = 0;
constexpr int RequestFailed = 3;
constexpr int Done = 4;
constexpr int CannotOpen = 5;
constexpr int FrameLost = 8;
constexpr int FirstPacket = 9;
} // namespace code

class CFirmwareUpdateThread : public jobs::Worker {
    Q_OBJECT
public:
    explicit CFirmwareUpdateThread(QObject* parent = nullptr);
    ~CFirmwareUpdateThread() override;

    // The package to send; set before startWork().
    void setPackage(std::shared_ptr<const UpdatePackage> package) { m_package = std::move(package); }
    int progress() const { return m_progress.load(); }

Q_SIGNALS:
    // The progress with each code 0, in order: a reader that is behind
    // still sees every step.
    void sendProgress(int percent);

protected:
    void work() override;

private:
    int runJob(const UpdateJob& job);
    int sendImageJob(const UpdateJob& job, const std::vector<uint8_t>& data);
    int sendFlashDataJob(const UpdateJob& job, const std::vector<uint8_t>& data);
    void setProgress(int percent);

    std::shared_ptr<const UpdatePackage> m_package;
    std::atomic<int> m_progress{0};
};

} // namespace tovrin::update
