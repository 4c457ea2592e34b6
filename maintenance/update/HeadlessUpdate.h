#pragma once
// A whole firmware update without windows (tovrin-cli update, the benchmark,
// the tests): the same FirmwareUpdateFlow as the engineering window, with a
// DetectionWait standing in for the window's detection thread during the
// two restarts of the frame, run in a local event loop until the flow ends.

#include "DetectionWait.h"
#include "FirmwareUpdateFlow.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tovrin::update {

struct HeadlessOutcome {
    FirmwareUpdateFlow::Outcome outcome = FirmwareUpdateFlow::Outcome::Failed;
    int messageId = -1;       // the message the flow ended with (-1 none)
    int detectionCode = 0;    // the last detection code the flow left to its owner
    bool timedOut = false;    // the loop gave up (a limit for tests only)
};

class HeadlessUpdate : public QObject {
    Q_OBJECT
public:
    explicit HeadlessUpdate(QObject* parent = nullptr);

    FirmwareUpdateFlow& flow() { return m_flow; }

    // Status messages and progress as the window would show them.
    std::function<void(int messageId)> onStatus;
    std::function<void(int percent)> onProgress;
    // A detection wait begins (state 3 or 4) and a detection code arrives.
    std::function<void(uint8_t state)> onWaitForFrame;
    std::function<void(int code)> onDetection;

    // Runs the update of a package; prepared tells that the frame already
    // runs its boot loader. timeoutMs 0: no limit.
    HeadlessOutcome run(const QString& path, bool prepared, int timeoutMs = 0);

private:
    FirmwareUpdateFlow m_flow;
    DetectionWait m_wait;
};

} // namespace tovrin::update
