#include "Clock.h"

#include <QThread>
#include <mutex>

namespace tovrin {
namespace {
std::mutex g_clockMutex;
std::function<void(int)> g_sleeper;
std::function<QDateTime()> g_now;
} // namespace

void sleepMs(int ms)
{
    std::function<void(int)> sleeper;
    {
        std::lock_guard lock(g_clockMutex);
        sleeper = g_sleeper;
    }
    if (sleeper) {
        sleeper(ms);
    } else if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

bool sleepMsUnless(int ms, const std::atomic<bool>* stop)
{
    constexpr int kSlice = 20;  // how late a stop request may be seen
    while (ms > 0) {
        if (stop && stop->load())
            return false;
        const int slice = ms < kSlice ? ms : kSlice;
        sleepMs(slice);
        ms -= slice;
    }
    return !(stop && stop->load());
}

void setSleeper(std::function<void(int)> sleeper)
{
    std::lock_guard lock(g_clockMutex);
    g_sleeper = std::move(sleeper);
}

QDateTime localNow()
{
    std::function<QDateTime()> source;
    {
        std::lock_guard lock(g_clockMutex);
        source = g_now;
    }
    return source ? source() : QDateTime::currentDateTime();
}

void setLocalNow(std::function<QDateTime()> source)
{
    std::lock_guard lock(g_clockMutex);
    g_now = std::move(source);
}

} // namespace tovrin
