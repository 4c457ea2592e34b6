#include "HeadlessUpdate.h"

#include <QEventLoop>
#include <QTimer>

namespace tovrin::update {

HeadlessUpdate::HeadlessUpdate(QObject* parent)
    : QObject(parent)
{
    connect(&m_flow, &FirmwareUpdateFlow::statusChanged, this, [this](int id) {
        if (onStatus)
            onStatus(id);
    });
    connect(&m_flow, &FirmwareUpdateFlow::progressChanged, this, [this](int percent) {
        if (onProgress)
            onProgress(percent);
    });
    connect(&m_flow, &FirmwareUpdateFlow::waitForFrame, this, [this](uint8_t state) {
        if (onWaitForFrame)
            onWaitForFrame(state);
        m_wait.start(state);
    });
}

HeadlessOutcome HeadlessUpdate::run(const QString& path, bool prepared, int timeoutMs)
{
    HeadlessOutcome result;
    QEventLoop loop;
    bool ended = false;
    const auto endConnection = connect(&m_flow, &FirmwareUpdateFlow::ended, &loop,
                                       [&](FirmwareUpdateFlow::Outcome outcome, int messageId) {
                                           result.outcome = outcome;
                                           result.messageId = messageId;
                                           ended = true;
                                           loop.quit();
                                       });
    const auto detectionConnection = connect(&m_wait, &DetectionWait::reported, &loop, [&](int code) {
        if (onDetection)
            onDetection(code);
        if (!m_flow.onDetection(code))
            result.detectionCode = code;
    });
    QTimer limit;
    if (timeoutMs > 0) {
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, [&] {
            result.timedOut = true;
            loop.quit();
        });
        limit.start(timeoutMs);
    }
    m_flow.setPrepared(prepared);
    m_flow.start(path);
    if (!ended)
        loop.exec();
    disconnect(endConnection);
    disconnect(detectionConnection);
    m_wait.stop();
    if (result.timedOut)
        m_flow.abort();
    return result;
}

} // namespace tovrin::update
