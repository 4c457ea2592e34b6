#include "Worker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>

#include <memory>
#include <utility>

namespace tovrin::jobs {

Worker::Worker(QObject* parent)
    : QThread(parent)
{
}

Worker::~Worker()
{
    // The derived worker has stopped its run already; this only covers a
    // worker whose run never started.
    m_stop.store(true);
    wait();
}

bool Worker::startWork()
{
    if (!m_ended.load(std::memory_order_acquire))
        return false;
    // The last run (if any) is over; only its thread's own exit may remain.
    wait();
    m_ended.store(false, std::memory_order_relaxed);
    m_stop.store(false);
    beforeRun();
    start();
    return true;
}

void Worker::requestStop()
{
    m_stop.store(true);
    stopping();
}

void Worker::stopAndWait()
{
    requestStop();
    wait();
    (void)hasEnded();
    // Once more now that the run is over: a request it had in flight may
    // have set the shared flags again.
    stopping();
}

bool Worker::waitEnded(int ms)
{
    if (hasEnded())
        return true;
    wait(QDeadlineTimer(ms));
    return hasEnded();
}

void Worker::stopThen(QObject* context, std::function<void()> then)
{
    requestStop();
    whenEnded(context, std::move(then));
}

void Worker::whenEnded(QObject* context, std::function<void()> then)
{
    auto fired = std::make_shared<bool>(false);
    auto call = [fired, then = std::move(then)] {
        if (*fired)
            return;
        *fired = true;
        then();
    };
    // Connected before the end is looked at: an end that comes in between
    // is heard either way, and only once.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &Worker::ended, context, [call, connection] {
        QObject::disconnect(*connection);
        call();
    });
    if (hasEnded()) {
        disconnect(*connection);
        call();
    }
}

void Worker::run()
{
    work();
    m_ended.store(true, std::memory_order_release);
    // ended() is said in this object's thread, after the end flag was read
    // there. A plain event carries the news, neither finished() (Qt looks
    // up this object's meta-object for a queued finished() after run() has
    // returned) nor a posted functor of ours: Qt hands both over behind its
    // own locks, which a race checker does not see.
    QCoreApplication::postEvent(this, new QEvent(runEndedEvent()));
}

bool Worker::event(QEvent* e)
{
    if (e->type() != runEndedEvent())
        return QThread::event(e);
    if (hasEnded())
        Q_EMIT ended();
    return true;
}

QEvent::Type Worker::runEndedEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace tovrin::jobs
